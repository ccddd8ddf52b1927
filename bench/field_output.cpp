// Field output throughput: size and write time of a frame.
//
// Builds a block of n^3 hexahedra ((n+1)^3 nodes; n = 100 gives 10^6
// elements) in the model data with varied coordinates, velocities and
// stresses, and writes frames through fieldout::write in a scratch directory,
// as the time loop does at a field-output time (piece, parallel file, series).
// The nodes move and the stresses change between frames (not timed), so that
// every frame converts and compresses fresh values. Reports the bytes of a
// piece per element and the write time of a frame (best and mean).

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "benchutil.hpp"
#include "common.hpp"
#include "control/fieldout.hpp"
#include "model/model.hpp"

namespace {

struct options {
    int n = 100;
    int frames = 5;
    std::string dir;
    bool keep = false;
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(stderr,
                 "usage: %s [--n ELEMENTS_PER_EDGE] [--frames F] [--dir SCRATCH] [--keep]\n", prog);
    std::exit(2);
}

void buildmodel(int n) {
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
                r.vol0 = h * h * h * 1.0137 * 0.9871 * 1.1113;
                r.sig_y = 3.5e8;
            }
}

// Fresh state for frame f: the nodes move, the stresses and strains grow.
// Smooth fields of the element number at full precision, so that the low
// bits of every value differ as in a solver's state and do not compress away.
void advance(int f) {
    for (double& x : particledata::pos) x += 1.0e-6 * std::sin(x * 1.0e3);
    for (double& v : particledata::vel) v = 0.97 * v + 1.0e-3 * std::cos(v * 31.0);
    const size_t ne = materialdata::history_list.size();
    for (size_t e = 0; e < ne; ++e) {
        history& r = materialdata::history_list[e];
        const double x = 1.0e-4 * static_cast<double>(e) + 0.1 * f;
        const double s = 1.0e8 * (1.0 + std::sin(x) + 0.3 * std::cos(7.1 * x));
        r.sm = -0.3 * s;
        for (int c = 0; c < 6; ++c) r.sd[c] = s * (0.1 * c - 0.25) * std::cos(x * (c + 1));
        r.seqv = 1.7 * s;
        r.epeff = 1.0e-3 * f * (1.0 + std::sin(3.3 * x));
    }
}

int run(const options& o) {
    namespace fs = std::filesystem;
    const fs::path dir = benchutil::scratch_dir(o.dir, "field");
    buildmodel(o.n);
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    fieldout::start();
    double best = 1.0e30, total = 0.0, totalcpu = 0.0;
    for (int f = 0; f < o.frames; ++f) {
        advance(f);
        const double c0 = benchutil::cpu();
        const double t0 = benchutil::wall();
        fieldout::write(1.0e-6 * f);
        const double t = benchutil::wall() - t0;
        totalcpu += benchutil::cpu() - c0;
        total += t;
        if (t < best) best = t;
    }
    const long long bytes =
        static_cast<long long>(fs::file_size(fieldout::piecename(o.frames - 1, 0)));
    fs::current_path(here);
    if (!o.keep) fs::remove_all(dir);
    const double ne = elementdata::nb_element;
    std::printf(
        "field_output elements=%d nodes=%d frames=%d piece_bytes=%lld bytes_per_element=%.2f "
        "best_frame_s=%.4f mean_frame_s=%.4f mean_frame_cpu_s=%.4f frames_per_s=%.2f\n",
        elementdata::nb_element, particledata::nb_particle, o.frames, bytes,
        static_cast<double>(bytes) / ne, best, total / o.frames, totalcpu / o.frames,
        o.frames / total);
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
        else
            usage(argv[0]);
    }
    if (o.n < 1 || o.frames < 1) usage(argv[0]);
    return benchutil::finish([&] { return run(o); });
}
