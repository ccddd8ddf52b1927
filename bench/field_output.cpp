// Field output throughput: size and write time of a frame.
//
// Builds a block of n^3 hexahedra ((n+1)^3 nodes; n = 100 gives 10^6
// elements) in the model data with varied coordinates, velocities and
// stresses, and writes frames through fieldout::write in a scratch directory,
// as the time loop does at a field-output time (piece, parallel file, series).
// The state is that of an impact: the layers of the block nearest the struck
// face (`--stressed`, the fraction of the layers the wave has reached, 0.5 by
// default) are stressed, plastic and moving; the rest is at rest and
// undeformed (zero velocity, displacement and stress, relative volume 1).
// The nodes move and the stresses change between frames (not timed), so that
// every frame converts and compresses fresh values. Reports the bytes of a
// piece per element and the write time of a frame (best and mean);
// `--arrays` adds, per array of the last piece, its raw and compressed bytes
// and the time one thread takes to compress it with several zlib settings
// (level 1, 6, 9, Huffman codes only, runs only, in 64 KiB blocks; level 1 in
// 1 MiB blocks) and with libdeflate (levels 1 and 6 in 1 MiB blocks, the
// field output's engine).

#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "benchutil.hpp"
#include "common.hpp"
#include "control/fieldout.hpp"
#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "model/model.hpp"
#include "output/vtkxml.hpp"

namespace {

struct options {
    int n = 100;
    int frames = 5;
    double stressed = 0.5;
    bool arrays = false;
    std::string analyse;
    std::string dir;
    bool keep = false;
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(stderr,
                 "usage: %s [--n ELEMENTS_PER_EDGE] [--frames F] [--stressed FRACTION] [--arrays] "
                 "[--dir SCRATCH] [--keep]\n       %s --analyse PIECE.vtu\n",
                 prog, prog);
    std::exit(2);
}

// Layers of elements the wave has reached, counted from the struck face
// (the last layer, lowest z), and the same for the nodes below the front.
int edge = 0, reached = 0;

bool nodereached(size_t node) {
    const size_t p = static_cast<size_t>(edge) + 1;
    return static_cast<int>(node / (p * p)) > edge - reached;
}

// A deterministic value in [-0.5, 0.5) per element and frame: the roughness
// of a solver's field from one element to the next.
double jitter(size_t e, int f) {
    const std::uint32_t h =
        static_cast<std::uint32_t>(e) * 2654435761u ^ static_cast<std::uint32_t>(f) * 40503u;
    return static_cast<double>((h >> 8) & 0xffff) / 65536.0 - 0.5;
}

void buildmodel(int n, double stressed) {
    edge = n;
    reached = std::clamp(static_cast<int>(std::lround(stressed * n)), 0, n);
    const int p = n + 1;
    const long long nn = static_cast<long long>(p) * p * p;
    const double h = 1.0e-3;
    particledata::nb_particle = static_cast<int>(nn);
    particledata::pos.assign(3 * static_cast<size_t>(nn), 0.0);
    particledata::vel.assign(3 * static_cast<size_t>(nn), 0.0);
    size_t q = 0;
    for (int k = 0; k < p; ++k)
        for (int j = 0; j < p; ++j)
            for (int i = 0; i < p; ++i, q += 3) {
                particledata::pos[q] = i * h * 1.0137;
                particledata::pos[q + 1] = j * h * 0.9871 + 1.0e-7 * i;
                particledata::pos[q + 2] = -k * h * 1.1113 - 0.25;
                if (!nodereached(q / 3)) continue;
                particledata::vel[q] = 0.1 * std::sin(0.37 * i + 0.11 * k);
                particledata::vel[q + 1] = 0.05 * std::cos(0.23 * j);
                particledata::vel[q + 2] = -10.0 * k * h;
            }
    const size_t ne = static_cast<size_t>(n) * n * n;
    elementdata::nb_element = static_cast<int>(ne);
    elementdata::element_list.assign(ne, element{});
    materialdata::history_list.assign(ne, history{});
    materialdata::mat_list.assign(1, material{});
    materialdata::mat_list[0].mtype = 4;
    auto id = [p](int i, int j, int k) { return i + p * (j + p * k) + 1; };
    size_t e = 0;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i, ++e) {
                element& el = elementdata::element_list[e];
                const auto c = benchutil::hex_corners(id, i, j, k);
                for (int c8 = 0; c8 < 8; ++c8) el.node[c8] = c[c8];
                el.mat = 1;
                el.nhistory = static_cast<int>(e) + 1;
                history& r = materialdata::history_list[e];
                // The initial volume from the corners, as the solver's: an
                // element at rest has relative volume 1.
                double xyz[8][3], ijac[3][3];
                gather_corners(el.node, particledata::pos.data(), xyz);
                jacobian(xyz, r.vol0, ijac);
                r.sig_y = 3.5e8;
            }
}

