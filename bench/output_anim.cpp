// Animation output throughput.
//
// Builds a block mesh of (n+1)^3 nodes (n = 99 gives 1,000,000 nodes) in the
// model data and writes animation zones through outanim into a file in a
// scratch directory. The first zone also carries the connectivity and is
// timed on its own; the node-record rate is taken over the later zones, which
// hold node records only, including the final flush and close of the file.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "benchutil.hpp"
#include "common.hpp"
#include "model/model.hpp"
#include "output/anim.hpp"
#include "output/units.hpp"

namespace {

struct options {
    int n = 99;
    int zones = 6;
    std::string dir;
    bool keep = false;
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(stderr, "usage: %s [--n ELEMENTS_PER_EDGE] [--zones Z] [--dir SCRATCH] [--keep]\n",
                 prog);
    std::exit(2);
}

void buildmesh(int n) {
    const int p = n + 1;
    const long long nn = static_cast<long long>(p) * p * p;
    std::snprintf(simulation::title.data(), simulation::title.size(), "animation output benchmark");
    particledata::nb_particle = static_cast<int>(nn);
    particledata::pos.assign(3 * static_cast<size_t>(nn), 0.0);
    const double h = 1.0e-3;
    // Whole-index shift in x so that a third of the mesh lies at negative x.
    const int ishift = n / 3;
    size_t q = 0;
    for (int k = 0; k < p; ++k)
        for (int j = 0; j < p; ++j)
            for (int i = 0; i < p; ++i) {
                // Varied mantissas and exponents, negative values included.
                particledata::pos[q++] = (i - ishift) * h * 1.0137;
                particledata::pos[q++] = j * h * 0.9871 + 1.0e-7 * i;
                particledata::pos[q++] = -k * h * 1.1113 - 0.25;
            }
    elementdata::nb_element = n * n * n;
    elementdata::element_list.assign(static_cast<size_t>(n) * n * n, element{});
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
            }
}

int run(const options& o) {
    namespace fs = std::filesystem;
    const fs::path dir = benchutil::scratch_dir(o.dir, "output");
    const fs::path file = dir / "aresult_anim.dat";

    buildmesh(o.n);
    const long long nodes = particledata::nb_particle;

    ffi::textout& out = ffi::unit(ffi::iow1);
    if (!out.open(file.string())) {
        std::fprintf(stderr, "cannot open %s\n", file.c_str());
        return 1;
    }
    const double t0 = benchutil::wall();
    outanim(0.0);
    const double first = benchutil::wall() - t0;
    double best_zone = 1.0e30;
    double later = 0.0, latercpu = 0.0;
    for (int z = 1; z < o.zones; ++z) {
        // Move the nodes a little so that every zone formats fresh values; the
        // move is not timed.
        double* pos = particledata::pos.data();
        for (size_t i = 0; i < particledata::pos.size(); ++i) pos[i] += 1.0e-6;
        const double c0 = benchutil::cpu();
        const double tz0 = benchutil::wall();
        outanim(1.0e-6 * z);
        const double zt = benchutil::wall() - tz0;
        latercpu += benchutil::cpu() - c0;
        later += zt;
        if (zt < best_zone) best_zone = zt;
    }
    const double c0 = benchutil::cpu();
    const double tc = benchutil::wall();
    out.close();
    later += benchutil::wall() - tc;
    latercpu += benchutil::cpu() - c0;
    const long long bytes = static_cast<long long>(fs::file_size(file));
    if (!o.keep) fs::remove_all(dir);

    const int later_zones = o.zones - 1;
    const double rate = later > 0.0 ? static_cast<double>(nodes) * later_zones / later : 0.0;
    const double rate_best = best_zone < 1.0e30 ? static_cast<double>(nodes) / best_zone : 0.0;
    const double rate_cpu =
        latercpu > 0.0 ? static_cast<double>(nodes) * later_zones / latercpu : 0.0;
    std::printf(
        "output_anim nodes=%lld elements=%d zones=%d file_bytes=%lld first_zone_s=%.4f "
        "later_zones_s=%.4f "
        "node_records_per_s=%.0f best_zone_node_records_per_s=%.0f node_records_per_cpu_s=%.0f\n",
        nodes, elementdata::nb_element, o.zones, bytes, first, later, rate, rate_best, rate_cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchutil::start(&argc, &argv);
    options o;
    for (int i = 1; i < argc; ++i) {
        if (benchutil::scratch_option(argc, argv, i, o.n, o.dir, o.keep)) continue;
        if (std::string(argv[i]) == "--zones" && i + 1 < argc)
            o.zones = std::atoi(argv[++i]);
        else
            usage(argv[0]);
    }
    if (o.n < 1 || o.zones < 2) usage(argv[0]);
    return benchutil::finish([&] { return run(o); });
}
