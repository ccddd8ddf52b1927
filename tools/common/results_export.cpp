#include "results_export.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace results {

namespace {

// ------------------------------------------------------------ text output

// Buffered output file that reports every write failure (a full disk must
// not pass for a finished export).
class OutFile {
public:
    explicit OutFile(const fs::path& file) : name_(file.string()) {
        f_ = std::fopen(name_.c_str(), "wb");
        if (!f_) throw Error("cannot create " + name_ + ": " + std::strerror(errno));
        buf_.reserve(kFlush + 4096);
    }
    ~OutFile() {
        if (f_) std::fclose(f_);
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    std::string& buf() { return buf_; }
    void maybe_flush() {
        if (buf_.size() >= kFlush) flush();
    }
    void close() {
        flush();
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) throw Error("cannot write " + name_ + ": " + std::strerror(errno));
    }

private:
    static constexpr size_t kFlush = size_t{1} << 20;
    void flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size())
            throw Error("cannot write " + name_ + ": " + std::strerror(errno));
        buf_.clear();
    }
    std::string name_;
    std::FILE* f_ = nullptr;
    std::string buf_;
};

// Shortest text that reads back as the same double.
void put_real(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char b[40];
    const auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

// At most `digits` significant digits, trailing zeros dropped.
void put_real_g(std::string& out, double v, int digits) {
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char b[48];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::general, digits);
    out.append(b, r.ptr);
}

void put_int(std::string& out, long long v) {
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

std::string xml_escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += "&amp;"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            default: r += c;
        }
    }
    return r;
}

std::string real_text(double v) {
    std::string s;
    put_real(s, v);
    return s;
}

// ------------------------------------------------------------ VTK output

struct GlobalMesh {
    long long nodes = 0;
    std::vector<long long> node_id;        // global node number of each point (1-based)
    std::vector<long long> connectivity;   // 8 per cell, 0-based point indices
    std::vector<int> cell_process;
    std::vector<long long> cell_id;        // global element number of each cell (1-based)
};

