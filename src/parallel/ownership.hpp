// Which process counts a shared node in global sums: the lowest-numbered
// process that holds a copy of it. Derived once from the shared-node table
// (collective over all processes for a dense table).
#pragma once

#include <vector>

namespace commnodes {

// Per local node of this process: 1.0 where it counts the node, 0.0 where a
// lower-numbered process holds a copy too.
std::vector<double> ownednodes();

}  // namespace commnodes
