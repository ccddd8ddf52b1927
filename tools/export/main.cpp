// hexdyn-export: merges the per-process result files of a run into the
// global mesh and writes a VTK XML time series for ParaView (one .vtu per
// output time and a .pvd collection) and one CSV table of all curves.
#include <cstdio>
#include <string>

#include "export/export.hpp"
#include "formats/cli.hpp"
#include "material/catalog.hpp"
#include "model/curvevariables.hpp"

namespace {

const char* const kUsage =
    "usage: hexdyn-export [--dir D] [--map FILE] [--out PREFIX] [--ascii]\n"
    "\n"
    "Merges the result files of a run (<deck>result_anim.dat and <deck>result_curv.dat\n"
    "of every process) into the global mesh and writes\n"
    "  PREFIX_vtu/NAME_0000.vtu, PREFIX_vtu/NAME_0001.vtu, ... (NAME: the last part\n"
    "        of PREFIX) one VTK unstructured grid per output time, in a folder of its own\n"
    "        (files of an earlier, longer series in it are removed):\n"
    "        hexahedral cells, the point fields \"displacement\" and \"node\" (global node\n"
    "        number) and the cell fields \"process\" and \"element\" (global element number);\n"
    "        binary, every array zlib-compressed and appended (VTK XML \"appended\" data)\n"
    "  PREFIX.pvd   the time series, to open in ParaView (it names the .vtu files\n"
    "               by their paths relative to its own folder: keep the two together)\n"
    "  PREFIX.csv   time, every curve of every process, and the energies summed over\n"
    "               the processes: engs_total; engk_total and ener_total only when no\n"
    "               node is shared, since each process counts the kinetic energy of\n"
    "               its shared nodes in full. With the run's energy balance energy.dat\n"
    "               (deck keyword ebal) in D: engk_total, engs_total and ener_total\n"
    "               come from it (global, each shared node counted once), with the\n"
    "               columns hourglass, external_work, plane_work, energy_error\n"
    "\n"
    "  --dir D        directory holding the result files (default: the current one)\n"
    "  --map FILE     partition map relating process to global numbering\n"
    "                 (default: D/hexdyn.map when it exists; without a map a single\n"
    "                 process \"a\" is the global mesh, and several processes are\n"
    "                 exported side by side without joining their shared nodes)\n"
    "  --out PREFIX   output path prefix (default: D/hexdyn, so D/hexdyn.pvd,\n"
    "                 D/hexdyn.csv and the folder D/hexdyn_vtu); an existing\n"
    "                 directory, or a name ending in / (made when missing, in an\n"
    "                 existing parent), means PREFIX/hexdyn: --out results/ puts\n"
    "                 everything in the folder results\n"
    "  --ascii        write the .vtu arrays as text (larger and slower to load; the\n"
    "                 format of the files before binary became the default)\n"
    "  -h, --help     show this help\n"
    "\n"
    "A run killed while writing leaves files cut inside their last zone or\n"
    "record: the zones and records every process wrote whole are exported, with\n"
    "a warning naming the file and the cut zone or record (exit status 0).\n"
    "Every other fault of a file, or a time or value that is not a finite\n"
    "number, stops the export with the file and line (exit status 1).\n"
    "\n"
    "The displacement is the current position minus the position in the first\n"
    "output zone. The solver writes that zone after its first time step, so the\n"
    "reference is the mesh after one step, not the undeformed input mesh.\n"
    "Curve columns are named <variable>@elem<global element> with a map (or a single\n"
    "process), p<process>:<variable>@<local element> without one; node curves\n"
    "<variable>@node<global node>, or p<process>:<variable>@n<local node>; the\n"
    "energies of a process are p<process>:engk and so on.\n";
// The help text closed by the paragraphs of the material words and of the
// curve variables.
const std::string kUsageText = std::string(kUsage) + catalog::rateshelp() + curvevariables::help();

int usage_error(const std::string& what) { return formats::usage_error("hexdyn-export", what); }

int run(int argc, char** argv) {
    exporting::ExportOptions opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (formats::asks_help(a, kUsageText.c_str())) return 0;
        formats::Arg arg = formats::split_arg(a);
        if (arg.key == "--dir" || arg.key == "--map" || arg.key == "--out") {
            if (!formats::take_value(arg, i, argc, argv))
                return usage_error("option " + arg.key + " needs a value");
            if (arg.value.empty())
                return usage_error("option " + arg.key + " needs a non-empty value");
            if (arg.key == "--dir") opt.dir = arg.value;
            if (arg.key == "--map") opt.map = arg.value;
            if (arg.key == "--out") opt.out = arg.value;
        } else if (a == "--ascii") {
            opt.ascii = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            return usage_error("unexpected argument " + a);
        }
    }
    const exporting::ExportReport rep = exporting::run_export(opt);
    for (const std::string& n : rep.notes)
        std::fprintf(stderr, "hexdyn-export: note: %s\n", n.c_str());
    for (const std::string& w : rep.warnings)
        std::fprintf(stderr, "hexdyn-export: warning: %s\n", w.c_str());
    std::printf("%d process%s%s, %lld nodes, %lld elements, %d output times\n", rep.processes,
                rep.processes == 1 ? "" : "es", rep.used_map ? " (map)" : "", rep.nodes,
                rep.elements, rep.zones);
    std::printf("wrote %s (%zu .vtu files in %s%s)\n", rep.pvd.string().c_str(), rep.vtu.size(),
                rep.vtu.empty() ? "" : rep.vtu.front().parent_path().string().c_str(),
                rep.precise_times ? ", times from the curve file" : "");
    if (!rep.csv.empty())
        std::printf("wrote %s (%lld records)\n", rep.csv.string().c_str(), rep.curve_records);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return formats::guarded_main("hexdyn-export", run, argc, argv, "error: ");
}
