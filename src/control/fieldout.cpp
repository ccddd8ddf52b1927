#include "control/fieldout.hpp"

#include <mpi.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>
#include <vector>

#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/vtkxml.hpp"
#include "parallel/deckname.hpp"

namespace fieldout {

namespace {

// Deflate level: 1 is several times faster than the default and loses
// little on data that does not repeat. The blocks of the arrays that change
// are compressed with libdeflate, about twice as fast as zlib at the same
// size; the constant arrays, compressed once, with zlib.
constexpr int level = 1;
constexpr vtkxml::engine deflate = vtkxml::engine::libdeflate;
constexpr int celllevel = 6;

// Threads compressing the blocks of an array: the cores a one-process run
// leaves idle (up to 4); one where every core runs a process of the job.
int compressthreads() {
    if (commnodes::nprocs != 1) return 1;
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 4u));
}

std::string frametag(int frame) {
    char b[16];
    std::snprintf(b, sizeof b, "t%05d", frame);
    return b;
}

// Writes the texts a, b, c one after the other to file `name`; stops with the
// system's reason (errno of the first call that failed) when it cannot.
void writefile(const std::string& name, const std::string& a, const std::string& b = {},
               const std::string& c = {}) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        errorstop::stop("*** Error *** cannot open file " + name +
                        " for writing: " + std::strerror(errno));
    int err = 0;
    for (const std::string* t : {&a, &b, &c})
        if (err == 0 && std::fwrite(t->data(), 1, t->size(), f) != t->size()) err = errno;
    if (std::fclose(f) != 0 && err == 0) err = errno;
    if (err != 0)
        errorstop::stop("*** Error *** writing file " + name + " failed: " + std::strerror(err));
}

// Replaces the series file through a temporary name, so that it is always
// whole.
void writeseries(const std::string& text) {
    const std::string tmp = std::string(seriesname) + ".tmp";
    writefile(tmp, text);
    std::error_code ec;
    std::filesystem::rename(tmp, seriesname, ec);
    if (ec)
        errorstop::stop(std::string("*** Error *** writing file ") + seriesname +
                        " failed: " + ec.message());
}

// The folder of the field files: made at the first frame and again on a
// restart, when it may have been removed.
void makefolder() {
    std::error_code ec;
    std::filesystem::create_directories("field", ec);
    if (!std::filesystem::is_directory("field"))
        errorstop::stop("*** Error *** cannot create the folder field for the field output" +
                        (ec ? ": " + ec.message() : std::string()));
}

bool hasenergy() {
    for (const material& m : materialdata::mat_list)
        if (m.etype == 1) return true;
    return false;
}

// The arrays of a piece in write order, with their types and components,
// shared by the piece and the parallel file.
struct arrayspec {
    const char* type;
    const char* name;
    int ncomp;
};
constexpr arrayspec pointarrays[] = {
    {"Float32", "velocity", 3}, {"Float32", "displacement", 3}, {"Int32", "node", 1}};
constexpr arrayspec cellarrays[] = {
    {"Float32", "stress_xx", 1},       {"Float32", "stress_yy", 1},
    {"Float32", "stress_zz", 1},       {"Float32", "stress_yz", 1},
    {"Float32", "stress_zx", 1},       {"Float32", "stress_xy", 1},
    {"Float32", "pressure", 1},        {"Float32", "equivalent_stress", 1},
    {"Float32", "plastic_strain", 1},  {"Float32", "relative_volume", 1},
    {"Float32", "internal_energy", 1}, {"Int32", "material", 1},
    {"Int32", "element", 1},           {"Int32", "process", 1}};
constexpr int kInternalEnergy = 10;

}  // namespace

std::string piecename(int frame, int id) {
    return "field/" + frametag(frame) + "_" + commnodes::deckname(id) + ".vtu";
}

std::string parallelname(int frame) { return "field/" + frametag(frame) + ".pvtu"; }

