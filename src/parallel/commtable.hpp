// The text of "Comm", the table of shared nodes, without MPI: the solver
// reads it at start-up and the partition tool writes it.
//
// First record: the number of slots (one per shared node; the rest of the
// line is ignored). Then, for each process in order, its row: the local
// number of its copy of each slot's node, 0 where it holds none. Numbers are
// separated by blanks or commas; a row may run over several lines, and what
// follows the last number of a row on its line is ignored.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace commnodes {

struct CommTable {
    int ncomde = 0;            // slot count as given; below 1 means no slots
    std::vector<int> comnode;  // comnode[p * slots + j]: slot j of process p
};

// Reads the table of `nprocs` processes. Returns an empty string, or the
// description of the first fault ("line 3: \"x\" is not an integer").
std::string readcommtable(std::istream& in, int nprocs, CommTable& table);

// The text of the table: the slot count, then the row of each process, 20
// numbers to a line (an empty line when the row is empty).
std::string commtext(int ncomde, const std::vector<std::vector<int>>& rows);

}  // namespace commnodes