// Fresh state for frame f in the reached layers: the nodes move, the
// stresses and strains grow. Smooth fields of the element number at full
// precision with a little roughness, so that the low bits of every value
// differ as in a solver's state and do not compress away.
void advance(int f) {
    const size_t nn = particledata::vel.size() / 3;
    for (size_t q = 0; q < nn; ++q) {
        if (!nodereached(q)) continue;
        for (size_t c = 3 * q; c < 3 * q + 3; ++c) {
            double& x = particledata::pos[c];
            double& v = particledata::vel[c];
            x += 1.0e-6 * std::sin(x * 1.0e3);
            v = 0.97 * v + 1.0e-3 * std::cos(v * 31.0);
        }
    }
    const size_t ne = materialdata::history_list.size();
    const size_t first = static_cast<size_t>(edge - reached) * static_cast<size_t>(edge * edge);
    for (size_t e = first; e < ne; ++e) {
        history& r = materialdata::history_list[e];
        const double x = 1.0e-4 * static_cast<double>(e) + 0.1 * f;
        const double s =
            1.0e8 * (1.0 + std::sin(x) + 0.3 * std::cos(7.1 * x)) * (1.0 + 1.0e-3 * jitter(e, f));
        r.sm = -0.3 * s;
        for (int c = 0; c < 6; ++c) r.sd[c] = s * (0.1 * c - 0.25) * std::cos(x * (c + 1));
        r.seqv = 1.7 * s;
        r.epeff = 1.0e-3 * (f + 1) * (1.0 + std::sin(3.3 * x));
    }
}

// The appended arrays of a piece file: name, and offset of its header from
// the start of the file.
struct piecearray {
    std::string name;
    size_t at;
};

std::vector<piecearray> piecearrays(const std::string& text) {
    std::vector<piecearray> r;
    const size_t data = text.find('_', text.find("<AppendedData")) + 1;
    for (size_t t = text.find("<DataArray "); t < data; t = text.find("<DataArray ", t + 1)) {
        const size_t end = text.find('>', t);
        const std::string tag = text.substr(t, end - t);
        const size_t off = tag.find(" offset=\"");
        if (off == std::string::npos) continue;
        const size_t n = tag.find(" Name=\"") + 7;
        r.push_back({tag.substr(n, tag.find('"', n) - n), data + std::stoull(tag.substr(off + 9))});
    }
    return r;
}

// Compresses `raw` in blocks of `block` bytes with one deflate stream per
// block at `level` and `strategy`; returns the bytes of the blocks and their
// header.
size_t deflated(const std::vector<unsigned char>& raw, size_t block, int level, int strategy) {
    size_t total = 24;
    std::vector<unsigned char> out(compressBound(static_cast<uLong>(block)));
    for (size_t at = 0; at < raw.size(); at += block) {
        z_stream z{};
        deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
        z.next_in = const_cast<Bytef*>(raw.data() + at);
        z.avail_in = static_cast<uInt>(std::min(block, raw.size() - at));
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        total += 8 + z.total_out;
        deflateEnd(&z);
    }
    return total;
}

// Per array of the piece: raw bytes, bytes in the file, and bytes and
// compression time (one thread) for several zlib settings, all per element.
void arraytable(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t cells = text.find("NumberOfCells=\"");
    if (!in || cells == std::string::npos) {
        std::fprintf(stderr, "cannot read the piece %s\n", file.c_str());
        std::exit(1);
    }
    struct setting {
        const char* label;
        size_t block;
        int level, strategy;
    };
    const setting settings[] = {{"l1", vtkxml::blocksize, 1, Z_DEFAULT_STRATEGY},
                                {"l1_1M", 1 << 20, 1, Z_DEFAULT_STRATEGY},
                                {"l6", vtkxml::blocksize, 6, Z_DEFAULT_STRATEGY},
                                {"l9", vtkxml::blocksize, 9, Z_DEFAULT_STRATEGY},
                                {"huff", vtkxml::blocksize, 1, Z_HUFFMAN_ONLY},
                                {"rle", vtkxml::blocksize, 1, Z_RLE},
                                {"ld1_1M", 1 << 20, 1, -1},
                                {"ld6_1M", 1 << 20, 6, -1}};
    const double ne = std::stod(text.substr(cells + 15));
    std::printf("%-18s %7s %7s", "array B/element", "raw", "file");
    for (const setting& s : settings) std::printf(" %7s %6s", s.label, "ms");
    std::printf("\n");
    std::vector<double> sum(2 + 2 * std::size(settings), 0.0);
    for (const piecearray& a : piecearrays(text)) {
        const std::vector<unsigned char> raw = vtkxml::readblocks(text, a.at);
        uint64_t nblocks = 0;
        for (int i = 7; i >= 0; --i)
            nblocks =
                (nblocks << 8) | static_cast<unsigned char>(text[a.at + static_cast<size_t>(i)]);
        size_t file = 24 + 8 * nblocks;
        for (uint64_t b = 0; b < nblocks; ++b) {
            uint64_t c = 0;
            for (int i = 7; i >= 0; --i)
                c = (c << 8) |
                    static_cast<unsigned char>(text[a.at + 24 + 8 * b + static_cast<size_t>(i)]);
            file += c;
        }
        std::vector<double> row = {static_cast<double>(raw.size()) / ne,
                                   static_cast<double>(file) / ne};
        for (const setting& s : settings) {
            const double c0 = benchutil::cpu();
            const size_t bytes =
                s.strategy < 0 ? vtkxml::compressarrays({{raw.data(), raw.size()}}, s.level, 1,
                                                        s.block, vtkxml::engine::libdeflate)[0]
                                     .size()
                               : deflated(raw, s.block, s.level, s.strategy);
            row.push_back(static_cast<double>(bytes) / ne);
            row.push_back(1.0e3 * (benchutil::cpu() - c0));
        }
        std::printf("%-18s", a.name.c_str());
        for (size_t i = 0; i < row.size(); ++i) {
            std::printf(i < 2 || i % 2 == 0 ? " %7.2f" : " %6.1f", row[i]);
            sum[i] += row[i];
        }
        std::printf("\n");
    }
    std::printf("%-18s", "total");
    for (size_t i = 0; i < sum.size(); ++i)
        std::printf(i < 2 || i % 2 == 0 ? " %7.2f" : " %6.1f", sum[i]);
    std::printf("\n");
}

