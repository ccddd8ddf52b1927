// Checkpoint cost: the time to write one checkpoint of a large model.
//
// Builds a block of n^3 hexahedra ((n+1)^3 nodes; n = 100 gives 10^6
// elements) in the model data, with positions, velocities, accelerations,
// masses and history records that vary in every bit as a solver's state
// does, and writes `--writes` checkpoints through checkpoint::write in a
// scratch directory, as the time loop does at a checkpoint step (field
// output and energy balance on, so their sections are written too). Between
// writes (not timed) the state changes. Reports the size of a checkpoint, the
// write time (best and mean, wall clock and CPU) and, for the profile, the
// time of the checksum alone over the same bytes.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "benchutil.hpp"
#include "common.hpp"
#include "control/checkpoint.hpp"
#include "model/model.hpp"

namespace {

struct options {
    int n = 100;
    int writes = 3;
    std::string dir;
    bool keep = false;
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(stderr,
                 "usage: %s [--n ELEMENTS_PER_EDGE] [--writes W] [--dir SCRATCH] [--keep]\n", prog);
    std::exit(2);
}

void buildmodel(int n) {
    const int p = n + 1;
    const long long nn = static_cast<long long>(p) * p * p;
    const std::size_t n3 = 3 * static_cast<std::size_t>(nn);
    particledata::nb_particle = static_cast<int>(nn);
    particledata::pos.assign(n3, 0.0);
    particledata::vel.assign(n3, 0.0);
    particledata::acc.assign(n3, 0.0);
    particledata::mp.assign(static_cast<std::size_t>(nn), 0.0);
    for (std::size_t i = 0; i < n3; ++i) {
        const double x = 1.0e-3 * static_cast<double>(i);
        particledata::pos[i] = x + 1.0e-7 * std::sin(x);
        particledata::vel[i] = std::cos(0.37 * x);
        particledata::acc[i] = 1.0e6 * std::sin(1.3 * x);
    }
    for (std::size_t k = 0; k < particledata::mp.size(); ++k)
        particledata::mp[k] = 7.85e-6 * (1.0 + 1.0e-3 * std::sin(static_cast<double>(k)));
    const std::size_t ne = static_cast<std::size_t>(n) * n * n;
    elementdata::nb_element = static_cast<int>(ne);
    materialdata::history_list.assign(ne, history{});
    for (std::size_t e = 0; e < ne; ++e) {
        history& r = materialdata::history_list[e];
        const double x = 1.0e-4 * static_cast<double>(e);
        r.vol0 = 1.0e-9 * (1.0 + 0.01 * std::sin(x));
        r.sig_y = 3.5e8 + 1.0e6 * std::cos(x);
        r.sm = -1.0e8 * std::sin(3.0 * x);
        r.seqv = 2.0e8 * (1.0 + std::cos(x));
        for (int c = 0; c < 6; ++c) r.sd[c] = 1.0e7 * std::sin(x * (c + 1));
        r.epeff = 1.0e-3 * (1.0 + std::sin(5.0 * x));
        r.eint = 1.0e3 * x;
        r.q = 1.0e5 * std::cos(2.0 * x);
        r.temp = 293.0 + x;
    }
}

void advance() {
    for (double& x : particledata::pos) x += 1.0e-9;
    for (history& r : materialdata::history_list) r.epeff += 1.0e-6;
}

int run(const options& o) {
    namespace fs = std::filesystem;
    const fs::path dir = benchutil::scratch_dir(o.dir, "checkpoint");
    buildmodel(o.n);
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    ffi::fileinp.assign(1, 'a');
    simulation::checkpointsteps = 1;
    dataout::fieldstep = 1.0e-6;
    dataout::energyon = true;
    checkpoint::schedule s;
    double best = 1.0e30, total = 0.0, totalcpu = 0.0;
    for (int w = 0; w < o.writes; ++w) {
        advance();
        const double c0 = benchutil::cpu();
        const double t0 = benchutil::wall();
        checkpoint::write(s);
        const double t = benchutil::wall() - t0;
        totalcpu += benchutil::cpu() - c0;
        total += t;
        if (t < best) best = t;
    }
    const long long bytes = static_cast<long long>(fs::file_size(checkpoint::filename(1)));

    // The checksum alone over the node and history arrays.
    const double h0 = benchutil::wall();
    std::uint64_t h = checkpoint::hash(particledata::pos.data(), particledata::pos.size() * 8);
    h = checkpoint::hash(particledata::vel.data(), particledata::vel.size() * 8, h);
    h = checkpoint::hash(particledata::acc.data(), particledata::acc.size() * 8, h);
    h = checkpoint::hash(particledata::mp.data(), particledata::mp.size() * 8, h);
    h = checkpoint::hash(materialdata::history_list.data(),
                         materialdata::history_list.size() * sizeof(history), h);
    const double hashtime = benchutil::wall() - h0;

    fs::current_path(here);
    if (!o.keep) fs::remove_all(dir);
    std::printf(
        "checkpoint_write elements=%d nodes=%d writes=%d checkpoint_bytes=%lld best_write_s=%.4f "
        "mean_write_s=%.4f mean_write_cpu_s=%.4f write_mb_per_s=%.0f hash_s=%.4f (%016llx)\n",
        elementdata::nb_element, particledata::nb_particle, o.writes, bytes, best, total / o.writes,
        totalcpu / o.writes, static_cast<double>(bytes) / best / 1.0e6, hashtime,
        static_cast<unsigned long long>(h));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchutil::start(&argc, &argv);
    options o;
    for (int i = 1; i < argc; ++i) {
        if (benchutil::scratch_option(argc, argv, i, o.n, o.dir, o.keep)) continue;
        if (std::string(argv[i]) == "--writes" && i + 1 < argc)
            o.writes = std::atoi(argv[++i]);
        else
            usage(argv[0]);
    }
    if (o.n < 1 || o.writes < 1) usage(argv[0]);
    return benchutil::finish([&] { return run(o); });
}
