// The VTK XML files of the export: one unstructured grid of hexahedra per
// output time and the collection that lists them with their times.
#pragma once

#include <filesystem>
#include <vector>

namespace exporting {

namespace fs = std::filesystem;

// The merged mesh: global nodes as points, global elements as cells.
struct GlobalMesh {
    long long nodes = 0;
    std::vector<long long> node_id;       // global node number of each point (1-based)
    std::vector<long long> connectivity;  // 8 per cell, 0-based point indices
    std::vector<int> cell_process;
    std::vector<long long> cell_id;  // global element number of each cell (1-based)
};

// One output time: the point field "displacement" (xyz - ref), "node",
// the cell fields "process" and "element", the points and the cells.
// Binary: every array zlib-compressed and appended after the XML part
// (displacement in Float32, which carries the 7 digits the text gives it;
// points Float64, numbers Int64/Int32 as in the text), no active vectors.
// `ascii`: every array written out as text inside its tag.
void write_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
               const std::vector<double>& ref, double time, bool ascii);

// The .pvd collection of the .vtu files with their times, written through a
// temporary file so that it appears only complete. The files are named by
// their paths relative to the collection's folder.
void write_pvd(const fs::path& file, const std::vector<fs::path>& vtu,
               const std::vector<double>& times);

}  // namespace exporting
