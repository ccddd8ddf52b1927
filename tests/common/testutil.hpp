// Helpers shared by the unit and end-to-end tests: temporary working
// directories, files, and running the solver under the MPI launcher.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

// A fresh directory under the system temporary directory, removed on
// destruction unless HEXDYN_KEEP_TEST_DIRS is set.
class TempDir {
  public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Changes the working directory for the lifetime of the object.
class InDir {
  public:
    explicit InDir(const fs::path& dir);
    ~InDir();

  private:
    fs::path old_;
};

void write_file(const fs::path& file, const std::string& content);
std::string read_file(const fs::path& file);

// Writes the input of a single-process run into `dir`: a "Comm" file without
// shared nodes and `deck` as deck "a".
void write_single_run(const fs::path& dir, const std::string& deck);

struct RunResult {
    int status;       // exit status of the command (-1 when it could not run)
    bool timed_out;   // killed after the time limit
    std::string out;  // standard output and standard error, interleaved
};

// Runs a shell command in `dir`, capturing its output, killing it after
// `timeout_s` seconds.
RunResult run_command(const std::string& command, const fs::path& dir, int timeout_s = 120);

// Runs the solver with `nprocs` processes in `dir` (which holds "Comm" and the decks).
RunResult run_hexdyn(const fs::path& dir, int nprocs = 1, int timeout_s = 120);

// Path of a built executable of this project (hexdyn, hexdyn-mesh, ...).
std::string exe(const std::string& name);
// The MPI launcher.
std::string mpiexec();

// ---- result files
using Point3 = std::array<double, 3>;
// A number of the result files: D or E exponent letter, or a three-digit
// exponent that replaced the letter ("0.123456-100").
double parse_number(std::string t);
// The curve file: one row per output time, column 0 the time, then the
// curves in the order of their "curv" records.
std::vector<std::vector<double>> curve_rows(const fs::path& file);
// The records of a table file process 0 writes (energy.dat, forces.dat,
// walls.dat, rigid.dat): its '#' column line left out; a row without one number
// per named column throws.
std::vector<std::vector<double>> table_rows(const fs::path& file);
struct AnimZone {
    double time;
    std::vector<Point3> pos;
};
// The animation file: the node coordinates of every zone.
std::vector<AnimZone> anim_zones(const fs::path& file);

}  // namespace testutil
