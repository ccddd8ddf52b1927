#include "control/fieldout.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// zlib level: 1 is several times faster than the default and loses little
// on data that does not repeat.
constexpr int level = 1;

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

void writefile(const std::string& name, const std::string& a, const std::string& b = {},
               const std::string& c = {}) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) errorstop::stop("*** Error *** cannot open file " + name + " for writing");
    bool ok = std::fwrite(a.data(), 1, a.size(), f) == a.size();
    ok = ok && std::fwrite(b.data(), 1, b.size(), f) == b.size();
    ok = ok && std::fwrite(c.data(), 1, c.size(), f) == c.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) errorstop::stop("*** Error *** writing file " + name + " failed");
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

void start() {
    particledata::pos0 = particledata::pos;
    dataout::nfield = 0;
}

namespace {

// The XML part of the piece of this process (up to the "_" marker of the
// appended data) and its appended arrays, kept apart so that the file is
// written from both without joining them.
void pieceparts(double time, std::string& xml, vtkxml::appended& arrays) {
    using particledata::nb_particle;
    const std::size_t np = nb_particle > 0 ? static_cast<std::size_t>(nb_particle) : 0;
    const std::size_t ne =
        elementdata::nb_element > 0 ? static_cast<std::size_t>(elementdata::nb_element) : 0;
    const double* pos = particledata::pos.data();
    std::string pointdata, celldata, points, cells;

    // Point data.
    {
        std::vector<float> f = vtkxml::tofloat(particledata::vel.data(), 3 * np);
        pointdata += "        " +
                     arrays.add("Float32", "velocity", 3, f.data(), f.size() * sizeof(float)) +
                     "\n";
        const std::vector<double>& p0 = particledata::pos0;
        for (std::size_t i = 0; i < 3 * np; ++i)
            f[i] = static_cast<float>(pos[i] - (i < p0.size() ? p0[i] : pos[i]));
        pointdata += "        " +
                     arrays.add("Float32", "displacement", 3, f.data(), f.size() * sizeof(float)) +
                     "\n";
        std::vector<std::int32_t> id(np);
        for (std::size_t k = 0; k < np; ++k) id[k] = static_cast<std::int32_t>(k + 1);
        pointdata += "        " + arrays.add("Int32", "node", 1, id.data(), id.size() * 4) + "\n";
    }

    // Cell data, one value per element from its history record.
    {
        const element* el = elementdata::element_list.data();
        const history* h = materialdata::history_list.data();
        std::vector<float> f(ne);
        auto addfloat = [&](const char* name, auto value) {
            for (std::size_t e = 0; e < ne; ++e)
                f[e] = static_cast<float>(value(el[e], h[el[e].nhistory - 1]));
            celldata += "        " +
                        arrays.add("Float32", name, 1, f.data(), f.size() * sizeof(float)) + "\n";
        };
        static const char* const names[6] = {"stress_xx", "stress_yy", "stress_zz",
                                             "stress_yz", "stress_zx", "stress_xy"};
        for (int i = 0; i < 6; ++i) {
            addfloat(names[i], [i](const element&, const history& r) {
                return i < 3 ? r.sd[i] + r.sm : r.sd[i];
            });
        }
        addfloat("pressure", [](const element&, const history& r) { return -r.sm; });
        addfloat("equivalent_stress", [](const element&, const history& r) { return r.seqv; });
        addfloat("plastic_strain", [](const element&, const history& r) { return r.epeff; });
        addfloat("relative_volume", [pos](const element& e, const history& r) {
            double xyz[8][3], vol, ijac[3][3];
            gather_corners(e.node, pos, xyz);
            jacobian(xyz, vol, ijac);
            return vol / r.vol0;
        });
        if (hasenergy())
            addfloat("internal_energy", [](const element&, const history& r) { return r.eint; });
        std::vector<std::int32_t> id(ne);
        for (std::size_t e = 0; e < ne; ++e) id[e] = el[e].mat;
        celldata +=
            "        " + arrays.add("Int32", "material", 1, id.data(), id.size() * 4) + "\n";
        for (std::size_t e = 0; e < ne; ++e) id[e] = static_cast<std::int32_t>(e + 1);
        celldata += "        " + arrays.add("Int32", "element", 1, id.data(), id.size() * 4) + "\n";
        for (std::size_t e = 0; e < ne; ++e) id[e] = commnodes::myid;
        celldata += "        " + arrays.add("Int32", "process", 1, id.data(), id.size() * 4) + "\n";
    }

    points = "        " + arrays.add("Float64", "Points", 3, pos, 3 * np * sizeof(double)) + "\n";

    // Cells: 0-based corners in the element's own order, which is VTK's
    // hexahedron (type 12): one face 1-4, corner k+4 opposite corner k.
    {
        std::vector<std::int32_t> conn(8 * ne);
        for (std::size_t e = 0; e < ne; ++e)
            for (int k = 0; k < 8; ++k)
                conn[8 * e + static_cast<std::size_t>(k)] =
                    elementdata::element_list[e].node[k] - 1;
        cells += "        " + arrays.add("Int32", "connectivity", 1, conn.data(), conn.size() * 4) +
                 "\n";
        for (std::size_t e = 0; e < ne; ++e) conn[e] = static_cast<std::int32_t>(8 * (e + 1));
        cells += "        " + arrays.add("Int32", "offsets", 1, conn.data(), ne * 4) + "\n";
        std::vector<unsigned char> types(ne, 12);
        cells += "        " + arrays.add("UInt8", "types", 1, types.data(), ne) + "\n";
    }

    xml = vtkxml::vtuhead(time, static_cast<long long>(np), static_cast<long long>(ne));
    xml += "      <PointData Vectors=\"velocity\">\n" + pointdata + "      </PointData>\n";
    xml += "      <CellData Scalars=\"plastic_strain\">\n" + celldata + "      </CellData>\n";
    xml += "      <Points>\n" + points + "      </Points>\n";
    xml += "      <Cells>\n" + cells + "      </Cells>\n";
    xml += vtkxml::vtutail();
}

}  // namespace

