// Division of a one-process deck into the decks of several processes, the
// shared-node file "Comm" and the map file that ties local numbers back to
// global ones.
//
// Map file (text):
//   hexdyn-map 1
//   nprocs <N> nodes <global node count> elements <global element count>
//   then for p = 0..N-1:
//   proc <p> deck <name> nodes <n_p> elements <e_p>
//   <global number of local node 1> ... (n_p lines)
//   <global number of local element 1> ... (e_p lines)
#pragma once

#include <string>
#include <vector>

#include "deck.hpp"

namespace toolsplit {

struct Partition {
    int nprocs = 0;
    std::vector<tooldeck::Deck> decks;                 // deck of process p
    std::vector<std::vector<int>> node_global;         // local node -> global node, per process
    std::vector<std::vector<int>> element_global;      // local element -> global element, per process
    int ncomde = 0;                                    // shared-node slots
    std::vector<std::vector<int>> comm;                // comm[p][slot]: local node of process p, 0 if absent
};

// Element dual graph in compressed rows: elements (0-based) are neighbours
// when they share a face (four corner nodes).
struct Graph {
    std::vector<int> xadj, adjncy;
};
Graph face_graph(const tooldeck::Deck& deck);

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
// energy curves to every process.
Partition split_deck(const tooldeck::Deck& global, const std::vector<int>& part, int nprocs);

// "Comm": ncomde, then one row per process (wrapped over lines).
std::string comm_text(const Partition& p);
std::string map_text(const Partition& p, int global_nodes, int global_elements);

struct MapFile {
    int nprocs = 0, nodes = 0, elements = 0;
    std::vector<std::string> deck;
    std::vector<std::vector<int>> node_global, element_global;
};
MapFile read_map(const std::string& path);

}  // namespace toolsplit
