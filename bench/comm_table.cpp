// Size of the shared-node exchange of a partitioned model, dense table
// against sparse: bytes each process sends per step and bytes of the table
// each process holds. Reads the directories hexdyn-partition wrote (sparse
// "Comm" and "hexdyn.map"); the dense figures follow from the number of
// shared nodes, since a dense table has one slot per shared node of the
// whole model.
//
//   hexdyn_bench_comm DIR...
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "formats/map.hpp"
#include "parallel/commtable.hpp"

namespace {

struct Figures {
    long long entries = 0;  // (node, neighbour) pairs of one process
    long long nodes = 0;    // distinct shared nodes of one process
    long long neighbours = 0;
};

double kb(double bytes) { return bytes / 1000.0; }

int report(const std::string& dir) {
    const formats::Map map = formats::read_map(dir + "/hexdyn.map");
    const int np = static_cast<int>(map.procs.size());
    std::set<long long> shared;
    std::vector<Figures> f(static_cast<size_t>(np));
    for (int p = 0; p < np; ++p) {
        std::ifstream in(dir + "/Comm");
        commnodes::CommPart part;
        const std::string fault = commnodes::readcommpart(in, np, p, part);
        if (!fault.empty() || !part.sparse) {
            std::fprintf(stderr, "%s/Comm: %s\n", dir.c_str(),
                         fault.empty() ? "not a sparse table" : fault.c_str());
            return 1;
        }
        const auto& ng = map.procs[static_cast<size_t>(p)].node_global;
        std::vector<int> own(part.neighbours.node);
        for (int k : own) shared.insert(ng[static_cast<size_t>(k - 1)]);
        std::sort(own.begin(), own.end());
        own.erase(std::unique(own.begin(), own.end()), own.end());
        Figures& x = f[static_cast<size_t>(p)];
        x.entries = static_cast<long long>(part.neighbours.node.size());
        x.nodes = static_cast<long long>(own.size());
        x.neighbours = static_cast<long long>(part.neighbours.proc.size());
    }
    const double S = static_cast<double>(shared.size());
    long long emax = 0, esum = 0, nbmax = 0;
    double tablemax = 0.0;
    for (const Figures& x : f) {
        emax = std::max(emax, x.entries);
        esum += x.entries;
        nbmax = std::max(nbmax, x.neighbours);
        // What the solver keeps (32-bit integers): neighbour processes and
        // offsets, node and line of each entry, and the order of the sums
        // (node and offset per shared node, one term per entry and per node).
        const double ints = static_cast<double>(2 * x.neighbours + 1 + 2 * x.entries + 2 * x.nodes +
                                                1 + x.entries + x.nodes);
        tablemax = std::max(tablemax, 4.0 * ints);
    }
    const double emean = static_cast<double>(esum) / np;
    // Dense: every process all-reduces 3 doubles per slot each step and held
    // the whole table (processes x slots) plus its own row.
    const double dense_step = 3.0 * 8.0 * S;
    const double dense_table = 4.0 * (static_cast<double>(np) + 1.0) * S;
    // Sparse: 3 doubles per entry to its neighbour, the receive buffer the same.
    const double sparse_step_max = 3.0 * 8.0 * static_cast<double>(emax);
    const double sparse_step_mean = 3.0 * 8.0 * emean;
    std::printf("%4d %9lld %9.0f | %11.1f %11.1f %7.1f | %11.1f %11.1f %9.1f | %6lld %10.1f\n", np,
                map.elements, S, kb(dense_step), kb(sparse_step_max), dense_step / sparse_step_max,
                kb(dense_table), kb(tablemax), kb(2.0 * sparse_step_max), nbmax,
                kb(sparse_step_mean));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hexdyn_bench_comm DIR...\n");
        return 2;
    }
    std::printf(
        "                         |  bytes sent per process per step (kB)  |  memory per process "
        "(kB)               |\n"
        "   P  elements    shared |       dense  sparse max   ratio |  dense table sparse table"
        "   buffers | max nb  sparse mean\n");
    int rc = 0;
    for (int i = 1; i < argc; ++i) rc |= report(argv[i]);
    return rc;
}
