// The map file, written by the partition tool and read by the export: ties
// the numbering of every process back to the global mesh.
//
//   hexdyn-map 1
//   nprocs <N> nodes <global node count> elements <global element count>
//   then for p = 0..N-1:
//   proc <p> deck <name> nodes <n_p> elements <e_p>
//   <global number of local node 1> ... (n_p lines)
//   <global number of local element 1> ... (e_p lines)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/lines.hpp"

namespace formats {

struct MapProcess {
    int id = 0;
    std::string deck;
    std::vector<long long> node_global;     // local node k (0-based) -> global number (1-based)
    std::vector<long long> element_global;  // local element e (0-based) -> global number (1-based)
};

struct Map {
    long long nodes = 0;
    long long elements = 0;
    std::vector<MapProcess> procs;
};

// Reads and checks a map file: format line, counts, one block per process in
// order, numbers in range, no node repeated within a process, every global
// node held by at least one process and every global element by exactly one.
// Counts are checked against what the rest of the file can hold before
// anything is allocated for them.
Map read_map(const fs::path& file);
// The same for a map held in memory, named `name` in messages.
Map read_map_text(std::string_view text, const std::string& name);

// The text of a map; read_map reads it back to the same map.
std::string map_text(const Map& map);

}  // namespace formats
