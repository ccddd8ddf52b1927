#include "common.hpp"

#include <mpi.h>
#include <unistd.h>

#include <cstdlib>

#include "control/process.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

namespace benchutil {

void start(int* argc, char*** argv) {
    MPI_Init(argc, argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
    MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
}

int finish(const std::function<int()>& run) {
    int rc = 0;
    try {
        rc = run();
    } catch (const errorstop::stop_exception& s) { process::terminate(s.status); }
    std::fflush(stdout);
    MPI_Finalize();
    return rc;
}

std::filesystem::path scratch_dir(const std::string& dir, const std::string& tag) {
    namespace fs = std::filesystem;
    const fs::path p = dir.empty() ? fs::temp_directory_path() /
                                         ("hexdyn-bench-" + tag + "-" + std::to_string(getpid()))
                                   : fs::path(dir);
    fs::create_directories(p);
    return p;
}

bool scratch_option(int argc, char** argv, int& i, int& n, std::string& dir, bool& keep) {
    const std::string a = argv[i];
    if (a == "--n" && i + 1 < argc)
        n = std::atoi(argv[++i]);
    else if (a == "--dir" && i + 1 < argc)
        dir = argv[++i];
    else if (a == "--keep")
        keep = true;
    else
        return false;
    return true;
}

void cannot_write(const std::string& file) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    std::exit(1);
}

std::FILE* open_or_exit(const std::string& file, const char* mode) {
    std::FILE* f = std::fopen(file.c_str(), mode);
    if (!f) cannot_write(file);
    return f;
}

}  // namespace benchutil
