#include "export/export.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "export/curves.hpp"
#include "export/output.hpp"
#include "export/vtk.hpp"
#include "formats/deck.hpp"
#include "formats/map.hpp"
#include "formats/results.hpp"

namespace exporting {

namespace {

using formats::AnimReader;
using formats::AnimZone;
using formats::Error;
using formats::Map;

struct Process {
    int id = 0;
    std::string deck;
    fs::path anim;
    fs::path curv;
    const std::vector<long long>* node_global = nullptr;     // null without a map
    const std::vector<long long>* element_global = nullptr;  // null without a map
    long long node_offset = 0;  // without a map: processes side by side
    long long element_offset = 0;

    // Global number (1-based) of local node `local` (1-based).
    long long global_node(long long local) const {
        return node_global ? (*node_global)[static_cast<size_t>(local - 1)] : node_offset + local;
    }
};

// The animation files of the processes, read zone by zone together.
struct Animations {
    std::vector<std::unique_ptr<AnimReader>> readers;
    std::vector<AnimZone> zone;  // the zone last read, per process
};

bool exists_file(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Coordinates of a shared node in two process files agree to the printed
// precision: 5 significant digits, allowing the last one to differ.
bool same_coordinate(double a, double b) {
    if (a == b) return true;
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::fabs(a - b) <= 1.5e-4 * std::max(std::fabs(a), std::fabs(b));
}

std::string point_text(const double* p) {
    return "(" + real_text(p[0]) + ", " + real_text(p[1]) + ", " + real_text(p[2]) + ")";
}

// Path prefix of the outputs: --out, or <dir>/hexdyn; a directory means
// <it>/hexdyn, and a name ending in "/" is a directory made when missing.
// Removes a stale collection of the same name: it would list a mix of old
// and new files if this export failed half-way, and is written again at the
// end.
fs::path output_prefix(const ExportOptions& opt, const fs::path& dir, ExportReport& rep) {
    fs::path prefix = opt.out.empty() ? dir / "hexdyn" : opt.out;
    {
        std::error_code ec;
        const std::string out = opt.out.string();
        if (!out.empty() && out.back() == '/' && !fs::exists(prefix, ec)) {
            const fs::path made = fs::path(out).parent_path();
            const fs::path parent = made.parent_path();
            if (!parent.empty() && !fs::is_directory(parent, ec))
                throw Error("output directory " + parent.string() + " does not exist");
            if (!fs::create_directory(made, ec) && ec)
                throw Error("cannot create output directory " + made.string() + ": " +
                            ec.message());
        }
        if (fs::is_directory(prefix, ec)) prefix /= "hexdyn";
        const fs::path parent = prefix.parent_path();
        if (!parent.empty() && !fs::is_directory(parent, ec))
            throw Error("output directory " + parent.string() + " does not exist");
        if (prefix.filename().empty())
            throw Error("output prefix " + opt.out.string() + " names no file");
    }
    rep.pvd = prefix.string() + ".pvd";
    std::error_code ec;
    fs::remove(rep.pvd, ec);
    return prefix;
}

// The folder of the .vtu series beside the collection, PREFIX_vtu: one file
// per output time would otherwise crowd the run's folder.
fs::path series_folder(const fs::path& prefix) {
    fs::path folder = prefix;
    folder += "_vtu";
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw Error(folder.string() + " exists and is not a directory");
    if (!fs::create_directory(folder, ec) && ec)
        throw Error("cannot create directory " + folder.string() + ": " + ec.message());
    return folder;
}

// Removes the files of an earlier, longer series from the series folder:
// <base>_NNNN.vtu numbered `count` and above.
void remove_stale_series(const fs::path& folder, const std::string& base, size_t count) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < base.size() + 9 || name.compare(0, base.size() + 1, base + "_") != 0 ||
            name.compare(name.size() - 4, 4, ".vtu") != 0)
            continue;
        const std::string digits = name.substr(base.size() + 1, name.size() - base.size() - 5);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        if (std::stoull(digits) >= count) {
            std::error_code rm;
            fs::remove(it->path(), rm);
        }
    }
}

// The map: given, or found beside the results, or none.
std::optional<Map> find_map(const ExportOptions& opt, const fs::path& dir) {
    if (!opt.map.empty()) {
        if (!exists_file(opt.map)) throw Error("map file " + opt.map.string() + " does not exist");
        return formats::read_map(opt.map);
    }
    if (exists_file(dir / "hexdyn.map")) return formats::read_map(dir / "hexdyn.map");
    return std::nullopt;
}

