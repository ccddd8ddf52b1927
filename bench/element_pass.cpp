// Element pass throughput.
//
// Builds a block of nx x ny x nz hexahedra directly in the model data, the way
// the deck reader leaves it (lumped masses, history records, volumes at input,
// material wave speed), gives it an initial velocity field that compresses and
// shears it, and runs a fixed number of steps of the time loop's pieces:
// kinetic energy, load factor, element pass, exchange of shared-node forces
// and node update. Output is not part of the loop.
//
// Under mpiexec -n P the block is cut into P slabs along z; every rank holds
// the elements of its slab and the nodes of its layers, and the nodes of each
// interface plane are listed as shared nodes, so that the exchange sums their
// masses and forces as in a partitioned run.
//
// Prints one line of key=value pairs; element-cycles/s counts all elements of
// the block times the timed steps over the slowest rank's loop time.
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "benchutil.hpp"
#include "common.hpp"
#include "control/integration.hpp"
#include "control/timefunction.hpp"
#include "element/corners.hpp"
#include "element/feforce.hpp"
#include "element/geometry.hpp"
#include "element/simd.hpp"
#include "material/catalog.hpp"
#include "material/constitution.hpp"
#include "model/model.hpp"
#include "parallel/commnodes.hpp"

namespace {

struct options {
    int nx = 20, ny = 20, nz = 20;
    std::string mat = "jc";  // a name of benchmaterials
    bool eos = false;
    bool bulk = false;
    int hg = 2;
    double hgcoef = 0.1;
    int steps = 50;
    int warmup = 2;
    double h = 1.0e-3;     // element edge length
    double rate = 1.0e4;   // compression rate: vz = -rate * z
    double shear = 0.1;    // vx = shear * rate * z
    double jitter = 0.05;  // node position perturbation, fraction of h
    bool jaum = true;
    bool midg = false;      // strain increment from the mid-step geometry ("midg on")
    bool stab = false;      // step bounded by the free element's highest frequency ("stab on")
    bool vmis = false;      // von Mises equivalent stress ("vmis on")
    bool cons = false;      // Johnson-Cook returned onto its curve, pla1's strain ("cons on")
    bool math = false;      // the solver's own pow, log and exp ("math on")
    std::string dump;       // write the final state of rank 0 to this file
    std::string simd;       // width of the element pass (HEXDYN_SIMD), or "all" for each in turn
    bool variants = false;  // each width with and without bulk viscosity and the EOS
    int repeat = 1;         // rounds of --variants, best of them reported
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(
        stderr,
        "usage: %s [--size NX NY NZ] [--mat elastic|pp|lin|jc|jcth|plaw|voce] [--eos] [--bulk] "
        "[--hg 0|1|2]\n"
        "          [--hgcoef Q] [--steps N] [--warmup N] [--h LEN] [--rate R]\n"
        "          [--shear S] [--jitter J] [--nojaum] [--midg] [--stab] [--vmis] [--cons] "
        "[--math] [--dump "
        "FILE]\n"
        "          [--simd scalar|sse2|avx2|avx512|all] [--variants [--repeat N]]\n",
        prog);
    std::exit(2);
}

options parse(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) usage(argv[0]);
            return argv[++i];
        };
        if (a == "--size") {
            o.nx = std::atoi(next());
            o.ny = std::atoi(next());
            o.nz = std::atoi(next());
        } else if (a == "--mat") {
            o.mat = next();
        } else if (a == "--eos") {
            o.eos = true;
        } else if (a == "--bulk") {
            o.bulk = true;
        } else if (a == "--hg") {
            o.hg = std::atoi(next());
        } else if (a == "--hgcoef") {
            o.hgcoef = std::atof(next());
        } else if (a == "--steps") {
            o.steps = std::atoi(next());
        } else if (a == "--warmup") {
            o.warmup = std::atoi(next());
        } else if (a == "--h") {
            o.h = std::atof(next());
        } else if (a == "--rate") {
            o.rate = std::atof(next());
        } else if (a == "--shear") {
            o.shear = std::atof(next());
        } else if (a == "--jitter") {
            o.jitter = std::atof(next());
        } else if (a == "--nojaum") {
            o.jaum = false;
        } else if (a == "--midg") {
            o.midg = true;
        } else if (a == "--stab") {
            o.stab = true;
        } else if (a == "--vmis") {
            o.vmis = true;
        } else if (a == "--cons") {
            o.cons = true;
        } else if (a == "--math") {
            o.math = true;
        } else if (a == "--dump") {
            o.dump = next();
        } else if (a == "--simd") {
            o.simd = next();
        } else if (a == "--variants") {
            o.variants = true;
        } else if (a == "--repeat") {
            o.repeat = std::atoi(next());
        } else {
            usage(argv[0]);
        }
    }
    if (o.nx < 1 || o.ny < 1 || o.nz < 1 || o.steps < 0 || o.warmup < 0) usage(argv[0]);
    if (o.simd == "all" && !o.dump.empty()) usage(argv[0]);
    if (o.variants && (!o.dump.empty() || o.repeat < 1)) usage(argv[0]);
    return o;
}

