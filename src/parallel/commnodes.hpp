// Nodes shared between processes and the per-step exchange.
//
// "Comm" pairs the copies of shared nodes (parallel/commtable.hpp gives its
// two layouts). Each step the forces of all copies of a shared node are
// summed (on the first step also the masses), and all processes agree on the
// smallest time step.
//
// A dense table (one slot per shared node of the whole model) is summed by
// one all-reduce over every slot, as it always was. A sparse table (per
// neighbour the list of nodes shared with it) is exchanged with the
// neighbours only: each process sends its values of the nodes it shares with
// a neighbour to that neighbour, and forms the sum at each shared node from
// its own and the received values in increasing process number, the same
// order on every process holding the node. The sums then depend neither on
// the MPI library's reduction algorithm nor on the run.
#pragma once

#include <string>
#include <vector>

#include "parallel/deckname.hpp"

namespace commnodes {

// Reads this process's part of "Comm" and sets the name of its deck.
void readcomnode();

// Stops the run when this process's part of "Comm" names a node outside
// 1..nb_particle (0 marks an absent copy in a dense table), giving the line
// of the file; prepares the order of the sums (called once the deck has been
// read).
void checkcomnode();

// Sparse table: stops the whole job when two neighbours disagree on the
// number of nodes they share, or when paired copies lie at different places
// (the lists do not pair the same nodes). Collective over all processes;
// called after checkcomnode.
void matchneighbours();

// With the whole-model numbers of the decks ("glob"): stops the whole job
// when the copies of a shared node carry different global numbers or lie at
// coordinates that are not bit for bit the same (the decks were not written
// together), or when some decks have the numbers and others do not. Compares
// only the shared nodes, through the exchange of the table; nothing to do
// with a dense table without slots. Collective over all processes; called
// once the deck has been read, after matchneighbours.
void matchglobal();

void updateforce(int istep, double& value);

// The same, with `n` more values that ride on the reduction of the step:
// each process passes its own in `largest` and gets back the largest over
// the job, so that what every step has to agree on (has some process eroded
// an element, how far have the surface nodes moved) costs no collective of
// its own. At most 8 values.
void updateforce(int istep, double& value, double* largest, int n);

// Replaces the `width` values of every shared node in `val` (width per
// node) by their sums over all its copies (collective over all processes;
// nothing to do on one).
void sumcopies(std::vector<double>& val, int width);

}  // namespace commnodes