namespace {

// The constant arrays of a piece: node, material, element and process
// numbers, connectivity, offsets and cell types. The mesh of a run does not
// change, so they are compressed once, with the first frame, and their
// compressed bytes serve every frame. The connectivity, the largest of them,
// is compressed at a higher level: about 3 % smaller for a few times the
// time of one frame's compression of it, once; the others gain nothing.
constexpr int connectivitylevel = 6;

// 1 MiB blocks: a block's first 32 KiB find no earlier bytes to match, so
// longer blocks compress better (about 3 % of a frame against 64 KiB) and
// the threads still share the blocks of the whole frame.
constexpr std::size_t fieldblock = std::size_t{1} << 20;

struct constantarrays {
    std::string node, material, element, process, connectivity, offsets, types;
    bool ready = false;
};

void compressconstants(constantarrays& c, int lvl, int connlvl, int threads) {
    const std::size_t np =
        particledata::nb_particle > 0 ? static_cast<std::size_t>(particledata::nb_particle) : 0;
    const std::size_t ne =
        elementdata::nb_element > 0 ? static_cast<std::size_t>(elementdata::nb_element) : 0;
    const element* el = elementdata::element_list.data();
    std::vector<std::int32_t> node(np), mat(ne), id(ne), proc(ne, commnodes::myid), offsets(ne);
    for (std::size_t k = 0; k < np; ++k) node[k] = static_cast<std::int32_t>(k + 1);
    for (std::size_t e = 0; e < ne; ++e) {
        mat[e] = el[e].mat;
        id[e] = static_cast<std::int32_t>(e + 1);
        offsets[e] = static_cast<std::int32_t>(8 * (e + 1));
    }
    // 0-based corners in the element's own order, which is VTK's hexahedron
    // (type 12): one face 1-4, corner k+4 opposite corner k.
    std::vector<std::int32_t> conn(8 * ne);
    for (std::size_t e = 0; e < ne; ++e)
        for (int k = 0; k < 8; ++k) conn[8 * e + static_cast<std::size_t>(k)] = el[e].node[k] - 1;
    std::vector<unsigned char> types(ne, 12);
    std::vector<std::string> z = vtkxml::compressarrays({{node.data(), 4 * np},
                                                         {mat.data(), 4 * ne},
                                                         {id.data(), 4 * ne},
                                                         {proc.data(), 4 * ne},
                                                         {offsets.data(), 4 * ne},
                                                         {types.data(), ne}},
                                                        lvl, threads, fieldblock);
    c.connectivity = std::move(
        vtkxml::compressarrays({{conn.data(), 4 * conn.size()}}, connlvl, threads, fieldblock)[0]);
    c.node = std::move(z[0]);
    c.material = std::move(z[1]);
    c.element = std::move(z[2]);
    c.process = std::move(z[3]);
    c.offsets = std::move(z[4]);
    c.types = std::move(z[5]);
    c.ready = true;
}

// One frame's state as it will be written: the values that change, converted
// to their stored types while the time loop waits, so that the loop may go on
// while they are compressed and written.
struct framestate {
    double time = 0.0;
    int frame = 0;
    std::size_t np = 0, ne = 0;
    std::vector<double> points;
    std::vector<float> velocity, displacement;
    std::vector<std::vector<float>> cells;  // cellarrays' Float32 fields, in order
    bool eint = false;
};

void capture(framestate& s, double time, int frame) {
    using particledata::nb_particle;
    const std::size_t np = nb_particle > 0 ? static_cast<std::size_t>(nb_particle) : 0;
    const std::size_t ne =
        elementdata::nb_element > 0 ? static_cast<std::size_t>(elementdata::nb_element) : 0;
    s.time = time;
    s.frame = frame;
    s.np = np;
    s.ne = ne;
    const double* pos = particledata::pos.data();
    s.points.assign(pos, pos + 3 * np);
    s.velocity = vtkxml::tofloat(particledata::vel.data(), 3 * np);
    s.displacement.resize(3 * np);
    const std::vector<double>& p0 = particledata::pos0;
    for (std::size_t i = 0; i < 3 * np; ++i)
        s.displacement[i] = static_cast<float>(pos[i] - (i < p0.size() ? p0[i] : pos[i]));

    // Cell data, one value per element from its history record.
    s.eint = hasenergy();
    s.cells.resize(s.eint ? 11 : 10);
    const element* el = elementdata::element_list.data();
    const history* h = materialdata::history_list.data();
    int next = 0;
    auto field = [&](auto value) {
        std::vector<float>& f = s.cells[static_cast<std::size_t>(next++)];
        f.resize(ne);
        for (std::size_t e = 0; e < ne; ++e)
            f[e] = static_cast<float>(value(el[e], h[el[e].nhistory - 1]));
    };
    for (int i = 0; i < 6; ++i)
        field([i](const element&, const history& r) { return i < 3 ? r.sd[i] + r.sm : r.sd[i]; });
    field([](const element&, const history& r) { return -r.sm; });
    field([](const element&, const history& r) { return r.seqv; });
    field([](const element&, const history& r) { return r.epeff; });
    field([pos](const element& e, const history& r) {
        double xyz[8][3], vol, ijac[3][3];
        gather_corners(e.node, pos, xyz);
        jacobian(xyz, vol, ijac);
        return vol / r.vol0;
    });
    if (s.eint) field([](const element&, const history& r) { return r.eint; });
}

// The XML part of the piece (up to the "_" marker of the appended data) and
// its appended arrays, from a captured state and the constant arrays.
void pieceparts(const framestate& s, const constantarrays& c, int lvl, int threads,
                std::string& xml, vtkxml::appended& arrays) {
    // The cell fields at a higher level: libdeflate's level 6 makes them
    // about 6 % smaller than level 1 and still compresses them faster than
    // zlib's level 1; on the point arrays it gains nothing.
    std::vector<vtkxml::span> raw = {{s.velocity.data(), 4 * s.velocity.size()},
                                     {s.displacement.data(), 4 * s.displacement.size()}};
    for (const std::vector<float>& f : s.cells)
        raw.push_back({f.data(), 4 * f.size(), std::max(lvl, celllevel)});
    raw.push_back({s.points.data(), 8 * s.points.size()});
    const std::vector<std::string> z =
        vtkxml::compressarrays(raw, lvl, threads, fieldblock, deflate);

    std::string pointdata, celldata, points, cells;
    auto line = [](std::string& to, const std::string& tag) {
        to += "        ";
        to += tag;
        to += '\n';
    };
    // Appended in the order of the tags: point data, cell data, points, cells.
    line(pointdata, arrays.addblocks("Float32", "velocity", 3, z[0]));
    line(pointdata, arrays.addblocks("Float32", "displacement", 3, z[1]));
    line(pointdata, arrays.addblocks("Int32", "node", 1, c.node));
    std::size_t k = 2;
    for (int i = 0; i < kInternalEnergy + 1; ++i) {
        if (i == kInternalEnergy && !s.eint) continue;
        line(celldata, arrays.addblocks("Float32", cellarrays[i].name, 1, z[k++]));
    }
    line(celldata, arrays.addblocks("Int32", "material", 1, c.material));
    line(celldata, arrays.addblocks("Int32", "element", 1, c.element));
    line(celldata, arrays.addblocks("Int32", "process", 1, c.process));
    line(points, arrays.addblocks("Float64", "Points", 3, z[k]));
    line(cells, arrays.addblocks("Int32", "connectivity", 1, c.connectivity));
    line(cells, arrays.addblocks("Int32", "offsets", 1, c.offsets));
    line(cells, arrays.addblocks("UInt8", "types", 1, c.types));

    xml = vtkxml::vtuhead(s.time, static_cast<long long>(s.np), static_cast<long long>(s.ne));
    xml += "      <PointData Vectors=\"velocity\">\n" + pointdata + "      </PointData>\n";
    xml += "      <CellData Scalars=\"plastic_strain\">\n" + celldata + "      </CellData>\n";
    xml += "      <Points>\n" + points + "      </Points>\n";
    xml += "      <Cells>\n" + cells + "      </Cells>\n";
    xml += vtkxml::vtutail();
}

}  // namespace

