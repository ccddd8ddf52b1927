#include "testutil.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testutil {

TempDir::TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0;; ++attempt) {
        fs::path p = base / ("hexdyn-" + tag + "-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p;
            break;
        }
        if (attempt > 1000) throw std::runtime_error("cannot create a temporary directory");
    }
}

TempDir::~TempDir() {
    if (std::getenv("HEXDYN_KEEP_TEST_DIRS")) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

InDir::InDir(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
InDir::~InDir() {
    std::error_code ec;
    fs::current_path(old_, ec);
}

void write_file(const fs::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_single_run(const fs::path& dir, const std::string& deck) {
    write_file(dir / "Comm", "0\n\n");
    write_file(dir / "a", deck);
}

RunResult run_command(const std::string& command, const fs::path& dir, int timeout_s) {
    // `timeout` ends the whole process group of the command after the limit.
    std::string full = "cd '" + dir.string() + "' && timeout -k 5 " + std::to_string(timeout_s) +
                       " sh -c '" + command + "' 2>&1";
    RunResult r{-1, false, {}};
    std::FILE* p = ::popen(full.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = ::pclose(p);
    if (WIFEXITED(st)) {
        r.status = WEXITSTATUS(st);
        r.timed_out = r.status == 124 || r.status == 137;
    }
    return r;
}

std::string exe(const std::string& name) { return std::string(HEXDYN_BINARY_DIR) + "/" + name; }

std::string mpiexec() { return HEXDYN_MPIEXEC; }

RunResult run_hexdyn(const fs::path& dir, int nprocs, int timeout_s) {
    return run_command(mpiexec() + " -n " + std::to_string(nprocs) + " " + exe("hexdyn"), dir,
                       timeout_s);
}

}  // namespace testutil