std::string piece(double time, int lvl) {
    std::string xml;
    vtkxml::appended arrays(lvl);
    pieceparts(time, xml, arrays);
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

void write(double time) {
    const int frame = dataout::nfield;
    if (frame == 0) {
        frametimes.clear();
        std::error_code ec;
        std::filesystem::create_directories("field", ec);
        if (!std::filesystem::is_directory("field"))
            errorstop::stop("*** Error *** cannot create the folder field for the field output");
    }
    {
        std::string xml;
        vtkxml::appended arrays(level, compressthreads());
        pieceparts(time, xml, arrays);
        writefile(piecename(frame, commnodes::myid), xml, arrays.data(), vtkxml::vtuend());
    }
    frametimes.push_back(time);
    if (commnodes::myid == 0) {
        writefile(parallelname(frame), parallelfile(time, frame));
        // Written through a temporary name, so that the series is always whole.
        writefile(std::string(seriesname) + ".tmp", seriesfile());
        std::error_code ec;
        std::filesystem::rename(std::string(seriesname) + ".tmp", seriesname, ec);
        if (ec)
            errorstop::stop(std::string("*** Error *** writing file ") + seriesname + " failed");
    }
    dataout::nfield = frame + 1;
}

const std::vector<double>& frames() { return frametimes; }

void resume(const std::vector<double>& times) {
    frametimes = times;
    if (commnodes::myid != 0) return;
    std::error_code ec;
    std::filesystem::remove(std::string(seriesname) + ".tmp", ec);
    if (times.empty()) {
        std::filesystem::remove(seriesname, ec);
        return;
    }
    writefile(std::string(seriesname) + ".tmp", seriesfile());
    std::filesystem::rename(std::string(seriesname) + ".tmp", seriesname, ec);
    if (ec) errorstop::stop(std::string("*** Error *** writing file ") + seriesname + " failed");
}

}  // namespace fieldout
