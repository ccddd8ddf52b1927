// Readers of the run's own result files for the tests: the energy balance
// (energy.dat) and the field output (field.pvd, its .pvtu frames and their
// binary .vtu pieces).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace testutil {

// The records of energy.dat, without its header.
std::vector<std::vector<double>> energy_rows(const fs::path& file);

// The column of energy.dat named `name` in its header line; -1 when absent.
int energy_column(const fs::path& file, const std::string& name);

// The bytes of array `name` of a field piece: its appended data is a UInt64
// header (blocks, block size, size of the last block, compressed sizes),
// then the zlib streams of the blocks. Empty when the piece has no such
// array or a block does not inflate.
std::string field_bytes(const std::string& vtu, const std::string& name);

template <class T>
std::vector<T> field_array(const std::string& vtu, const std::string& name) {
    const std::string raw = field_bytes(vtu, name);
    std::vector<T> v(raw.size() / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), raw.data(), v.size() * sizeof(T));
    return v;
}

// A frame of field.pvd: its time and the .vtu pieces of the processes.
struct FieldFrame {
    double time;
    std::vector<fs::path> pieces;
};
// The frames listed in `dir`/field.pvd, in order.
std::vector<FieldFrame> field_frames(const fs::path& dir);

// A frame joined over its pieces by the whole-model numbers of nodes and
// elements (deck numbers on one process): positions by node, the cell
// arrays asked for by element. Entries of numbers no piece holds stay 0.
struct JoinedFrame {
    double time = 0.0;
    std::vector<Point3> x;                  // [node - 1]
    std::vector<std::vector<float>> cells;  // [array][element - 1]
};
JoinedFrame join_frame(const FieldFrame& frame, int nodes, int elements,
                       const std::vector<std::string>& cell_arrays);

}  // namespace testutil
