// Plots of curve data: reads a solver curve file or the merged CSV, and
// draws one panel per result variable, one line per curve, with gnuplot.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "formats/energy.hpp"
#include "formats/results.hpp"

namespace plot {

namespace fs = std::filesystem;

struct PlotTable {
    std::string title;                      // title record of a curve file, empty for a CSV
    std::vector<std::string> names;         // column names; names[0] is the time
    std::vector<std::vector<double>> rows;  // one row per record, NaN where no value
    std::vector<std::string> warnings;      // records left out: a file cut off at its end
    // Per column (as `names`): the body its node or element lies in
    // ("material set 2"), empty where it is not known. Filled from the decks
    // beside the file (through the partition map when there is one).
    std::vector<std::string> bodies;
};

// Reads a curve file ("TITLE = ..." first), the energy balance energy.dat
// ("#" first) or a CSV with a header row. A curve file with an energy.dat
// beside it is plotted with the balance's energies in place of its own
// (which are those of one process).
PlotTable read_plot_table(const fs::path& file);

// Fills `table.bodies` from the process decks in `dir`: a column named by
// the deck's numbers ("dz@node841", "seqv@elem7") through the map hexdyn.map
// (or the deck of process 0 when there is no map), one of a process's own
// numbers ("p1:dz@n3") through that process's deck. A node shared by
// elements of several sets is in all of them. Without readable decks the
// bodies stay empty.
void name_bodies(PlotTable& table, const fs::path& dir, const std::string& lone_deck);

// Replaces the engk, engs and ener columns of `table` by the columns of the
// balance, record by record (NaN where the balance has no record of that time).
void use_energy_balance(PlotTable& table, const formats::EnergyTable& energy);

// Result variable of a column name: "p1:seqv@5" -> "seqv", "engk_total" ->
// "engk", "seqv@elem37#2" -> "seqv"; other names are their own variable.
std::string variable_of(const std::string& column);

struct PlotOptions {
    std::string title;
    fs::path data;    // whitespace-separated data file the script reads
    fs::path output;  // PNG the script writes
};

// gnuplot single-quoted string: no escapes, a quote is doubled, a line end
// becomes a blank.
std::string gnuplot_quote(const std::string& s);

// Path of gnuplot on PATH, empty when there is none.
std::string find_gnuplot();

// Runs gnuplot on `script`; throws formats::Error with gnuplot's messages when it fails.
void run_gnuplot(const std::string& gnuplot, const fs::path& script, const fs::path& log);

}  // namespace plot