// Deterministic value in [-1, 1) from the global grid position of a node, so
// that every rank perturbs a shared node in the same way.
double noise(std::uint64_t i, std::uint64_t j, std::uint64_t k, std::uint64_t salt) {
    std::uint64_t x = i * 0x9E3779B97F4A7C15ull ^
                      (j + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full ^
                      (k + salt) * 0x165667B19E3779F9ull;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return static_cast<double>(x >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// The benchmark's materials as the records of a "mate" line: the model word
// and its constants in record order (steel; 4340 steel for jcth).
struct benchmaterial {
    const char* name;
    const char* record;
};
constexpr benchmaterial benchmaterials[] = {
    {"elastic", "elas 7850 2e11 0.3"},
    {"pp", "pla1 7850 2e11 0.3 3.5e8"},
    {"lin", "pla2 7850 2e11 0.3 3.5e8 1e9"},
    {"jc", "john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022"},
    {"jcth", "jcth 7850 2e11 0.3 7.92e8 5.1e8 0.26 0.014 1.03 1793 293 477 0.9 1"},
    {"plaw", "plaw 7850 2e11 0.3 3.5e8 2.75e8 0.36"},
    {"voce", "voce 7850 2e11 0.3 3.5e8 2e8 20"},
};

material makematerial(const options& o) {
    // The constants given as a deck would: reals in single precision, widened.
    material m{};
    auto sp = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    const benchmaterial* b = nullptr;
    for (const benchmaterial& c : benchmaterials)
        if (o.mat == c.name) b = &c;
    if (!b) {
        std::fprintf(stderr, "unknown material %s\n", o.mat.c_str());
        std::exit(2);
    }
    const char* at = b->record + 4;
    for (int k = 0; k < catalog::nmodels; ++k)
        if (std::strncmp(b->record, catalog::models[k].word, 4) == 0) m.mtype = k + 1;
    for (const catalog::constant& c : catalog::models[m.mtype - 1].constants) {
        char* end = nullptr;
        m.*c.field = sp(std::strtod(at, &end));
        at = end;
    }
    // The Johnson-Cook material of the earliest benchmarks carried a tangent
    // modulus, which john's return takes into its plastic strain increment;
    // kept so that its dumps compare with those of older builds.
    if (o.mat == "jc") m.tangmod = sp(1.0e9);
    const double q =
        m.young * (1.0 - m.poisson) / ((1.0 + m.poisson) * (1.0 - 2.0 * m.poisson) * m.density);
    m.wavespeed = std::sqrt(q);
    materialdata::bulk = {o.bulk, static_cast<double>(0.06f), static_cast<double>(1.5f)};
    if (o.eos) {
        // Gruneisen parameters of steel: c0, s, gamma0.
        m.etype = 1;
        const double c0 = sp(4569.0), s = sp(1.49), g0 = sp(2.17), rho = m.density;
        m.c1eos = rho * (c0 * c0);
        m.c2eos = rho * (c0 * c0) * (2.0 * s - 1.0);
        m.c3eos = rho * (c0 * c0) * (s - 1.0) * (3.0 * s - 1.0);
        m.c4eos = rho * g0;
    }
    return m;
}

// This rank's slab of the block: element layers [z0, z1), node layers z0..z1.
struct slab {
    int z0, z1;
};

void buildmodel(const options& o, slab s) {
    const int nx = o.nx, ny = o.ny;
    const int px = nx + 1, py = ny + 1;
    const int layers = s.z1 - s.z0 + 1;
    const long long nn = static_cast<long long>(px) * py * layers;
    const long long ne = static_cast<long long>(nx) * ny * (s.z1 - s.z0);
    if (nn > 2147483647LL || ne > 2147483647LL) {
        std::fprintf(stderr, "block too large\n");
        std::exit(2);
    }

    std::snprintf(simulation::title.data(), simulation::title.size(), "element pass benchmark");
    particledata::nb_particle = static_cast<int>(nn);
    const size_t n3 = 3 * static_cast<size_t>(nn);
    particledata::pos.assign(n3, 0.0);
    particledata::vel.assign(n3, 0.0);
    particledata::acc.assign(n3, 0.0);
    particledata::fp.assign(n3, 0.0);
    particledata::mp.assign(static_cast<size_t>(nn), 0.0);

    const double lz = o.nz * o.h;
    auto local = [&](int i, int j, int kz) { return i + px * (j + py * (kz - s.z0)) + 1; };
    for (int kz = s.z0; kz <= s.z1; ++kz)
        for (int j = 0; j < py; ++j)
            for (int i = 0; i < px; ++i) {
                const size_t n = 3 * static_cast<size_t>(local(i, j, kz) - 1);
                const bool inner = i > 0 && i < nx && j > 0 && j < ny && kz > 0 && kz < o.nz;
                double dx = 0.0, dy = 0.0, dz = 0.0;
                if (inner) {
                    dx = o.jitter * o.h * noise(i, j, kz, 1);
                    dy = o.jitter * o.h * noise(i, j, kz, 2);
                    dz = o.jitter * o.h * noise(i, j, kz, 3);
                }
                const double x = i * o.h + dx, y = j * o.h + dy, z = kz * o.h + dz;
                particledata::pos[n] = x;
                particledata::pos[n + 1] = y;
                particledata::pos[n + 2] = z;
                // Compression along z with a shear in x and a little noise that
                // excites the hourglass modes.
                const double vz = -o.rate * z;
                particledata::vel[n] =
                    o.shear * o.rate * (z - 0.5 * lz) + 0.01 * o.rate * o.h * noise(i, j, kz, 4);
                particledata::vel[n + 1] = 0.01 * o.rate * o.h * noise(i, j, kz, 5);
                particledata::vel[n + 2] = vz;
            }

    materialdata::nb_mat = 1;
    materialdata::mat_list.assign(1, makematerial(o));
    materialdata::mat_list_allocated = true;
    materialdata::jaum = o.jaum;
    elementdata::midstep = o.midg;
    simulation::stablestep = o.stab;
    materialdata::vonmises = o.vmis;
    materialdata::consistent = o.cons;
    materialdata::solvermath = o.math;
    materialdata::hourglass.method = o.hg;
    materialdata::hourglass.coef = static_cast<double>(static_cast<float>(o.hgcoef));

    elementdata::nb_element = static_cast<int>(ne);
    elementdata::element_list.assign(static_cast<size_t>(ne), element{});
    elementdata::element_list_allocated = true;
    materialdata::history_list.assign(static_cast<size_t>(ne), history{});
    materialdata::history_allocated = true;
    materialdata::inithistory();

    const material& m = materialdata::mat_list[0];
    const double* pos = particledata::pos.data();
    double* mp = particledata::mp.data();
    size_t e = 0;
    for (int kz = s.z0; kz < s.z1; ++kz)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i, ++e) {
                element& el = elementdata::element_list[e];
                const auto c = benchutil::hex_corners(local, i, j, kz);
                for (int k = 0; k < 8; ++k) el.node[k] = c[k];
                el.mat = 1;
                materialdata::lenhistorylist += 1;
                el.nhistory = materialdata::lenhistorylist;
                history& hs = materialdata::history_list[static_cast<size_t>(el.nhistory - 1)];
                hs.sig_y = m.yield0;
                if (const double material::*t = catalog::models[m.mtype - 1].inittemp)
                    hs.temp = m.*t;
                double xyz[8][3];
                gather_corners(el.node, pos, xyz);
                double vol, ijac[3][3];
                jacobian(xyz, vol, ijac);
                hs.vol0 = vol;
                const double share = vol * m.density * 0.125;
                for (int k = 0; k < 8; ++k) mp[el.node[k] - 1] += share;
            }

    // Load function: constant 1 far beyond the run.
    timefunctiondata::lentmfunction = 2;
    timefunctiondata::tmfunction = {{0.0, 1.0}, {1.0e3, 1.0}};
    timefunctiondata::tmfunction_allocated = true;

    // Shared nodes: one slot per node of every interface plane. Slot
    // (p-1)*plane + q is node q of the plane between slabs p-1 and p.
    using commnodes::myid;
    using commnodes::nprocs;
    const int plane = px * py;
    const int slots = (nprocs - 1) * plane;
    commnodes::ncomde = slots;
    commnodes::mycnode.assign(static_cast<size_t>(slots), 0);
    for (int p = 1; p < nprocs; ++p) {
        // The plane lies at the top of rank p-1 and the bottom of rank p.
        for (int q = 0; q < plane; ++q) {
            const size_t slot = static_cast<size_t>(p - 1) * plane + q;
            const int kz = (myid == p - 1) ? s.z1 : s.z0;
            if (myid == p - 1 || myid == p) {
                const int i = q % px, j = q / px;
                commnodes::mycnode[slot] = local(i, j, kz);
            }
        }
    }
}

// One step of the time loop without output (the model has no contact).
void step() {
    using namespace simulation;
    static contact::surface nocontact;
    advance(nocontact);
    currenttime = currenttime + dtk1;
    istep = istep + 1;
}

void dumpstate(const std::string& file) {
    std::FILE* f = benchutil::open_or_exit(file, "wb");
    auto put = [&](const void* p, size_t n) { std::fwrite(p, 1, n, f); };
    put(particledata::acc.data(), particledata::acc.size() * sizeof(double));
    put(particledata::pos.data(), particledata::pos.size() * sizeof(double));
    put(particledata::vel.data(), particledata::vel.size() * sizeof(double));
    put(particledata::mp.data(), particledata::mp.size() * sizeof(double));
    // The fields of the record up to the internal energy, so that dumps
    // compare with those of builds whose records end there; then the bulk
    // viscosity and temperature of every record when bulk viscosity is on.
    for (const history& h : materialdata::history_list) put(&h, offsetof(history, q));
    if (materialdata::bulk.on || catalog::models[materialdata::mat_list[0].mtype - 1].inittemp)
        for (const history& h : materialdata::history_list) {
            put(&h.q, sizeof h.q);
            put(&h.temp, sizeof h.temp);
        }
    const double s[6] = {simulation::currenttime, simulation::dtk1,
                         simulation::dtk1old,     simulation::engstrain,
                         simulation::engkinetic,  elementdata::eledistortion};
    put(s, sizeof s);
    std::fclose(f);
}

// One timed run of the block; returns the element-cycles per CPU-second
// (rank 0).
double runone(const options& o) {
    using commnodes::myid;
    using commnodes::nprocs;
    if (o.nz < nprocs) {
        if (myid == 0) std::fprintf(stderr, "need nz >= number of processes\n");
        std::exit(2);
    }
    const slab s{static_cast<int>(static_cast<long long>(o.nz) * myid / nprocs),
                 static_cast<int>(static_cast<long long>(o.nz) * (myid + 1) / nprocs)};
    buildmodel(o, s);

    for (int i = 0; i < o.warmup; ++i) step();

    std::vector<double> steptime(static_cast<size_t>(o.steps));
    MPI_Barrier(MPI_COMM_WORLD);
    const double c0 = benchutil::cpu();
    const double t0 = benchutil::wall();
    double tprev = t0;
    for (int i = 0; i < o.steps; ++i) {
        step();
        const double t = benchutil::wall();
        steptime[static_cast<size_t>(i)] = t - tprev;
        tprev = t;
    }
    const double mytime = tprev - t0;
    const double mycpu = benchutil::cpu() - c0;
    const double mybest = o.steps > 0 ? *std::min_element(steptime.begin(), steptime.end()) : 0.0;

    // The slowest rank decides; its loop time holds the waits in the exchange.
    double loop = 0.0, best = 0.0, cpu = 0.0;
    MPI_Allreduce(&mytime, &loop, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    MPI_Allreduce(&mybest, &best, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    MPI_Allreduce(&mycpu, &cpu, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);

    long long myplastic = 0;
    for (const history& h : materialdata::history_list)
        if (h.epeff > 0.0) ++myplastic;
    long long plastic = 0;
    MPI_Allreduce(&myplastic, &plastic, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);

    // Memory: peak resident set of the largest rank per element of that rank.
    const double mybpe = benchutil::peak_rss_bytes() / std::max(1, elementdata::nb_element);
    double bpe = 0.0;
    MPI_Allreduce(&mybpe, &bpe, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);

    if (!o.dump.empty() && myid == 0) dumpstate(o.dump);

    const double total = static_cast<double>(o.nx) * o.ny * o.nz;
    const double ecps_cpu = cpu > 0.0 ? total * o.steps / cpu / nprocs : 0.0;
    if (myid == 0) {
        const double ecps = loop > 0.0 ? total * o.steps / loop : 0.0;
        const double ecps_best = best > 0.0 ? total / best : 0.0;
        std::printf(
            "element_pass procs=%d simd=%s size=%dx%dx%d elements=%.0f nodes_rank0=%d mat=%s%s "
            "hg=%d steps=%d "
            "warmup=%d loop_s=%.6f ecps=%.0f ecps_per_proc=%.0f ecps_beststep=%.0f "
            "ecps_per_cpu_s=%.0f "
            "bytes_per_element=%.1f "
            "plastic_fraction=%.3f dt=%.4e\n",
            nprocs, simd::name(simd::fromenvironment()), o.nx, o.ny, o.nz, total,
            particledata::nb_particle, o.mat.c_str(),
            o.eos ? (o.bulk ? "+eos+bulk" : "+eos") : (o.bulk ? "+bulk" : ""), o.hg, o.steps,
            o.warmup, loop, ecps, ecps / nprocs, ecps_best, ecps_cpu, bpe,
            total > 0 ? static_cast<double>(plastic) / total : 0.0, simulation::dtk1);
    }
    return ecps_cpu;
}

// The widths to run: the one named (or the widest), or every supported one.
std::vector<simd::width> widthsof(const options& o) {
    std::vector<simd::width> ws;
    for (simd::width w :
         {simd::width::scalar, simd::width::sse2, simd::width::avx2, simd::width::avx512}) {
        if (!simd::supported(w)) continue;
        if (o.simd == "all" || o.simd == simd::name(w)) ws.push_back(w);
    }
    if (ws.empty() && o.simd.empty()) ws.push_back(simd::widest());
    return ws;
}

// --variants: the block without bulk viscosity, with it, with the equation of
// state, and with both, at every width asked for, one run after the other in
// rounds (so that the four share the machine's load); the best of the rounds
// per case, and the cost of bulk viscosity as the ratio of the times per
// step (plain over bulk, and EOS over EOS with bulk; 1.00 = no extra cost).
int runvariants(const options& o) {
    if (!o.simd.empty() && o.simd != "all") {
        setenv("HEXDYN_SIMD", o.simd.c_str(), 1);
        simd::fromenvironment();  // refuses a width this processor lacks
    }
    const std::vector<simd::width> ws = widthsof(o);
    constexpr int ncase = 4;
    const char* const casename[ncase] = {"plain", "bulk", "eos", "eos_bulk"};
    std::vector<double> best(ws.size() * ncase, 0.0);
    for (int r = 0; r < o.repeat; ++r)
        for (size_t i = 0; i < ws.size(); ++i)
            for (int c = 0; c < ncase; ++c) {
                options oc = o;
                oc.bulk = c == 1 || c == 3;
                oc.eos = c >= 2;
                setenv("HEXDYN_SIMD", simd::name(ws[i]), 1);
                model::reset();
                MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
                MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
                const double ecps = runone(oc);
                best[i * ncase + c] = std::max(best[i * ncase + c], ecps);
            }
    if (commnodes::myid != 0) return 0;
    for (size_t i = 0; i < ws.size(); ++i) {
        const double* b = &best[i * ncase];
        std::printf("variants_ecps_per_cpu_s simd=%s mat=%s hg=%d rounds=%d", simd::name(ws[i]),
                    o.mat.c_str(), o.hg, o.repeat);
        for (int c = 0; c < ncase; ++c) std::printf(" %s=%.0f", casename[c], b[c]);
        std::printf(" time_ratio_bulk=%.3f time_ratio_eos_bulk=%.3f\n",
                    b[1] > 0.0 ? b[0] / b[1] : 0.0, b[3] > 0.0 ? b[2] / b[3] : 0.0);
    }
    return 0;
}

int run(const options& o) {
    if (o.variants) return runvariants(o);
    if (o.simd.empty()) {
        runone(o);
        return 0;
    }
    if (o.simd != "all") {
        setenv("HEXDYN_SIMD", o.simd.c_str(), 1);
        simd::fromenvironment();  // refuses a width this processor lacks
        runone(o);
        return 0;
    }
    // Every width the processor supports on the same block, one after the
    // other, each from a freshly built model; then the speed-ups over the
    // scalar path per CPU-second.
    std::string summary;
    double scalar = 0.0;
    for (simd::width w :
         {simd::width::scalar, simd::width::sse2, simd::width::avx2, simd::width::avx512}) {
        if (!simd::supported(w)) continue;
        setenv("HEXDYN_SIMD", simd::name(w), 1);
        model::reset();
        MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
        MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
        const double ecps = runone(o);
        if (w == simd::width::scalar) scalar = ecps;
        char item[96];
        std::snprintf(item, sizeof item, " %s=%.0f speedup_%s=%.2f", simd::name(w), ecps,
                      simd::name(w), scalar > 0.0 ? ecps / scalar : 0.0);
        summary += item;
    }
    if (commnodes::myid == 0) std::printf("simd_ecps_per_cpu_s%s\n", summary.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchutil::start(&argc, &argv);
    const options o = parse(argc, argv);
    return benchutil::finish([&] { return run(o); });
}