// The processes of the map, or without one those with an animation file
// "a", "b", ... in turn.
std::vector<Process> find_processes(const std::optional<Map>& map, const fs::path& dir,
                                    ExportReport& rep) {
    std::vector<Process> procs;
    if (map) {
        for (const formats::MapProcess& mp : map->procs) {
            Process p;
            p.id = mp.id;
            p.deck = mp.deck;
            p.node_global = &mp.node_global;
            p.element_global = &mp.element_global;
            procs.push_back(p);
        }
    } else {
        for (int id = 0;; ++id) {
            const std::string deck = formats::deck_name(id);
            if (!exists_file(dir / (deck + "result_anim.dat"))) break;
            Process p;
            p.id = id;
            p.deck = deck;
            procs.push_back(p);
        }
        if (procs.empty())
            throw Error("no animation file " + (dir / "aresult_anim.dat").string() +
                        " (and no map file " + (dir / "hexdyn.map").string() + ")");
    }
    for (Process& p : procs) {
        p.anim = dir / (p.deck + "result_anim.dat");
        p.curv = dir / (p.deck + "result_curv.dat");
        if (!exists_file(p.anim))
            throw Error("missing animation file " + p.anim.string() + " of process " +
                        std::to_string(p.id));
    }
    rep.processes = static_cast<int>(procs.size());
    if (!map && procs.size() > 1)
        rep.notes.push_back(
            "no map file: the " + std::to_string(procs.size()) +
            " processes are exported side by side, each with its own copy of the nodes they share; "
            "give --map to join them");
    return procs;
}

// Opens the animation files and reads the first zone of each, which brings
// the counts and the connectivity.
Animations open_animations(const std::vector<Process>& procs) {
    Animations a;
    a.zone.resize(procs.size());
    for (size_t i = 0; i < procs.size(); ++i) {
        a.readers.push_back(std::make_unique<AnimReader>(procs[i].anim));
        a.readers[i]->next(a.zone[i]);
    }
    return a;
}

// The global mesh from the first zones: checks the counts against the map,
// or without one places the processes side by side.
GlobalMesh global_mesh(std::vector<Process>& procs, const std::optional<Map>& map,
                       const Animations& anim, ExportReport& rep) {
    GlobalMesh mesh;
    long long offset_n = 0, offset_e = 0;
    for (size_t i = 0; i < procs.size(); ++i) {
        Process& p = procs[i];
        const AnimReader& r = *anim.readers[i];
        if (p.node_global) {
            if (r.nodes() != static_cast<long long>(p.node_global->size()) ||
                r.elements() != static_cast<long long>(p.element_global->size()))
                throw Error(r.name() + " holds " + std::to_string(r.nodes()) + " nodes and " +
                            std::to_string(r.elements()) + " elements, the map gives process " +
                            std::to_string(p.id) + " " + std::to_string(p.node_global->size()) +
                            " nodes and " + std::to_string(p.element_global->size()) + " elements");
        } else {
            p.node_offset = offset_n;
            p.element_offset = offset_e;
            offset_n += r.nodes();
            offset_e += r.elements();
        }
    }
    mesh.nodes = map ? map->nodes : offset_n;
    const long long nelem = map ? map->elements : offset_e;
    mesh.connectivity.assign(static_cast<size_t>(8 * nelem), 0);
    mesh.cell_process.assign(static_cast<size_t>(nelem), 0);
    mesh.cell_id.assign(static_cast<size_t>(nelem), 0);
    mesh.node_id.assign(static_cast<size_t>(mesh.nodes), 0);
    for (size_t i = 0; i < procs.size(); ++i) {
        const Process& p = procs[i];
        const auto& conn = anim.readers[i]->connectivity();
        for (size_t e = 0; e < conn.size(); ++e) {
            const long long g = p.element_global ? (*p.element_global)[e]
                                                 : p.element_offset + static_cast<long long>(e) + 1;
            const size_t cell = static_cast<size_t>(g - 1);
            for (int c = 0; c < 8; ++c)
                mesh.connectivity[8 * cell + static_cast<size_t>(c)] =
                    p.global_node(conn[e][static_cast<size_t>(c)]) - 1;
            mesh.cell_process[cell] = p.id;
            mesh.cell_id[cell] = g;
        }
        for (long long k = 1; k <= anim.readers[i]->nodes(); ++k)
            mesh.node_id[static_cast<size_t>(p.global_node(k) - 1)] = p.global_node(k);
    }
    rep.nodes = mesh.nodes;
    rep.elements = nelem;
    return mesh;
}

// Kinetic energies add up only when no node is held by two processes.
bool kinetic_additive(const std::vector<Process>& procs, const std::optional<Map>& map) {
    bool additive = procs.size() == 1;
    if (map && !additive) {
        std::vector<char> held(static_cast<size_t>(map->nodes), 0);
        additive = true;
        for (const formats::MapProcess& mp : map->procs)
            for (long long g : mp.node_global) {
                char& h = held[static_cast<size_t>(g - 1)];
                if (h) additive = false;
                h = 1;
            }
    }
    return additive;
}

