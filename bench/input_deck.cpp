// Input deck throughput.
//
// Writes the deck of an n x n x n block (n = 100: 10^6 elements, 1,030,301
// nodes) and a "Comm" file without shared nodes into a scratch directory,
// then reads it in-process with datain::inputpara and reports deck lines per
// second. Generating the deck is not timed; reading includes the echo file
// that the reader writes line by line.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "benchutil.hpp"
#include "common.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/model.hpp"

namespace {

struct options {
    int n = 100;
    std::string dir;
    bool keep = false;
};

[[noreturn]] void usage(const char* prog) {
    std::fprintf(stderr, "usage: %s [--n ELEMENTS_PER_EDGE] [--dir SCRATCH] [--keep]\n", prog);
    std::exit(2);
}

// Writes the deck; returns its number of lines.
long long writedeck(const std::string& file, int n) {
    std::FILE* f = benchutil::open_or_exit(file, "w");
    static char buf[1 << 20];
    std::setvbuf(f, buf, _IOFBF, sizeof buf);
    const int p = n + 1;
    const long long nn = static_cast<long long>(p) * p * p;
    const long long ne = static_cast<long long>(n) * n * n;
    long long lines = 0;
    auto line = [&](const char* text) {
        std::fputs(text, f);
        std::fputc('\n', f);
        ++lines;
    };
    char s[256];
    line("! block of hexahedra for the input benchmark");
    line("sovr input benchmark block");
    std::snprintf(s, sizeof s, "nbmp %lld", nn);
    line(s);
    std::snprintf(s, sizeof s, "nbel %lld", ne);
    line(s);
    line("nmat 1");
    line("mate");
    line("1 john 7850 2.0e11 0.3 3.5e8 2.75e8 0.36 0.022");
    line("hour 2 0.1");
    line("endt 1.0e-5");
    line("outt 1.0e-6");
    line("repo 100");
    line("time 2 0.0 1.0 1.0 1.0");
    line("part");
    const double h = 1.0e-3;
    long long k = 0;
    for (int z = 0; z < p; ++z)
        for (int y = 0; y < p; ++y)
            for (int x = 0; x < p; ++x) {
                ++k;
                std::snprintf(s, sizeof s, "%lld 0 %.6g %.6g %.6g", k, x * h, y * h, z * h);
                line(s);
            }
    line("elem");
    auto id = [p](long long i, long long j, long long kz) { return i + p * (j + p * kz) + 1; };
    long long e = 0;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                ++e;
                const auto c = benchutil::hex_corners(id, x, y, z);
                std::snprintf(s, sizeof s, "%lld 1 %lld %lld %lld %lld %lld %lld %lld %lld", e,
                              c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
                line(s);
            }
    line("velo");
    line("node 1 0.0 0.0 -1.0");
    line("endv");
    line("endi");
    if (std::fclose(f) != 0) benchutil::cannot_write(file);
    return lines;
}

int run(const options& o) {
    namespace fs = std::filesystem;
    const fs::path dir = benchutil::scratch_dir(o.dir, "input");
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    {
        std::FILE* c = std::fopen("Comm", "w");
        std::fputs("0\n\n", c);
        std::fclose(c);
    }
    const long long lines = writedeck("a", o.n);
    const long long deckbytes = static_cast<long long>(fs::file_size("a"));

    // The reader's "nb_... =" lines go to standard output; keep ours apart.
    std::fflush(stdout);
    const double c0 = benchutil::cpu();
    const double t0 = benchutil::wall();
    datain::inputpara();
    const double t1 = benchutil::wall();
    const double c1 = benchutil::cpu();
    ffi::closefiles();
    const double t2 = benchutil::wall();
    const double read = t1 - t0;
    const double readcpu = c1 - c0;
    const double close = t2 - t1;
    const long long echobytes = static_cast<long long>(fs::file_size("asovra.rst"));

    fs::current_path(old);
    if (!o.keep) fs::remove_all(dir);
    const double dlines = static_cast<double>(lines);
    std::printf(
        "input_deck elements=%d nodes=%d deck_lines=%lld deck_bytes=%lld echo_bytes=%lld "
        "inputpara_s=%.3f "
        "inputpara_cpu_s=%.3f close_s=%.3f lines_per_s=%.0f lines_per_cpu_s=%.0f "
        "lines_per_s_with_close=%.0f\n",
        elementdata::nb_element, particledata::nb_particle, lines, deckbytes, echobytes, read,
        readcpu, close, read > 0.0 ? dlines / read : 0.0, readcpu > 0.0 ? dlines / readcpu : 0.0,
        read + close > 0.0 ? dlines / (read + close) : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchutil::start(&argc, &argv);
    options o;
    for (int i = 1; i < argc; ++i)
        if (!benchutil::scratch_option(argc, argv, i, o.n, o.dir, o.keep)) usage(argv[0]);
    if (o.n < 1) usage(argv[0]);
    return benchutil::finish([&] { return run(o); });
}