void write_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
               const std::vector<double>& ref, double time) {
    OutFile out(file);
    std::string& b = out.buf();
    const size_t ncells = mesh.cell_id.size();
    b += "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
         "  <UnstructuredGrid>\n"
         "    <FieldData>\n"
         "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" format=\"ascii\">";
    put_real(b, time);
    b += "</DataArray>\n    </FieldData>\n    <Piece NumberOfPoints=\"";
    put_int(b, mesh.nodes);
    b += "\" NumberOfCells=\"";
    put_int(b, static_cast<long long>(ncells));
    b += "\">\n      <PointData Vectors=\"displacement\">\n"
         "        <DataArray type=\"Float64\" Name=\"displacement\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "         ";
        for (int c = 0; c < 3; ++c) {
            const size_t i = static_cast<size_t>(3 * k + c);
            b += ' ';
            // Both coordinates carry 5 significant digits; 7 digits of the
            // difference keep all of it without showing the binary noise of
            // the subtraction.
            put_real_g(b, xyz[i] - ref[i], 7);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"node\" format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "          ";
        put_int(b, mesh.node_id[static_cast<size_t>(k)]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </PointData>\n"
         "      <CellData Scalars=\"process\">\n"
         "        <DataArray type=\"Int32\" Name=\"process\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        put_int(b, mesh.cell_process[e]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"element\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        put_int(b, mesh.cell_id[e]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </CellData>\n"
         "      <Points>\n"
         "        <DataArray type=\"Float64\" Name=\"Points\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "         ";
        for (int c = 0; c < 3; ++c) {
            b += ' ';
            put_real(b, xyz[static_cast<size_t>(3 * k + c)]);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </Points>\n"
         "      <Cells>\n"
         "        <DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "         ";
        for (int c = 0; c < 8; ++c) {
            b += ' ';
            put_int(b, mesh.connectivity[8 * e + static_cast<size_t>(c)]);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        put_int(b, static_cast<long long>(8 * (e + 1)));
        b += '\n';
        out.maybe_flush();
    }
    // Cell type 12 is the 8-node hexahedron; its corner order (bottom face
    // 1-4, top face 5-8 with corner k+4 above corner k) is the element's own.
    b += "        </DataArray>\n"
         "        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          12\n";
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
    out.close();
}

void write_pvd(const fs::path& file, const std::vector<fs::path>& vtu, const std::vector<double>& times) {
    const fs::path tmp = file.string() + ".tmp";
    {
        OutFile out(tmp);
        std::string& b = out.buf();
        b += "<?xml version=\"1.0\"?>\n"
             "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
             "  <Collection>\n";
        for (size_t z = 0; z < vtu.size(); ++z) {
            b += "    <DataSet timestep=\"";
            put_real(b, times[z]);
            b += "\" group=\"\" part=\"0\" file=\"";
            b += xml_escape(vtu[z].filename().string());
            b += "\"/>\n";
        }
        b += "  </Collection>\n</VTKFile>\n";
        out.close();
    }
    std::error_code ec;
    fs::rename(tmp, file, ec);
    if (ec) throw Error("cannot rename " + tmp.string() + " to " + file.string() + ": " + ec.message());
}

// -------------------------------------------------------------- processes

struct Process {
    int id = 0;
    std::string deck;
    fs::path anim;
    fs::path curv;
    const std::vector<long long>* node_global = nullptr;     // null without a map
    const std::vector<long long>* element_global = nullptr;  // null without a map
    long long node_offset = 0;                               // without a map: processes side by side
    long long element_offset = 0;
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

}  // namespace

// ------------------------------------------------------------ curve layout

CurveLayout curve_layout(const std::vector<ProcessCurves>& procs, bool single_global, bool kinetic_additive) {
    CurveLayout lay;
    lay.names.push_back("time");
    const bool several = procs.size() > 1;
    std::map<std::string, int> used;
    for (const ProcessCurves& pc : procs) {
        std::string prefix = "p";
        prefix += std::to_string(pc.id);
        prefix += ':';
        for (size_t c = 0; c < pc.columns.size(); ++c) {
            const CurveColumn& col = pc.columns[c];
            std::string name;
            if (col.energy) {
                name = (several ? prefix : std::string()) + col.variable;
            } else if (col.element < 0) {
                name = prefix + col.variable + "@?";
                lay.notes.push_back(pc.file + ": the element number of curve " + std::to_string(c + 1) +
                                    " overflowed its field; its column is named " + name);
            } else {
                if (col.element < 1 || col.element > pc.elements)
                    throw Error(pc.file + ": curve " + std::to_string(c + 1) + " names element " +
                                std::to_string(col.element) + ", but process " + std::to_string(pc.id) +
                                " has elements 1.." + std::to_string(pc.elements));
                if (pc.element_global)
                    name = col.variable + "@elem" +
                           std::to_string((*pc.element_global)[static_cast<size_t>(col.element - 1)]);
                else if (single_global)
                    name = col.variable + "@elem" + std::to_string(col.element);
                else
                    name = prefix + col.variable + "@" + std::to_string(col.element);
            }
            const int n = ++used[name];
            if (n > 1) {
                name += '#';
                name += std::to_string(n);
            }
            lay.names.push_back(name);
        }
    }
    for (const char* var : {"engk", "engs", "ener"}) {
        CurveLayout::Total t;
        t.variable = var;
        std::vector<int> missing;
        bool any = false;
        for (const ProcessCurves& pc : procs) {
            size_t found = SIZE_MAX;
            for (size_t c = 0; c < pc.columns.size() && found == SIZE_MAX; ++c)
                if (pc.columns[c].variable == var) found = c;
            if (found == SIZE_MAX)
                missing.push_back(pc.id);
            else
                any = true;
            t.column_of_process.push_back(found);
        }
        if (!any) continue;
        if (!kinetic_additive && t.variable != "engs") {
            lay.notes.push_back(std::string("no ") + var +
                                "_total column: every process counts the kinetic energy of the nodes it shares "
                                "with others in full, so their sum would count those nodes more than once");
            continue;
        }
        if (!missing.empty()) {
            std::string who;
            for (int id : missing) who += (who.empty() ? "" : ", ") + std::to_string(id);
            lay.notes.push_back(std::string("no ") + var + "_total column: process(es) " + who + " have no " + var +
                                " curve, so the sum over processes cannot be formed");
            continue;
        }
        lay.names.push_back(std::string(var) + "_total");
        lay.totals.push_back(std::move(t));
    }
    return lay;
}

// ------------------------------------------------------------------ export

ExportReport run_export(const ExportOptions& opt) {
    ExportReport rep;
    const fs::path dir = opt.dir.empty() ? fs::path(".") : opt.dir;
    {
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) throw Error("result directory " + dir.string() + " does not exist");
    }

    // Output names.
    fs::path prefix = opt.out.empty() ? dir / "hexdyn" : opt.out;
    {
        std::error_code ec;
        if (fs::is_directory(prefix, ec)) prefix /= "hexdyn";
        const fs::path parent = prefix.parent_path();
        if (!parent.empty() && !fs::is_directory(parent, ec))
            throw Error("output directory " + parent.string() + " does not exist");
        if (prefix.filename().empty()) throw Error("output prefix " + opt.out.string() + " names no file");
    }
    rep.pvd = prefix.string() + ".pvd";
    {
        // A stale collection would list a mix of old and new files if this
        // export fails half-way; it is written again at the end.
        std::error_code ec;
        fs::remove(rep.pvd, ec);
    }

    // Map: given, or found beside the results, or none.
    std::optional<Map> map;
    if (!opt.map.empty()) {
        if (!exists_file(opt.map)) throw Error("map file " + opt.map.string() + " does not exist");
        map = read_map(opt.map);
    } else if (exists_file(dir / "hexdyn.map")) {
        map = read_map(dir / "hexdyn.map");
    }
    rep.used_map = map.has_value();

    std::vector<Process> procs;
    if (map) {
        for (const MapProcess& mp : map->procs) {
            Process p;
            p.id = mp.id;
            p.deck = mp.deck;
            p.node_global = &mp.node_global;
            p.element_global = &mp.element_global;
            procs.push_back(p);
        }
    } else {
        for (int id = 0;; ++id) {
            const std::string deck = deck_name(id);
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
            throw Error("missing animation file " + p.anim.string() + " of process " + std::to_string(p.id));
    }
    rep.processes = static_cast<int>(procs.size());
    if (!map && procs.size() > 1)
        rep.notes.push_back("no map file: the " + std::to_string(procs.size()) +
                            " processes are exported side by side, each with its own copy of the nodes they share; "
                            "give --map to join them");

    // First zone of every process: counts and connectivity.
    std::vector<std::unique_ptr<AnimReader>> readers;
    std::vector<AnimZone> zone(procs.size());
    for (size_t i = 0; i < procs.size(); ++i) {
        readers.push_back(std::make_unique<AnimReader>(procs[i].anim));
        readers[i]->next(zone[i]);
    }
    GlobalMesh mesh;
    long long offset_n = 0, offset_e = 0;
    for (size_t i = 0; i < procs.size(); ++i) {
        Process& p = procs[i];
        const AnimReader& r = *readers[i];
        if (p.node_global) {
            if (r.nodes() != static_cast<long long>(p.node_global->size()) ||
                r.elements() != static_cast<long long>(p.element_global->size()))
                throw Error(r.name() + " holds " + std::to_string(r.nodes()) + " nodes and " +
                            std::to_string(r.elements()) + " elements, the map gives process " +
                            std::to_string(p.id) + " " + std::to_string(p.node_global->size()) + " nodes and " +
                            std::to_string(p.element_global->size()) + " elements");
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
    auto global_node = [&](const Process& p, long long local) {  // local 1-based -> global 1-based
        return p.node_global ? (*p.node_global)[static_cast<size_t>(local - 1)] : p.node_offset + local;
    };
    for (size_t i = 0; i < procs.size(); ++i) {
        const Process& p = procs[i];
        const auto& conn = readers[i]->connectivity();
        for (size_t e = 0; e < conn.size(); ++e) {
            const long long g =
                p.element_global ? (*p.element_global)[e] : p.element_offset + static_cast<long long>(e) + 1;
            const size_t cell = static_cast<size_t>(g - 1);
            for (int c = 0; c < 8; ++c)
                mesh.connectivity[8 * cell + static_cast<size_t>(c)] = global_node(p, conn[e][static_cast<size_t>(c)]) - 1;
            mesh.cell_process[cell] = p.id;
            mesh.cell_id[cell] = g;
        }
        for (long long k = 1; k <= readers[i]->nodes(); ++k)
            mesh.node_id[static_cast<size_t>(global_node(p, k) - 1)] = global_node(p, k);
    }
    rep.nodes = mesh.nodes;
    rep.elements = nelem;

    // Curves: merged into one CSV, record by record in lockstep.
    std::vector<double> curve_times;
    {
        std::vector<size_t> with;
        for (size_t i = 0; i < procs.size(); ++i)
            if (exists_file(procs[i].curv)) with.push_back(i);
        if (with.empty()) {
            rep.notes.push_back("no curve files: no CSV written");
        } else if (with.size() != procs.size()) {
            for (const Process& p : procs)
                if (!exists_file(p.curv))
                    throw Error("missing curve file " + p.curv.string() + " of process " + std::to_string(p.id));
        } else {
            std::vector<std::unique_ptr<CurveReader>> cr;
            std::vector<ProcessCurves> pcs;
            for (size_t i = 0; i < procs.size(); ++i) {
                cr.push_back(std::make_unique<CurveReader>(procs[i].curv));
                ProcessCurves pc;
                pc.id = procs[i].id;
                pc.file = cr.back()->name();
                pc.columns = cr.back()->columns();
                pc.element_global = procs[i].element_global;
                pc.elements = readers[i]->elements();
                pcs.push_back(std::move(pc));
            }
            // Kinetic energies add up only when no node is held by two processes.
            bool additive = procs.size() == 1;
            if (map && !additive) {
                std::vector<char> held(static_cast<size_t>(map->nodes), 0);
                additive = true;
                for (const MapProcess& mp : map->procs)
                    for (long long g : mp.node_global) {
                        char& h = held[static_cast<size_t>(g - 1)];
                        if (h) additive = false;
                        h = 1;
                    }
            }
            const CurveLayout lay = curve_layout(pcs, procs.size() == 1, additive);
            rep.notes.insert(rep.notes.end(), lay.notes.begin(), lay.notes.end());
            rep.csv = prefix.string() + ".csv";
            const fs::path tmp = rep.csv.string() + ".tmp";
            try {
                OutFile out(tmp);
                std::string& b = out.buf();
                for (size_t c = 0; c < lay.names.size(); ++c) {
                    if (c) b += ',';
                    b += lay.names[c];
                }
                b += '\n';
                std::vector<std::vector<double>> values(procs.size());
                for (;;) {
                    double t0 = 0.0;
                    const bool more = cr[0]->next(t0, values[0]);
                    for (size_t i = 1; i < procs.size(); ++i) {
                        double t = 0.0;
                        const bool m = cr[i]->next(t, values[i]);
                        if (m != more) {
                            const size_t longer = more ? 0 : i;
                            throw Error("the curve files do not have the same number of records: " +
                                        cr[longer]->name() + " goes on at line " +
                                        std::to_string(cr[longer]->line_number()) + " where " +
                                        cr[more ? i : 0]->name() + " has ended");
                        }
                        if (more && t != t0)
                            throw Error(cr[i]->name() + ":" + std::to_string(cr[i]->line_number()) + ": time " +
                                        real_text(t) + " of record " + std::to_string(cr[i]->records()) +
                                        " differs from " + real_text(t0) + " in " + cr[0]->name() +
                                        ": the processes did not run in lockstep");
                    }
                    if (!more) break;
                    curve_times.push_back(t0);
                    put_real(b, t0);
                    for (size_t i = 0; i < procs.size(); ++i)
                        for (double v : values[i]) {
                            b += ',';
                            put_real(b, v);
                        }
                    for (const CurveLayout::Total& tot : lay.totals) {
                        double sum = 0.0;
                        for (size_t i = 0; i < procs.size(); ++i) sum += values[i][tot.column_of_process[i]];
                        b += ',';
                        // The summands carry 6 digits; 12 keep every digit of
                        // the sum and hide the binary rounding of the addition.
                        put_real_g(b, sum, 12);
                    }
                    b += '\n';
                    out.maybe_flush();
                }
                out.close();
            } catch (...) {
                std::error_code ec;
                fs::remove(tmp, ec);
                throw;
            }
            std::error_code ec;
            fs::rename(tmp, rep.csv, ec);
            if (ec) throw Error("cannot rename " + tmp.string() + " to " + rep.csv.string() + ": " + ec.message());
            rep.curve_records = static_cast<long long>(curve_times.size());
        }
    }

    // Animation: zone by zone in lockstep over the processes.
    std::vector<double> xyz(static_cast<size_t>(3 * mesh.nodes), 0.0);
    std::vector<double> ref;
    std::vector<int> stamp(static_cast<size_t>(mesh.nodes), -1);
    std::vector<int> owner(static_cast<size_t>(mesh.nodes), -1);
    std::vector<double> times;
    bool all_precise = true;
    const std::string base = prefix.filename().string();
    for (int z = 0;; ++z) {
        if (z > 0) {
            const bool more = readers[0]->next(zone[0]);
            for (size_t i = 1; i < procs.size(); ++i) {
                const bool m = readers[i]->next(zone[i]);
                if (m != more)
                    throw Error("inconsistent zone counts: " + readers[more ? 0 : i]->name() + " has " +
                                std::to_string(more ? z + 1 : z) + " or more zones, " +
                                readers[more ? i : 0]->name() + " has " + std::to_string(more ? z : z + 1));
            }
            if (!more) break;
        }
        for (size_t i = 1; i < procs.size(); ++i)
            if (zone[i].time != zone[0].time)
                throw Error(readers[i]->name() + ":" + std::to_string(zone[i].first_line) + ": zone " +
                            std::to_string(z + 1) + " is at time " + real_text(zone[i].time) + ", in " +
                            readers[0]->name() + " at " + real_text(zone[0].time) +
                            ": the processes did not run in lockstep");
        // Merge: the first process holding a node gives its coordinates.
        for (size_t i = 0; i < procs.size(); ++i) {
            const Process& p = procs[i];
            const std::vector<double>& src = zone[i].xyz;
            const long long n = readers[i]->nodes();
            for (long long k = 0; k < n; ++k) {
                const size_t g = static_cast<size_t>(global_node(p, k + 1) - 1);
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
                                    " in process " + std::to_string(owner[g]) + " but at " + point_text(s) +
                                    " in process " + std::to_string(p.id) + " (" + readers[i]->name() +
                                    ", local node " + std::to_string(k + 1) +
                                    "): the map does not match the result files");
                }
            }
        }
        if (z == 0) ref = xyz;
        // The zone record gives the time with 5 digits; the curve record of
        // the same output time, with 6. Take the latter when the two agree.
        double time = zone[0].time;
        if (static_cast<size_t>(z) < curve_times.size() &&
            std::fabs(curve_times[static_cast<size_t>(z)] - time) <=
                1e-4 * std::max(std::fabs(curve_times[static_cast<size_t>(z)]), std::fabs(time)))
            time = curve_times[static_cast<size_t>(z)];
        else
            all_precise = false;
        char num[32];
        std::snprintf(num, sizeof num, "_%04d.vtu", z);
        const fs::path vtu = prefix.parent_path() / (base + num);
        write_vtu(vtu, mesh, xyz, ref, time);
        rep.vtu.push_back(vtu);
        times.push_back(time);
        bool nonfinite = false;
        for (double v : xyz) nonfinite = nonfinite || !std::isfinite(v);
        if (nonfinite)
            rep.notes.push_back("zone " + std::to_string(z + 1) + " (time " + real_text(zone[0].time) +
                                ") holds coordinates that are not finite numbers");
    }
    rep.zones = static_cast<int>(times.size());
    rep.precise_times = all_precise;
    for (size_t z = 1; z < times.size(); ++z)
        if (!(times[z] > times[z - 1])) {
            rep.notes.push_back("output times " + std::to_string(z) + " and " + std::to_string(z + 1) + " (" +
                                real_text(times[z - 1]) + ", " + real_text(times[z]) +
                                ") are not increasing at the printed precision; a viewer may show only one");
            break;
        }
    write_pvd(rep.pvd, rep.vtu, times);
    return rep;
}

}  // namespace results