// The curve files merged into PREFIX.csv; returns the times of the records
// (none when no process has a curve file).
std::vector<double> merge_curves(const std::vector<Process>& procs, const std::optional<Map>& map,
                                 const Animations& anim, const fs::path& dir,
                                 const fs::path& prefix, ExportReport& rep) {
    size_t with = 0;
    for (const Process& p : procs)
        if (exists_file(p.curv)) ++with;
    if (with == 0) {
        rep.notes.push_back("no curve files: no CSV written");
        return {};
    }
    if (with != procs.size()) {
        for (const Process& p : procs)
            if (!exists_file(p.curv))
                throw Error("missing curve file " + p.curv.string() + " of process " +
                            std::to_string(p.id));
    }
    std::vector<std::unique_ptr<formats::CurveReader>> readers;
    std::vector<ProcessCurves> pcs;
    for (size_t i = 0; i < procs.size(); ++i) {
        readers.push_back(std::make_unique<formats::CurveReader>(procs[i].curv));
        ProcessCurves pc;
        pc.id = procs[i].id;
        pc.file = readers.back()->name();
        pc.columns = readers.back()->columns();
        pc.element_global = procs[i].element_global;
        pc.node_global = procs[i].node_global;
        pc.elements = anim.readers[i]->elements();
        pc.nodes = anim.readers[i]->nodes();
        pcs.push_back(std::move(pc));
    }
    CurveLayout lay = curve_layout(pcs, procs.size() == 1, kinetic_additive(procs, map));
    // The global energy balance, when the run wrote one, gives the totals.
    formats::EnergyTable energy;
    const fs::path energy_file = dir / formats::energy_file;
    if (exists_file(energy_file)) {
        energy = formats::read_energy(energy_file);
        use_energy_balance(lay, energy);
    }
    rep.notes.insert(rep.notes.end(), lay.notes.begin(), lay.notes.end());
    rep.csv = prefix.string() + ".csv";
    std::vector<double> times = write_curve_table(rep.csv, readers, lay, rep.notes, rep.warnings);
    rep.curve_records = static_cast<long long>(times.size());
    return times;
}

// Reads the next zone of every process; false when all files have ended
// together. `z` is the 0-based number of the zone. A file whose last zone
// was cut off (a run killed while writing) ends before that zone, with a
// warning; the zones written whole in every file are then the series, and a
// file that goes on past them is not an error.
bool next_zone(Animations& anim, int z, ExportReport& rep) {
    const size_t np = anim.readers.size();
    std::vector<char> more(np, 0);
    bool any = false, all = true, cut = false;
    for (size_t i = 0; i < np; ++i) {
        more[i] = anim.readers[i]->next(anim.zone[i]) ? 1 : 0;
        any = any || more[i];
        all = all && more[i];
        cut = cut || anim.readers[i]->cut_zone() > 0;
    }
    for (size_t i = 0; i < np; ++i) {
        const AnimReader& r = *anim.readers[i];
        if (!more[i] && r.cut_zone() == z + 1)
            rep.warnings.push_back(r.name() + ":" + std::to_string(r.cut_line()) +
                                   ": the file ends inside zone " + std::to_string(z + 1) +
                                   " (cut off while it was written?): zones 1.." +
                                   std::to_string(z) + " are exported");
    }
    if (all) return true;
    if (!any) return false;
    const size_t longer =
        static_cast<size_t>(std::find(more.begin(), more.end(), 1) - more.begin());
    const size_t ended = static_cast<size_t>(std::find(more.begin(), more.end(), 0) - more.begin());
    if (!cut)
        throw Error("inconsistent zone counts: " + anim.readers[longer]->name() + " has " +
                    std::to_string(z + 1) + " or more zones, " + anim.readers[ended]->name() +
                    " has " + std::to_string(z));
    rep.warnings.push_back("zone " + std::to_string(z + 1) + " and later of " +
                           anim.readers[longer]->name() +
                           " are left out: they were not written whole by every process");
    return false;
}

