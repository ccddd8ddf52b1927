#include "testutil.hpp"

#include <unistd.h>

#include <array>
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

// A number of the result files: D or E exponent letter, or a three-digit
// exponent that replaced the letter ("0.123456-100").
double parse_number(std::string t) {
    for (char& c : t)
        if (c == 'D' || c == 'd') c = 'E';
    if (t.find('E') == std::string::npos) {
        const size_t p = t.find_first_of("+-", 1);
        if (p != std::string::npos) t = t.substr(0, p) + "E" + t.substr(p);
    }
    return std::stod(t);
}

// The curve file: one row per output time, column 0 the time, then the curves
// in the order of their "curv" records.
std::vector<std::vector<double>> curve_rows(const fs::path& file) {
    std::istringstream in(read_file(file));
    std::vector<std::vector<double>> rows;
    std::string line;
    for (int i = 0; i < 3 && std::getline(in, line); ++i) {}
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<double> row;
        std::string t;
        while (ls >> t) row.push_back(parse_number(t));
        if (!row.empty()) rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::vector<double>> table_rows(const fs::path& file) {
    std::istringstream in(read_file(file));
    std::vector<std::vector<double>> rows;
    std::size_t columns = 0;  // the names on the '#' line, its '#' left out
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        if (!line.empty() && line[0] == '#') {
            columns = 0;
            for (std::string w; words >> w;) columns += w != "#";
            continue;
        }
        if (line.empty()) continue;
        std::vector<double> row;
        for (std::string w; words >> w;) row.push_back(parse_number(w));
        // A row that does not hold one number per named column is a broken
        // file (say, two columns run together), not something to index.
        if (row.size() != columns)
            throw std::runtime_error(file.string() + ": " + std::to_string(row.size()) +
                                     " numbers under " + std::to_string(columns) +
                                     " column names in \"" + line + "\"");
        rows.push_back(std::move(row));
    }
    return rows;
}

// The animation file: the node coordinates of every zone.
std::vector<AnimZone> anim_zones(const fs::path& file) {
    std::istringstream in(read_file(file));
    std::vector<AnimZone> zones;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ZONE", 0) != 0) continue;
        AnimZone z;
        const size_t t = line.find("Time =");
        z.time = parse_number(line.substr(t + 6, 12));
        const int n = std::stoi(line.substr(line.find("N=") + 2));
        z.pos.resize(static_cast<size_t>(n));
        for (Point3& p : z.pos) {
            std::getline(in, line);
            std::istringstream ls(line);
            std::string a, b, c;
            ls >> a >> b >> c;
            p = {parse_number(a), parse_number(b), parse_number(c)};
        }
        zones.push_back(std::move(z));
    }
    return zones;
}

}  // namespace testutil
