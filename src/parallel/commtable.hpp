// The text of "Comm", the table of shared nodes, without MPI: the solver
// reads it at start-up and the partition tool writes it. Two layouts exist.
//
// Dense (the original layout). First record: the number of slots (one per
// shared node; the rest of the line is ignored). Then, for each process in
// order, its row: the local number of its copy of each slot's node, 0 where
// it holds none. Numbers are separated by blanks or commas; a row may run
// over several lines, and what follows the last number of a row on its line
// is ignored. Its size is processes x slots.
//
// Sparse. The first word of the file is "sparse", which no dense table can
// start with (its first item is an integer), followed by the process count.
// Then one section per process, in process order: a line "process P
// neighbours N", and for each of its N neighbours, in increasing process
// number, a line "with Q nodes M" followed by the M local node numbers of P
// that P shares with Q (any number per line). The i-th node of P's list for
// Q and the i-th node of Q's list for P are the same node. Its size grows
// with the shared entries only.
//
//     sparse 3
//     process 0 neighbours 1
//     with 1 nodes 3
//     7 8 9
//     process 1 neighbours 2
//     with 0 nodes 3
//     1 2 3
//     with 2 nodes 1
//     3
//     process 2 neighbours 1
//     with 1 nodes 1
//     4
//
// A process keeps only its own part: its row of a dense table, or its own
// section of a sparse one.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace commnodes {

// The nodes one process shares, per neighbour.
struct Neighbours {
    std::vector<int> proc;   // neighbour processes, increasing
    std::vector<int> start;  // proc.size()+1 offsets: entries of proc[i] are start[i]..start[i+1]-1
    std::vector<int> node;   // local node number of each entry
};

// What a process reads of "Comm".
struct CommPart {
    bool sparse = false;
    int ncomde = 0;         // dense: slot count as given; below 1 means no slots
    std::vector<int> row;   // dense: this process's row (ncomde values)
    std::vector<int> line;  // line of the file of each value of `row`, or of each entry
    Neighbours neighbours;  // sparse: this process's section
};

// Reads the part of process `myid` of a table for `nprocs` processes.
// Returns an empty string, or the description of the first fault ("line 3:
// \"x\" is not an integer"). A table written for another process count is a
// fault that names both counts.
std::string readcommpart(std::istream& in, int nprocs, int myid, CommPart& part);

// The text of a dense table: the slot count, then the row of each process,
// 20 numbers to a line (an empty line when the row is empty).
std::string commtext(int ncomde, const std::vector<std::vector<int>>& rows);
// One row of a dense table as `commtext` writes it.
std::string commrowtext(const std::vector<int>& row);

// The text of a sparse table: the first line, then the section of each
// process (20 node numbers to a line).
std::string sparseheadtext(int nprocs);
std::string sparsesectiontext(int process, const Neighbours& n);

}  // namespace commnodes