// Gathers the coordinates of zone z into `xyz`: the first process holding a
// node gives its coordinates.
void merge_zone(const std::vector<Process>& procs, const Animations& anim, int z,
                std::vector<double>& xyz, std::vector<int>& stamp, std::vector<int>& owner) {
    for (size_t i = 1; i < procs.size(); ++i)
        if (anim.zone[i].time != anim.zone[0].time)
            throw Error(anim.readers[i]->name() + ":" + std::to_string(anim.zone[i].first_line) +
                        ": zone " + std::to_string(z + 1) + " is at time " +
                        real_text(anim.zone[i].time) + ", in " + anim.readers[0]->name() + " at " +
                        real_text(anim.zone[0].time) + ": the processes did not run in lockstep");
    for (size_t i = 0; i < procs.size(); ++i) {
        const Process& p = procs[i];
        const std::vector<double>& src = anim.zone[i].xyz;
        const long long n = anim.readers[i]->nodes();
        for (long long k = 0; k < n; ++k) {
            const size_t g = static_cast<size_t>(p.global_node(k + 1) - 1);
            const double* s = &src[static_cast<size_t>(3 * k)];
            if (stamp[g] != z) {
                stamp[g] = z;
                owner[g] = p.id;
                std::copy(s, s + 3, &xyz[3 * g]);
            } else if (z == 0) {
                // The copies of a shared node move together; copies apart
                // at the first output mean the map does not fit the results.
                const double* d = &xyz[3 * g];
                if (!same_coordinate(s[0], d[0]) || !same_coordinate(s[1], d[1]) ||
                    !same_coordinate(s[2], d[2]))
                    throw Error("global node " + std::to_string(g + 1) + " is at " + point_text(d) +
                                " in process " + std::to_string(owner[g]) + " but at " +
                                point_text(s) + " in process " + std::to_string(p.id) + " (" +
                                anim.readers[i]->name() + ", local node " + std::to_string(k + 1) +
                                "): the map does not match the result files");
            }
        }
    }
}

// One .vtu per zone, zone by zone in lockstep over the processes; returns
// the time of each. The zone record gives the time with 5 digits, the curve
// record of the same output time with 6: the latter is taken when the two agree.
std::vector<double> write_series(const std::vector<Process>& procs, Animations& anim,
                                 const GlobalMesh& mesh, const std::vector<double>& curve_times,
                                 const fs::path& prefix, bool ascii, ExportReport& rep) {
    std::vector<double> xyz(static_cast<size_t>(3 * mesh.nodes), 0.0);
    std::vector<double> ref;
    std::vector<int> stamp(static_cast<size_t>(mesh.nodes), -1);
    std::vector<int> owner(static_cast<size_t>(mesh.nodes), -1);
    std::vector<double> times;
    bool all_precise = true;
    const std::string base = prefix.filename().string();
    const fs::path folder = series_folder(prefix);
    for (int z = 0; z == 0 || next_zone(anim, z, rep); ++z) {
        merge_zone(procs, anim, z, xyz, stamp, owner);
        if (z == 0) ref = xyz;
        double time = anim.zone[0].time;
        if (static_cast<size_t>(z) < curve_times.size() &&
            std::fabs(curve_times[static_cast<size_t>(z)] - time) <=
                1e-4 * std::max(std::fabs(curve_times[static_cast<size_t>(z)]), std::fabs(time)))
            time = curve_times[static_cast<size_t>(z)];
        else
            all_precise = false;
        char num[32];
        std::snprintf(num, sizeof num, "_%04d.vtu", z);
        const fs::path vtu = folder / (base + num);
        write_vtu(vtu, mesh, xyz, ref, time, ascii);
        rep.vtu.push_back(vtu);
        times.push_back(time);
    }
    rep.zones = static_cast<int>(times.size());
    rep.precise_times = all_precise;
    remove_stale_series(folder, base, times.size());
    return times;
}

// A viewer shows one of two output times that print alike.
void note_unordered_times(const std::vector<double>& times, ExportReport& rep) {
    for (size_t z = 1; z < times.size(); ++z)
        if (!(times[z] > times[z - 1])) {
            rep.notes.push_back(
                "output times " + std::to_string(z) + " and " + std::to_string(z + 1) + " (" +
                real_text(times[z - 1]) + ", " + real_text(times[z]) +
                ") are not increasing at the printed precision; a viewer may show only one");
            break;
        }
}

}  // namespace

ExportReport run_export(const ExportOptions& opt) {
    ExportReport rep;
    const fs::path dir = opt.dir.empty() ? fs::path(".") : opt.dir;
    {
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            throw Error("result directory " + dir.string() + " does not exist");
    }
    const fs::path prefix = output_prefix(opt, dir, rep);
    const std::optional<Map> map = find_map(opt, dir);
    rep.used_map = map.has_value();
    std::vector<Process> procs = find_processes(map, dir, rep);
    Animations anim = open_animations(procs);
    const GlobalMesh mesh = global_mesh(procs, map, anim, rep);
    const std::vector<double> curve_times = merge_curves(procs, map, anim, dir, prefix, rep);
    const std::vector<double> times =
        write_series(procs, anim, mesh, curve_times, prefix, opt.ascii, rep);
    note_unordered_times(times, rep);
    write_pvd(rep.pvd, rep.vtu, times);
    return rep;
}

}  // namespace exporting