int run(const options& o) {
    namespace fs = std::filesystem;
    const fs::path dir = benchutil::scratch_dir(o.dir, "field");
    buildmodel(o.n, o.stressed);
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    fieldout::start();
    // write returns once it has copied the state; the frame is compressed
    // and written in the background.
    simulation::currenttime = 0.0;
    simulation::dtk1 = 1.0e-9;
    simulation::endtime = 1.0;
    double best = 1.0e30, total = 0.0, totalcpu = 0.0, first = 0.0, bestloop = 1.0e30,
           bestcpu = 1.0e30;
    for (int f = 0; f < o.frames; ++f) {
        advance(f);
        const double c0 = benchutil::cpu();
        const double t0 = benchutil::wall();
        fieldout::write(1.0e-6 * f);
        bestloop = std::min(bestloop, benchutil::wall() - t0);
        fieldout::wait();
        const double t = benchutil::wall() - t0;
        const double c = benchutil::cpu() - c0;
        totalcpu += c;
        bestcpu = std::min(bestcpu, c);
        total += t;
        if (f == 0) first = t;
        if (t < best) best = t;
    }
    const long long bytes =
        static_cast<long long>(fs::file_size(fieldout::piecename(o.frames - 1, 0)));
    if (o.arrays) arraytable(fieldout::piecename(o.frames - 1, 0));
    fs::current_path(here);
    if (!o.keep) fs::remove_all(dir);
    const double ne = elementdata::nb_element;
    std::printf(
        "field_output elements=%d nodes=%d stressed=%.2f frames=%d piece_bytes=%lld "
        "bytes_per_element=%.2f "
        "best_frame_s=%.4f mean_frame_s=%.4f mean_frame_cpu_s=%.4f frames_per_s=%.2f "
        "first_frame_s=%.4f "
        "best_loop_wait_s=%.4f best_frame_cpu_s=%.4f peak_rss_mb=%.0f\n",
        elementdata::nb_element, particledata::nb_particle, o.stressed, o.frames, bytes,
        static_cast<double>(bytes) / ne, best, total / o.frames, totalcpu / o.frames,
        o.frames / total, first, bestloop, bestcpu, benchutil::peak_rss_bytes() / 1.0e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchutil::start(&argc, &argv);
    options o;
    for (int i = 1; i < argc; ++i) {
        if (benchutil::scratch_option(argc, argv, i, o.n, o.dir, o.keep)) continue;
        if (std::string(argv[i]) == "--frames" && i + 1 < argc)
            o.frames = std::atoi(argv[++i]);
        else if (std::string(argv[i]) == "--stressed" && i + 1 < argc)
            o.stressed = std::atof(argv[++i]);
        else if (std::string(argv[i]) == "--analyse" && i + 1 < argc)
            o.analyse = argv[++i];
        else if (std::string(argv[i]) == "--arrays")
            o.arrays = true;
        else
            usage(argv[0]);
    }
    if (o.n < 1 || o.frames < 1 || !(o.stressed >= 0 && o.stressed <= 1)) usage(argv[0]);
    return benchutil::finish([&] {
        if (o.analyse.empty()) return run(o);
        arraytable(o.analyse);
        return 0;
    });
}
