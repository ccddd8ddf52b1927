// Setup shared by the benchmarks: MPI start and end around a run, the
// scratch directory, files opened for writing, and the corner numbers of
// the hexahedra of a block.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace benchutil {

// Starts MPI and sets the process number and count the solver's exchange
// uses (commnodes::myid, commnodes::nprocs).
void start(int* argc, char*** argv);

// Runs `run` and ends MPI; returns its exit status. A stop of the solver ends
// the process with the stop's status, as in the solver.
int finish(const std::function<int()>& run);

// The scratch directory: `dir` when given, else hexdyn-bench-<tag>-<pid> in
// the system temporary directory; created with its parents.
std::filesystem::path scratch_dir(const std::string& dir, const std::string& tag);

// Takes argument i (and its value) when it is one of the options of the
// benchmarks that work in a scratch directory: --n N (elements per edge),
// --dir SCRATCH, --keep (the scratch directory stays). Returns false for any
// other argument, and for --n or --dir without a value.
bool scratch_option(int argc, char** argv, int& i, int& n, std::string& dir, bool& keep);

// Opens `file` with `mode`, or ends the process with status 1 and
// "cannot write FILE".
std::FILE* open_or_exit(const std::string& file, const char* mode);

// "cannot write FILE" and status 1.
[[noreturn]] void cannot_write(const std::string& file);

// Node numbers of the 8 corners of cell (i, j, k) of a block whose node
// (i, j, k) has the number id(i, j, k), in the element's corner order: the
// face at k counter-clockwise from (i, j), then the face at k + 1.
template <class Id>
auto hex_corners(Id id, int i, int j, int k) {
    using N = decltype(id(i, j, k));
    return std::array<N, 8>{
        id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
        id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
}

}  // namespace benchutil
