// hexdyn-plot: draws the curves of a curve file or of the CSV merged by
// hexdyn-export into a PNG, one panel per result variable, with gnuplot.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "formats/cli.hpp"
#include "material/catalog.hpp"
#include "model/curvevariables.hpp"
#include "plot/figure.hpp"
#include "plot/plot.hpp"

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: hexdyn-plot CURVEFILE|CSV|energy.dat|forces.dat [-o out.png] [--title T]\n"
    "                   [--per-process]\n"
    "\n"
    "Plots a solver curve file (<deck>result_curv.dat), the CSV written by\n"
    "hexdyn-export or the energy balance energy.dat into a PNG through gnuplot\n"
    "(Debian package gnuplot-nox, which must be on PATH): one panel per quantity,\n"
    "one line per curve, time on the x axis.\n"
    "\n"
    "What the panels show:\n"
    "  - Axes in SI units with a prefix that keeps the ticks between 1 and 999\n"
    "    (time in us or ms, displacement in mm, force in kN, stress in MPa).\n"
    "  - A quantity that changes by less than 1 % of its size is drawn as its\n"
    "    change from its first value, which the axis label names\n"
    "    (\"total energy - 539.354 J [mJ]\").\n"
    "  - Curves are named by the deck's node or element number (\"node 841\"):\n"
    "    a CSV names them so when it was exported with the partition map, and a\n"
    "    curve file is read with the map hexdyn.map beside it. Without a map the\n"
    "    process's own number is shown with the process (\"node 3 of process 1\").\n"
    "    With the process decks beside the file, the material set the point lies\n"
    "    in follows (\"node 841 (material set 1)\").\n"
    "  - The contact forces of the processes (cnor, cfri; p0:cnor, p1:cnor, ...)\n"
    "    are summed into the force on the whole model.\n"
    "  - With the energy balance (energy.dat, deck keyword ebal, read from the\n"
    "    CSV or from beside the curve file) one panel stacks kinetic, internal,\n"
    "    hourglass, contact and eroded energy and the energy the constraints took,\n"
    "    with the energy that went in (initial kinetic + work of the loads) as a\n"
    "    dashed line: where the top of the stack meets it the balance holds. The\n"
    "    energy error has its own panel in per cent, as scripts/energy_summary.sh\n"
    "    prints it. A curve file's own engk, engs and ener (one process's share)\n"
    "    give way to the balance.\n"
    "  - Columns that are zero throughout (external_work without loads, say) or\n"
    "    have no value are not drawn; the picture's title and a note on stderr\n"
    "    name them.\n"
    "The constraint forces forces.dat of a run with \"reac\" records plot as they are.\n"
    "A curve file cut inside its last record (a run killed while writing) plots\n"
    "the records before the cut, with a warning.\n"
    "\n"
    "  -o, --output FILE  PNG to write (default: the input with the extension .png)\n"
    "  --title T          title of the plot (default: the curve file's title, or\n"
    "                     the CSV's file name)\n"
    "  --per-process      draw each process's contact force (and its energies)\n"
    "                     beside the model's total\n"
    "  -h, --help         show this help\n";
// The help text closed by the paragraphs of the material words and of the
// curve variables.
const std::string kUsageText = std::string(kUsage) + catalog::rateshelp() + curvevariables::help();

int usage_error(const std::string& what) { return formats::usage_error("hexdyn-plot", what); }

// Private scratch directory, removed with everything in it.
class Scratch {
  public:
    Scratch() {
        std::string templ = (fs::temp_directory_path() / "hexdyn-plot-XXXXXX").string();
        if (!::mkdtemp(templ.data())) throw formats::Error("cannot create a temporary directory");
        path_ = templ;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

int run(int argc, char** argv) {
    std::string input, output, title;
    bool has_title = false;
    plot::FigureOptions fo;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (formats::asks_help(a, kUsageText.c_str())) return 0;
        formats::Arg arg = formats::split_arg(a);
        if (arg.key == "-o" || arg.key == "--output" || arg.key == "--title") {
            if (!formats::take_value(arg, i, argc, argv))
                return usage_error("option " + arg.key + " needs a value");
            if (arg.key == "--title") {
                title = arg.value;
                has_title = true;
            } else {
                if (arg.value.empty())
                    return usage_error("option " + arg.key + " needs a non-empty value");
                output = arg.value;
            }
        } else if (a == "--per-process") {
            fo.per_process = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else if (input.empty()) {
            input = a;
        } else {
            return usage_error("more than one input file (" + input + ", " + a + ")");
        }
    }
    if (input.empty()) return usage_error("no input file given");

    const plot::PlotTable table = plot::read_plot_table(input);
    fs::path out = output.empty() ? fs::path(input).replace_extension(".png") : fs::path(output);
    {
        std::error_code ec;
        if (fs::equivalent(out, input, ec))
            throw formats::Error("the output " + out.string() + " is the input");
        const fs::path parent = out.parent_path();
        if (!parent.empty() && !fs::is_directory(parent, ec))
            throw formats::Error("output directory " + parent.string() + " does not exist");
    }
    const std::string gnuplot = plot::find_gnuplot();
    if (gnuplot.empty())
        throw formats::Error("gnuplot not found on PATH; install it (Debian package gnuplot-nox)");

    Scratch scratch;
    plot::PlotOptions po;
    po.title = has_title
                   ? title
                   : (table.title.empty() ? fs::path(input).filename().string() : table.title);
    po.data = scratch.path() / "curves.dat";
    po.output = scratch.path() / "plot.png";
    const plot::Figure figure = plot::make_figure(table, fo);
    const std::string script = plot::figure_script(figure, po);
    for (const std::string& n : figure.notes)
        std::fprintf(stderr, "hexdyn-plot: note: %s\n", n.c_str());
    for (const std::string& w : table.warnings)
        std::fprintf(stderr, "hexdyn-plot: warning: %s\n", w.c_str());
    plot::write_figure_data(figure, po.data);
    const fs::path script_file = scratch.path() / "plot.gp";
    {
        std::FILE* f = std::fopen(script_file.c_str(), "wb");
        if (!f || std::fwrite(script.data(), 1, script.size(), f) != script.size() ||
            std::fclose(f) != 0)
            throw formats::Error("cannot write " + script_file.string());
    }
    plot::run_gnuplot(gnuplot, script_file, scratch.path() / "gnuplot.log");
    std::error_code ec;
    if (!fs::is_regular_file(po.output, ec) || fs::file_size(po.output, ec) == 0)
        throw formats::Error("gnuplot wrote no image");
    fs::copy_file(po.output, out, fs::copy_options::overwrite_existing, ec);
    if (ec) throw formats::Error("cannot write " + out.string() + ": " + ec.message());
    size_t curves = 0;
    for (const plot::Panel& p : figure.panels) curves += p.curves.size();
    std::printf("wrote %s (%zu curves in %zu panels, %zu records)\n", out.string().c_str(), curves,
                figure.panels.size(), table.rows.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return formats::guarded_main("hexdyn-plot", run, argc, argv, "error: ");
}
