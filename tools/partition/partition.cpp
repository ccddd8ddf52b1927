#include "partition/partition.hpp"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "parallel/commtable.hpp"

namespace partition {

using formats::Deck;
using formats::Error;

Graph face_graph(const Deck& d) {
    // The six faces of a hexahedron (0-based corners).
    static const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                    {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    struct Face {
        std::array<int, 4> key;
        int element;
    };
    const int ne = d.nelements();
    std::vector<Face> all;
    all.reserve(static_cast<size_t>(ne) * 6);
    for (int e = 0; e < ne; ++e) {
        const auto& nd = d.elements[static_cast<size_t>(e)].node;
        for (const auto& f : faces) {
            Face x;
            for (int k = 0; k < 4; ++k)
                x.key[static_cast<size_t>(k)] = nd[static_cast<size_t>(f[k])];
            std::sort(x.key.begin(), x.key.end());
            x.element = e;
            all.push_back(x);
        }
    }
    std::sort(all.begin(), all.end(), [](const Face& a, const Face& b) {
        return a.key != b.key ? a.key < b.key : a.element < b.element;
    });
    std::vector<std::pair<int, int>> edges;
    for (size_t i = 0; i < all.size();) {
        size_t j = i + 1;
        while (j < all.size() && all[j].key == all[i].key) ++j;
        for (size_t a = i; a < j; ++a)
            for (size_t b = a + 1; b < j; ++b)
                if (all[a].element != all[b].element) {
                    edges.push_back({all[a].element, all[b].element});
                    edges.push_back({all[b].element, all[a].element});
                }
        i = j;
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    Graph g;
    g.xadj.assign(static_cast<size_t>(ne) + 1, 0);
    for (const auto& e : edges) ++g.xadj[static_cast<size_t>(e.first) + 1];
    for (int e = 0; e < ne; ++e)
        g.xadj[static_cast<size_t>(e) + 1] += g.xadj[static_cast<size_t>(e)];
    g.adjncy.reserve(edges.size());
    for (const auto& e : edges) g.adjncy.push_back(e.second);
    return g;
}

int balance_upper(int ne, int np) {
    const long long n = ne, p = np;
    return static_cast<int>(std::max((n + p - 1) / p, (103 * n) / (100 * p)));
}

int balance_lower(int ne, int np) {
    const long long n = ne, p = np;
    return static_cast<int>(std::min(n / p, (97 * n + 100 * p - 1) / (100 * p)));
}

int rebalance(const Graph& g, std::vector<int>& part, int np) {
    const int ne = static_cast<int>(part.size());
    if (np < 1 || np > ne)
        throw Error("cannot divide " + std::to_string(ne) + " elements among " +
                    std::to_string(np) + " processes");
    const int upper = balance_upper(ne, np), lower = balance_lower(ne, np);
    std::vector<int> count(static_cast<size_t>(np), 0);
    for (int p : part) {
        if (p < 0 || p >= np) throw Error("element assigned to process " + std::to_string(p));
        ++count[static_cast<size_t>(p)];
    }
    auto neighbours = [&](int e) {
        return std::pair(g.adjncy.begin() + g.xadj[static_cast<size_t>(e)],
                         g.adjncy.begin() + g.xadj[static_cast<size_t>(e) + 1]);
    };
    auto move = [&](int e, int to) {
        --count[static_cast<size_t>(part[static_cast<size_t>(e)])];
        part[static_cast<size_t>(e)] = to;
        ++count[static_cast<size_t>(to)];
    };
    int moved = 0;
    for (;;) {
        int over = -1, under = -1;
        for (int p = 0; p < np && over < 0; ++p)
            if (count[static_cast<size_t>(p)] > upper) over = p;
        if (over < 0)
            for (int p = 0; p < np && under < 0; ++p)
                if (count[static_cast<size_t>(p)] < lower) under = p;
        if (over < 0 && under < 0) break;
        int best_e = -1, best_to = -1;
        if (over >= 0) {
            // An element of `over` next to the lightest part that has room.
            for (int e = 0; e < ne; ++e) {
                if (part[static_cast<size_t>(e)] != over) continue;
                auto [b, en] = neighbours(e);
                for (auto it = b; it != en; ++it) {
                    const int q = part[static_cast<size_t>(*it)];
                    if (q != over && count[static_cast<size_t>(q)] < upper &&
                        (best_to < 0 ||
                         count[static_cast<size_t>(q)] < count[static_cast<size_t>(best_to)])) {
                        best_e = e;
                        best_to = q;
                    }
                }
                if (best_to >= 0 && count[static_cast<size_t>(best_to)] < lower) break;
            }
            if (best_e < 0) {  // no neighbour with room: any element to the lightest part
                best_to =
                    static_cast<int>(std::min_element(count.begin(), count.end()) - count.begin());
                for (int e = 0; e < ne && best_e < 0; ++e)
                    if (part[static_cast<size_t>(e)] == over) best_e = e;
            }
        } else {
            // An element next to `under` from the heaviest neighbouring part that can spare one.
            int best_from = -1;
            for (int e = 0; e < ne; ++e) {
                const int q = part[static_cast<size_t>(e)];
                if (q == under || count[static_cast<size_t>(q)] <= lower) continue;
                auto [b, en] = neighbours(e);
                bool touches = false;
                for (auto it = b; it != en && !touches; ++it)
                    touches = part[static_cast<size_t>(*it)] == under;
                if (touches && (best_from < 0 || count[static_cast<size_t>(q)] >
                                                     count[static_cast<size_t>(best_from)])) {
                    best_from = q;
                    best_e = e;
                }
            }
            if (best_e < 0) {
                // `under` touches no part that can spare an element (it may be
                // empty): take an element of the heaviest part, preferring one
                // on that part's boundary.
                best_from =
                    static_cast<int>(std::max_element(count.begin(), count.end()) - count.begin());
                for (int e = 0; e < ne; ++e) {
                    if (part[static_cast<size_t>(e)] != best_from) continue;
                    if (best_e < 0) best_e = e;
                    auto [b, en] = neighbours(e);
                    if (en - b < 6) {
                        best_e = e;
                        break;
                    }
                }
            }
            best_to = under;
        }
        move(best_e, best_to);
        ++moved;
    }
    return moved;
}

namespace {

using Loads = std::vector<std::array<double, 3>>;

// Each element to the process `part` names, in increasing global order.
void assign_elements(Partition& P, const std::vector<int>& part, int ne) {
    const int np = P.nprocs;
    if (static_cast<int>(part.size()) != ne) throw Error("element assignment of the wrong size");
    P.decks.resize(static_cast<size_t>(np));
    P.node_global.resize(static_cast<size_t>(np));
    P.element_global.resize(static_cast<size_t>(np));
    for (int e = 0; e < ne; ++e) {
        const int p = part[static_cast<size_t>(e)];
        if (p < 0 || p >= np)
            throw Error("element " + std::to_string(e + 1) + " assigned to process " +
                        std::to_string(p));
        P.element_global[static_cast<size_t>(p)].push_back(e + 1);
    }
    for (int p = 0; p < np; ++p)
        if (P.element_global[static_cast<size_t>(p)].empty())
            throw Error("process " + std::to_string(p) + " has no element");
}

// How many processes hold each global node, and the lowest of them.
struct Holders {
    std::vector<int> count, owner;
};

// The nodes of each process (those of its elements, and on process 0 the
// nodes of no element), in increasing global order.
Holders assign_nodes(Partition& P, const Deck& g) {
    const int nn = g.nnodes();
    Holders h{std::vector<int>(static_cast<size_t>(nn), 0),
              std::vector<int>(static_cast<size_t>(nn), -1)};
    std::vector<char> used(static_cast<size_t>(nn), 0);
    for (const formats::Element& el : g.elements)
        for (int n : el.node) used[static_cast<size_t>(n - 1)] = 1;
    std::vector<int> mark(static_cast<size_t>(nn), -1);
    for (int p = 0; p < P.nprocs; ++p) {
        auto& ng = P.node_global[static_cast<size_t>(p)];
        for (int e : P.element_global[static_cast<size_t>(p)])
            for (int n : g.elements[static_cast<size_t>(e - 1)].node)
                if (mark[static_cast<size_t>(n - 1)] != p) {
                    mark[static_cast<size_t>(n - 1)] = p;
                    ng.push_back(n);
                    ++h.count[static_cast<size_t>(n - 1)];
                    if (h.owner[static_cast<size_t>(n - 1)] < 0)
                        h.owner[static_cast<size_t>(n - 1)] = p;
                }
        if (p == 0)
            for (int n = 1; n <= nn; ++n)
                if (!used[static_cast<size_t>(n - 1)]) {  // node of no element
                    mark[static_cast<size_t>(n - 1)] = 0;
                    ng.push_back(n);
                    h.count[static_cast<size_t>(n - 1)] = 1;
                    h.owner[static_cast<size_t>(n - 1)] = 0;
                }
        std::sort(ng.begin(), ng.end());
    }
    return h;
}

// The processes holding each shared node, in compressed rows in process
// order: those of global node n are proc[start[n-1]..start[n]).
struct SharedRows {
    std::vector<int> start, proc;
};

// Shared-node slots in increasing global node order, and their holders.
SharedRows shared_slots(Partition& P, const std::vector<int>& holders, int nn) {
    std::vector<int>& slot = P.slot;
    slot.assign(static_cast<size_t>(nn), -1);
    SharedRows r;
    r.start.assign(static_cast<size_t>(nn) + 1, 0);
    for (int n = 0; n < nn; ++n) {
        if (holders[static_cast<size_t>(n)] > 1) slot[static_cast<size_t>(n)] = P.ncomde++;
        r.start[static_cast<size_t>(n) + 1] =
            r.start[static_cast<size_t>(n)] +
            (holders[static_cast<size_t>(n)] > 1 ? holders[static_cast<size_t>(n)] : 0);
    }
    r.proc.assign(static_cast<size_t>(r.start[static_cast<size_t>(nn)]), 0);
    std::vector<int> fill(r.start.begin(), r.start.end() - 1);
    for (int p = 0; p < P.nprocs; ++p)
        for (int n : P.node_global[static_cast<size_t>(p)])
            if (slot[static_cast<size_t>(n - 1)] >= 0)
                r.proc[static_cast<size_t>(fill[static_cast<size_t>(n - 1)]++)] = p;
    return r;
}

// The neighbours of process p and the local numbers of the nodes it shares
// with each; g2l maps the global nodes of p to its local numbers.
void link_neighbours(Partition& P, int p, const SharedRows& rows, const std::vector<int>& g2l) {
    const auto& ng = P.node_global[static_cast<size_t>(p)];
    std::vector<std::vector<int>> lists(static_cast<size_t>(P.nprocs));
    for (int n : ng) {
        if (P.slot[static_cast<size_t>(n - 1)] < 0) continue;
        for (int h = rows.start[static_cast<size_t>(n - 1)]; h < rows.start[static_cast<size_t>(n)];
             ++h) {
            const int q = rows.proc[static_cast<size_t>(h)];
            if (q != p) lists[static_cast<size_t>(q)].push_back(g2l[static_cast<size_t>(n - 1)]);
        }
    }
    commnodes::Neighbours& nb = P.neighbours[static_cast<size_t>(p)];
    nb.start.push_back(0);
    for (int q = 0; q < P.nprocs; ++q) {
        auto& list = lists[static_cast<size_t>(q)];
        if (list.empty()) continue;
        nb.proc.push_back(q);
        nb.node.insert(nb.node.end(), list.begin(), list.end());
        nb.start.push_back(static_cast<int>(nb.node.size()));
    }
}

// What every process's deck carries unchanged.
void copy_run_control(Deck& d, const Deck& g) {
    d.title = g.title;
    d.endtime = g.endtime;
    d.outtime = g.outtime;
    d.dtscale = g.dtscale;
    d.report = g.report;
    d.checkpoint = g.checkpoint;
    d.hourglass = g.hourglass;
    d.jaumann = g.jaumann;
    d.midstep = g.midstep;
    d.fieldtime = g.fieldtime;
    d.energy = g.energy;
    d.stable = g.stable;
    d.vonmises = g.vonmises;
    d.consistent = g.consistent;
    d.corrected = g.corrected;
    d.solvermath = g.solvermath;
    d.rigid = g.rigid;
    d.timetable = g.timetable;
    d.functions = g.functions;
    d.materials = g.materials;
    d.seos = g.seos;
    d.bulk = g.bulk;
    d.contact = g.contact;  // material sets keep their numbers on every process
    d.failure = g.failure;
    d.walls = g.walls;  // every process holds every wall (the force sums need them all)
}

// The nodes, elements and components of process p in local numbers; returns
// the local number of each global component (0 where it has no member).
std::vector<int> localise_mesh(Deck& d, const Deck& g, const Partition& P, int p,
                               const std::vector<int>& g2l) {
    const auto& ng = P.node_global[static_cast<size_t>(p)];
    d.nodes.reserve(ng.size());
    for (int n : ng) d.nodes.push_back(g.nodes[static_cast<size_t>(n - 1)]);
    for (int e : P.element_global[static_cast<size_t>(p)]) {
        formats::Element el = g.elements[static_cast<size_t>(e - 1)];
        for (int& n : el.node) n = g2l[static_cast<size_t>(n - 1)];
        d.elements.push_back(el);
    }
    std::vector<int> compmap(static_cast<size_t>(g.ncomponents()), 0);
    for (int c = 0; c < g.ncomponents(); ++c) {
        std::vector<int> members;
        for (int n : g.components[static_cast<size_t>(c)])
            if (g2l[static_cast<size_t>(n - 1)] > 0)
                members.push_back(g2l[static_cast<size_t>(n - 1)]);
        if (!members.empty()) {
            d.components.push_back(std::move(members));
            compmap[static_cast<size_t>(c)] = d.ncomponents();
        }
    }
    return compmap;
}

// Held components, loads and initial velocities of process p. A load on a
// node that a lower process holds is cancelled here ("node k 0 0 0").
void localise_records(Deck& d, const Deck& g, const Partition& P, int p, const Loads& loads,
                      const std::vector<int>& owner, const std::vector<int>& g2l,
                      const std::vector<int>& compmap) {
    // Held components go to every process that holds some of their nodes.
    for (formats::Fixity f : g.fixities) {
        f.comp = compmap[static_cast<size_t>(f.comp - 1)];
        if (f.comp != 0) d.fixities.push_back(f);
    }
    // So do driven components. Every process takes part in the sums of the
    // constraint forces: each deck names the force by the component of the
    // whole model, and its own component (0 where it holds none of its nodes).
    for (formats::Drive r : g.drives) {
        r.comp = compmap[static_cast<size_t>(r.comp - 1)];
        if (r.comp != 0) d.drives.push_back(r);
    }
    for (const formats::Reaction& r : g.reactions)
        d.reactions.push_back({r.comp > 0 ? compmap[static_cast<size_t>(r.comp - 1)] : 0, r.name});
    // Every process keeps every material set, and so every rigid set: the
    // bodies' sums run over all processes.
    d.bodies = g.bodies;
    // A wall that holds a component holds its members on this process; where
    // it has none, an empty component keeps the wall without nodes.
    if (d.walls)
        for (formats::Wall& w : *d.walls)
            if (w.comp) {
                int c = compmap[static_cast<size_t>(*w.comp - 1)];
                if (c == 0) {
                    d.components.emplace_back();
                    c = d.ncomponents();
                }
                w.comp = c;
            }
    auto localise = [&](const std::vector<formats::VectorRecord>& in,
                        std::vector<formats::VectorRecord>& out) {
        for (formats::VectorRecord r : in) {
            const int id = r.comp ? compmap[static_cast<size_t>(r.id - 1)]
                                  : g2l[static_cast<size_t>(r.id - 1)];
            if (id == 0) continue;
            r.id = id;
            out.push_back(r);
        }
    };
    localise(g.loads, d.loads);
    const auto& ng = P.node_global[static_cast<size_t>(p)];
    for (size_t l = 0; l < ng.size(); ++l) {
        const int n = ng[l];
        const auto& f = loads[static_cast<size_t>(n - 1)];
        if (owner[static_cast<size_t>(n - 1)] != p && (f[0] != 0.0 || f[1] != 0.0 || f[2] != 0.0))
            d.loads.push_back({false, static_cast<int>(l) + 1, {0.0, 0.0, 0.0}});
    }
    localise(g.velocities, d.velocities);
}

// The curves of process p: an element curve where its element is, a node
// curve on the lowest process holding the node (which keeps the node's
// load too), an energy curve everywhere.
void localise_curves(Deck& d, const Deck& g, const Partition& P, int p,
                     const std::vector<int>& part, const std::vector<int>& owner,
                     const std::vector<int>& g2l) {
    for (const formats::Curve& c : g.curves) {
        if (formats::curve_at_element(c.option)) {
            const int e = c.element;
            if (part[static_cast<size_t>(e - 1)] != p) continue;
            const auto& eg = P.element_global[static_cast<size_t>(p)];
            const int local =
                static_cast<int>(std::lower_bound(eg.begin(), eg.end(), e) - eg.begin()) + 1;
            d.curves.push_back({c.option, local});
        } else if (formats::curve_at_node(c.option)) {
            if (owner[static_cast<size_t>(c.element - 1)] != p) continue;
            d.curves.push_back({c.option, g2l[static_cast<size_t>(c.element - 1)]});
        } else {
            d.curves.push_back({c.option, 1});
        }
    }
}

}  // namespace

Partition split_deck(const Deck& g, const std::vector<int>& part, int np) {
    const int nn = g.nnodes(), ne = g.nelements();
    if (np < 1) throw Error("the number of processes must be at least 1");
    if (np > ne)
        throw Error("cannot divide " + std::to_string(ne) + " elements among " +
                    std::to_string(np) + " processes (every process needs an element)");
    Partition P;
    P.nprocs = np;
    assign_elements(P, part, ne);
    const Holders holders = assign_nodes(P, g);
    const SharedRows rows = shared_slots(P, holders.count, nn);
    P.neighbours.assign(static_cast<size_t>(np), commnodes::Neighbours{});

    const Loads loads = formats::apply_records(g, g.loads);
    std::vector<int> g2l(static_cast<size_t>(nn), 0);
    for (int p = 0; p < np; ++p) {
        Deck& d = P.decks[static_cast<size_t>(p)];
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        for (size_t l = 0; l < ng.size(); ++l)
            g2l[static_cast<size_t>(ng[l] - 1)] = static_cast<int>(l) + 1;
        link_neighbours(P, p, rows, g2l);
        copy_run_control(d, g);
        const std::vector<int> compmap = localise_mesh(d, g, P, p, g2l);
        localise_records(d, g, P, p, loads, holders.owner, g2l, compmap);
        localise_curves(d, g, P, p, part, holders.owner, g2l);
        // Contact searches the faces of the whole model: a process deck with
        // contact names the global number of every node and element it holds.
        if (g.contact) {
            d.node_global = ng;
            d.element_global = P.element_global[static_cast<size_t>(p)];
        }
        for (int n : ng) g2l[static_cast<size_t>(n - 1)] = 0;
    }
    return P;
}

std::string comm_text(const Partition& P) {
    std::string o = commnodes::sparseheadtext(P.nprocs);
    for (int p = 0; p < P.nprocs; ++p)
        o += commnodes::sparsesectiontext(p, P.neighbours[static_cast<size_t>(p)]);
    return o;
}

std::string dense_comm_text(const Partition& P) {
    // One row at a time: the table is processes x slots only as text.
    std::string o = std::to_string(P.ncomde) + "\n";
    std::vector<int> row(static_cast<size_t>(P.ncomde));
    for (int p = 0; p < P.nprocs; ++p) {
        std::fill(row.begin(), row.end(), 0);
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        for (size_t l = 0; l < ng.size(); ++l) {
            const int j = P.slot[static_cast<size_t>(ng[l] - 1)];
            if (j >= 0) row[static_cast<size_t>(j)] = static_cast<int>(l) + 1;
        }
        o += commnodes::commrowtext(row);
    }
    return o;
}

formats::Map map_of(const Partition& P, int global_nodes, int global_elements) {
    formats::Map m;
    m.nodes = global_nodes;
    m.elements = global_elements;
    for (int p = 0; p < P.nprocs; ++p) {
        formats::MapProcess mp;
        mp.id = p;
        mp.deck = formats::deck_name(p);
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        const auto& eg = P.element_global[static_cast<size_t>(p)];
        mp.node_global.assign(ng.begin(), ng.end());
        mp.element_global.assign(eg.begin(), eg.end());
        m.procs.push_back(std::move(mp));
    }
    return m;
}

StaleDecks stale_decks(const fs::path& dir, int nprocs, const fs::path& input) {
    StaleDecks out;
    std::error_code ec;
    auto is_input = [&](const fs::path& f) {
        std::error_code e;
        return fs::equivalent(f, input, e);
    };
    std::vector<std::string> owned;  // deck names of the earlier partition's processes
    if (fs::is_regular_file(dir / "hexdyn.map", ec)) {
        try {
            const formats::Map old = formats::read_map(dir / "hexdyn.map");
            out.earlier = static_cast<int>(old.procs.size());
            for (const formats::MapProcess& p : old.procs) owned.push_back(p.deck);
        } catch (const std::exception&) {
            owned.clear();  // an unreadable map accounts for nothing
        }
    }
    for (size_t p = static_cast<size_t>(nprocs); p < owned.size(); ++p) {
        const fs::path f = dir / owned[p];
        if (fs::is_regular_file(f, ec) && !is_input(f)) out.stale.push_back(f);
    }
    // Further files named as the decks of the next processes, in order up to
    // the first name that is missing.
    for (int p = std::max(nprocs, static_cast<int>(owned.size()));; ++p) {
        const fs::path f = dir / formats::deck_name(p);
        if (!fs::exists(f, ec)) break;
        if (!is_input(f)) out.foreign.push_back(f);
    }
    return out;
}

}  // namespace partition
