// Division of a one-process deck into the decks of several processes, the
// table of shared nodes ("Comm") and the map that ties local numbers back to
// global ones.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "formats/deck.hpp"
#include "formats/map.hpp"
#include "parallel/commtable.hpp"

namespace partition {

namespace fs = std::filesystem;

struct Partition {
    int nprocs = 0;
    std::vector<formats::Deck> decks;              // deck of process p
    std::vector<std::vector<int>> node_global;     // local node -> global node, per process
    std::vector<std::vector<int>> element_global;  // local element -> global element, per process
    int ncomde = 0;                                // shared nodes (slots of a dense "Comm")
    // Per process, per neighbour, the local numbers of the nodes they share, in
    // increasing global node order (so that the two lists of a pair match).
    std::vector<commnodes::Neighbours> neighbours;
    std::vector<int> slot;  // global node - 1 -> slot of a dense "Comm" (0-based), -1 if not shared
};

// Element dual graph in compressed rows: elements (0-based) are neighbours
// when they share a face (four corner nodes).
struct Graph {
    std::vector<int> xadj, adjncy;
};
Graph face_graph(const formats::Deck& deck);

// Largest and smallest element count a process may have: within 3% of the
// mean, widened to the nearest integers when the mesh is too small for that.
int balance_upper(int nelements, int nprocs);
int balance_lower(int nelements, int nprocs);

// Moves elements (preferring faces between neighbouring parts) until every
// process has between balance_lower and balance_upper elements, so in
// particular none is empty. `part` holds the process (0..nprocs-1) of each
// element. Returns the number of elements moved.
int rebalance(const Graph& graph, std::vector<int>& part, int nprocs);

// Builds the process decks. Every element goes to the process `part` names;
// a process holds the nodes of its elements (nodes of no element go to
// process 0). Run control, materials, equation of state and time table go to
// every deck; components keep their members that the process holds and are
// renumbered, in order, among those with members there; load and velocity
// records are kept where their node or component is present, and a load
// acting on a shared node is cancelled ("node k 0 0 0") in every deck but the
// one of the lowest process holding the node, since the solver adds the
// loads of all copies; element curves go to the process of their element,
// node curves to the lowest process holding the node (with its local
// number), energy curves to every process. A contact block goes unchanged to
// every process, whose deck then also holds its global numbers ("glob").
Partition split_deck(const formats::Deck& global, const std::vector<int>& part, int nprocs);

// The text of "Comm" for the partition: sparse (per neighbour), or the
// dense table of every slot on every process.
std::string comm_text(const Partition& p);
std::string dense_comm_text(const Partition& p);

// The map of the partition: deck names and global numbers of every process.
formats::Map map_of(const Partition& p, int global_nodes, int global_elements);

// Deck files an earlier partition left in `dir` that a partition into
// `nprocs` processes would not replace: `stale` holds those of processes
// nprocs and beyond of the partition the folder's hexdyn.map records (the
// tool wrote them, so it removes them); `foreign` holds files named as the
// decks of processes nprocs, nprocs + 1, ... that no readable map accounts
// for (left alone, with a warning). `input`, the deck being divided, is in
// neither.
struct StaleDecks {
    std::vector<fs::path> stale, foreign;
    int earlier = 0;  // process count of the map found (0: none readable)
};
StaleDecks stale_decks(const fs::path& dir, int nprocs, const fs::path& input);

}  // namespace partition