std::string piece(double time, int lvl) {
    framestate s;
    capture(s, time, 0);
    constantarrays c;
    compressconstants(c, lvl, std::max(lvl, connectivitylevel), 1);
    std::string xml;
    vtkxml::appended arrays(lvl);
    pieceparts(s, c, lvl, 1, xml, arrays);
    return xml + arrays.data() + vtkxml::vtuend();
}

namespace {

std::string parallelfile(double time, int frame) {
    std::string x =
        "<?xml version=\"1.0\"?>\n"
        "<VTKFile type=\"PUnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt64\">\n"
        "  <PUnstructuredGrid GhostLevel=\"0\">\n";
    char t[40];
    std::snprintf(t, sizeof t, "%.17g", time);
    x += "    <PFieldData>\n      <DataArray type=\"Float64\" Name=\"TimeValue\" "
         "NumberOfTuples=\"1\" format=\"ascii\">";
    x += t;
    x += "</DataArray>\n    </PFieldData>\n";
    auto arrayline = [&x](const arrayspec& a) {
        x += "      <PDataArray type=\"";
        x += a.type;
        x += "\" Name=\"";
        x += a.name;
        x += "\"";
        if (a.ncomp != 1) x += " NumberOfComponents=\"" + std::to_string(a.ncomp) + "\"";
        x += "/>\n";
    };
    x += "    <PPointData Vectors=\"velocity\">\n";
    for (const arrayspec& a : pointarrays) arrayline(a);
    x += "    </PPointData>\n    <PCellData Scalars=\"plastic_strain\">\n";
    const bool eint = hasenergy();
    int i = 0;
    for (const arrayspec& a : cellarrays)
        if (i++ != kInternalEnergy || eint) arrayline(a);
    x += "    </PCellData>\n    <PPoints>\n";
    arrayline({"Float64", "Points", 3});
    x += "    </PPoints>\n";
    for (int p = 0; p < commnodes::nprocs; ++p) {
        std::string name = piecename(frame, p);
        x += "    <Piece Source=\"" + vtkxml::escape(name.substr(name.find('/') + 1)) + "\"/>\n";
    }
    x += "  </PUnstructuredGrid>\n</VTKFile>\n";
    return x;
}

// Times of the frames written so far, for the series file.
std::vector<double> frametimes;

std::string seriesfile() {
    std::string x =
        "<?xml version=\"1.0\"?>\n"
        "<VTKFile type=\"Collection\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt64\">\n"
        "  <Collection>\n";
    for (std::size_t i = 0; i < frametimes.size(); ++i) {
        char t[40];
        std::snprintf(t, sizeof t, "%.17g", frametimes[i]);
        x += "    <DataSet timestep=\"";
        x += t;
        x += "\" group=\"\" part=\"0\" file=\"" +
             vtkxml::escape(parallelname(static_cast<int>(i))) + "\"/>\n";
    }
    x += "  </Collection>\n</VTKFile>\n";
    return x;
}

}  // namespace

