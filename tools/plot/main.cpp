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
#include "plot/plot.hpp"

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: hexdyn-plot CURVEFILE|CSV|energy.dat|forces.dat [-o out.png] [--title T]\n"
    "\n"
    "Plots a solver curve file (<deck>result_curv.dat) or the CSV written by\n"
    "hexdyn-export: one panel per result variable (the curve variables below),\n"
    "one line per curve, time on the x axis. Runs gnuplot\n"
    "(Debian package gnuplot-nox), which must be on PATH.\n"
    "The energy balance energy.dat of a run with \"ebal on\" plots as it is; beside\n"
    "a curve file it replaces the file's engk, engs and ener (one process's share)\n"
    "by the global kinetic, internal and total energy (engk_total, engs_total,\n"
    "ener_total), with the hourglass energy, the work terms and the energy error.\n"
    "The constraint forces forces.dat of a run with \"reac\" records plot as they are.\n"
    "A curve file cut inside its last record (a run killed while writing) plots\n"
    "the records before the cut, with a warning.\n"
    "\n"
    "  -o, --output FILE  PNG to write (default: the input with the extension .png)\n"
    "  --title T          title of the plot (default: the curve file's title, or\n"
    "                     the CSV's file name)\n"
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
    std::vector<std::string> notes;
    const std::string script = plot::plot_script(table, po, notes);
    for (const std::string& n : notes) std::fprintf(stderr, "hexdyn-plot: note: %s\n", n.c_str());
    for (const std::string& w : table.warnings)
        std::fprintf(stderr, "hexdyn-plot: warning: %s\n", w.c_str());
    plot::write_plot_data(table, po.data);
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
    std::printf("wrote %s (%zu curves, %zu records)\n", out.string().c_str(),
                table.names.size() - 1, table.rows.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return formats::guarded_main("hexdyn-plot", run, argc, argv, "error: ");
}
