// What a plot shows, worked out from the table before any gnuplot text is
// written: the panels, their axis labels with units, and every curve's
// values as drawn (scaled to the unit of the axis, offset from a base for a
// nearly constant quantity, summed over the processes, stacked for the
// energy balance). The gnuplot script only draws these numbers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plot/plot.hpp"

namespace plot {

// A result variable: what its axis is called and its SI unit (empty for a
// pure number).
struct Quantity {
    std::string_view word;  // curve-variable word or energy column: "seqv", "hourglass"
    std::string_view name;  // "von Mises stress"
    std::string_view unit;  // "Pa"
};

// The quantity of a variable (as variable_of gives it); nullptr for a column
// the plot does not know (a CSV of the user's own).
const Quantity* quantity_of(std::string_view variable);

// The unit an axis is drawn in: values are multiplied by `factor`, so that
// the ticks read 1 to 999 where the unit allows a prefix ("mm", "kN", "µs").
struct AxisScale {
    double factor = 1.0;
    std::string unit;
};
AxisScale axis_scale(std::string_view unit, double largest_magnitude);

enum class CurveStyle {
    line,       // a plain line
    band,       // filled between `lower` and `y` (one layer of the stacked energies)
    total,      // the top of the stacked energies, a solid black line
    reference,  // the energy that went in, a dashed red line
};

struct Curve {
    std::string title;
    CurveStyle style = CurveStyle::line;
    std::vector<double> y;      // one value per record, as drawn; NaN where none
    std::vector<double> lower;  // band only: the layer's lower edge
};

struct Panel {
    std::string ylabel;
    std::vector<Curve> curves;
};

struct Figure {
    std::string xlabel;
    std::vector<double> x;  // the time of every record, as drawn
    std::vector<Panel> panels;
    std::vector<std::string> notes;     // for the user: what was combined or left out, and why
    std::vector<std::string> left_out;  // columns zero throughout (named in the picture too)
};

struct FigureOptions {
    // Draw each process's contact force (and energies of one process) beside
    // the model's total rather than the total alone.
    bool per_process = false;
};

// Throws formats::Error when no column has a value that is not zero.
Figure make_figure(const PlotTable& table, const FigureOptions& options);

// The data file of the figure: the time, then every curve's columns (a
// band's lower edge before its upper one) in panel order; "?" where no value.
void write_figure_data(const Figure& figure, const fs::path& file);

// gnuplot script drawing `figure` from the data file `options.data` into
// the PNG `options.output`.
std::string figure_script(const Figure& figure, const PlotOptions& options);

}  // namespace plot