namespace {

// The frame being compressed and written on the background thread, and what
// it needs: the state captured for it, the constant arrays of the run, the
// parallel file's text on process 0. The time loop goes on meanwhile; the
// next frame, a checkpoint, a stop signal, the end of the run and start()
// wait for it first. A stop inside the writer (a file that cannot be
// written) is kept and raised in the time loop's thread when it waits.
//
// The series file lists a frame only once every process has its piece on
// disk: the wait ends with a vote of all processes, which every process
// reaches at the same step (frames, checkpoints, stop signals and the end
// fall on the same steps everywhere; `pending` is alike on all of them).
// Process 0 then rewrites field.pvd on the time loop's thread. When a piece
// failed, the process that failed stops with its reason, the others stop
// without a word, and process 0 removes the parallel file of the frame.
struct backgroundwriter {
    std::thread thread;
    std::exception_ptr failed;
    framestate state;
    constantarrays constants;
    bool pending = false;

    void wait() {
        if (thread.joinable()) thread.join();
        if (!pending) return;
        pending = false;
        int written = failed ? 0 : 1;
        if (commnodes::nprocs > 1)
            MPI_Allreduce(MPI_IN_PLACE, &written, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
        if (!written && commnodes::myid == 0) {
            std::error_code ec;
            std::filesystem::remove(parallelname(state.frame), ec);
        }
        if (failed) {
            std::exception_ptr e = failed;
            failed = nullptr;
            std::rethrow_exception(e);
        }
        if (!written) errorstop::stop();
        if (commnodes::myid == 0) writeseries(seriesfile());
    }
    // A run that ends otherwise than through its last frame (a stop, a
    // signal) still completes the frame under way before the process ends.
    ~backgroundwriter() {
        if (thread.joinable()) thread.join();
    }
};

backgroundwriter writer;

void writeframe(const std::string& pvtu) {
    const framestate& s = writer.state;
    const int threads = compressthreads();
    if (!writer.constants.ready)
        compressconstants(writer.constants, level, connectivitylevel, threads);
    std::string xml;
    vtkxml::appended arrays(level, threads);
    pieceparts(s, writer.constants, level, threads, xml, arrays);
    writefile(piecename(s.frame, commnodes::myid), xml, arrays.data(), vtkxml::vtuend());
    if (commnodes::myid == 0) writefile(parallelname(s.frame), pvtu);
}

}  // namespace

void wait() { writer.wait(); }

void write(double time) {
    writer.wait();
    const int frame = dataout::nfield;
    if (frame == 0) {
        frametimes.clear();
        makefolder();
    }
    capture(writer.state, time, frame);
    frametimes.push_back(time);
    std::string pvtu;
    if (commnodes::myid == 0) pvtu = parallelfile(time, frame);
    dataout::nfield = frame + 1;
    writer.pending = true;
    writer.thread = std::thread([pvtu = std::move(pvtu)] {
        try {
            writeframe(pvtu);
        } catch (...) { writer.failed = std::current_exception(); }
    });
}

void start() {
    wait();
    writer.constants = {};
    particledata::pos0 = particledata::pos;
    dataout::nfield = 0;
}

const std::vector<double>& frames() { return frametimes; }

void resume(const std::vector<double>& times) {
    frametimes = times;
    if (!times.empty()) makefolder();
    if (commnodes::myid != 0) return;
    std::error_code ec;
    std::filesystem::remove(std::string(seriesname) + ".tmp", ec);
    if (times.empty()) {
        std::filesystem::remove(seriesname, ec);
        return;
    }
    writeseries(seriesfile());
}

}  // namespace fieldout
