// hexdyn-partition: divides a one-process input deck among N processes.
#include <metis.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "failure/failtable.hpp"
#include "formats/cli.hpp"
#include "formats/deck.hpp"
#include "formats/map.hpp"
#include "material/catalog.hpp"
#include "model/curvevariables.hpp"
#include "partition/partition.hpp"

namespace {

namespace fs = std::filesystem;
using formats::Usage;

const std::string kHelp = std::string(R"(usage: hexdyn-partition DECK N [--dir OUT] [--dense]

Divides the one-process input deck DECK among N processes and writes, in the
directory OUT (default: the current directory, created if missing):

  a, b, ..., z, aa, ab, ...   the deck of each process (process 26 is "aa")
  Comm                        the nodes shared between processes, per
                              neighbour ("sparse N" on its first line)
  hexdyn.map                  local-to-global node and element numbers

The elements are divided with METIS along element faces, each process
getting within 3% of the mean element count (or the nearest whole number for
small meshes). Every deck carries the run control (end and output times,
step scale, report interval, hourglass control, Jaumann switch, mid-step
strain switch "midg", field output "fout", energy balance "ebal", stable step
"stab", plastic formulation "vmis", "cons" and "corr", the solver's own
pow, log and exp "math", checkpoints "chkp", bulk
viscosity "bulk", rigid plane), the materials
(jcth with all its constants), the equation of
state, the time table and the further time functions "tfun"; components are
renumbered per process among those with nodes there. A held component
("fixd") or a driven one ("move") goes, renumbered, to every process that
holds some of its nodes, with its axes (and function) unchanged. Every deck
gets each constraint force "reac" as "reac C N": C its own number of the
component (0 where it holds none of its nodes), N the whole model's. Every
deck gets every rigid set "rigd" as it stands (the bodies' sums run over all
processes). A load on a
node that several processes hold is kept in the deck of the lowest of them
only (the solver adds the loads of all copies); initial velocities go to
every copy. A curve at an element goes to the process holding it, with its
local element number; a curve at a node to the lowest process holding the
node, with its local node number; energy curves go to every process (each
process reports the energy of its own part). A contact block ("cont" ...
"endc") goes unchanged to every deck (material sets keep their numbers), and
every deck then also gets "glob": the global numbers of its nodes and
elements, as in hexdyn.map. A failure block ("fail" ... "endf") goes
unchanged to every deck too; a deck whose failure records the solver
refuses (a criterion its set's model cannot meet, a record given twice,
constants out of range) is refused with the solver's message.

Decks of an earlier partition in OUT that this one does not replace (going
from 4 processes to 2 leaves "c" and "d") are removed when the hexdyn.map
there records them, and named in a line; files named as further decks that
no map records are left, with a warning. The solver's result files of those
processes stay (hexdyn-export reads the processes of the new map).

Run the result with:  cd OUT && mpiexec.mpich -n N hexdyn
(the solver stops at start-up when the process count is not N).

Options
  --dir OUT    output directory (given again, the last one wins)
  --dense      write Comm as the dense table (one row of every shared node
               per process; its size grows with processes x shared nodes)
  -h, --help   this text
)");
// The help text closed by the paragraphs of the material words, of the
// curve variables and of the failure records.
const std::string kHelpText =
    std::string(kHelp) + catalog::rateshelp() + curvevariables::help() + failtable::help();

std::vector<int> metis_parts(const formats::Deck& d, int nprocs) {
    const int ne = d.nelements();
    std::vector<int> part(static_cast<size_t>(ne), 0);
    if (nprocs == 1) return part;
    std::vector<idx_t> eptr(static_cast<size_t>(ne) + 1), eind(static_cast<size_t>(ne) * 8);
    for (int e = 0; e < ne; ++e) {
        eptr[static_cast<size_t>(e)] = static_cast<idx_t>(8 * e);
        for (int k = 0; k < 8; ++k)
            eind[8 * static_cast<size_t>(e) + static_cast<size_t>(k)] = static_cast<idx_t>(
                d.elements[static_cast<size_t>(e)].node[static_cast<size_t>(k)] - 1);
    }
    eptr[static_cast<size_t>(ne)] = static_cast<idx_t>(8 * ne);
    idx_t n_el = ne, n_nd = d.nnodes(), ncommon = 4, nparts = nprocs, objval = 0;
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    options[METIS_OPTION_NUMBERING] = 0;
    options[METIS_OPTION_SEED] = 1;
    options[METIS_OPTION_UFACTOR] = 30;  // 3% imbalance
    std::vector<idx_t> epart(static_cast<size_t>(ne)), npart(static_cast<size_t>(d.nnodes()));
    const int rc =
        METIS_PartMeshDual(&n_el, &n_nd, eptr.data(), eind.data(), nullptr, nullptr, &ncommon,
                           &nparts, nullptr, options, &objval, epart.data(), npart.data());
    if (rc != METIS_OK)
        throw formats::Error("METIS failed to divide the mesh (code " + std::to_string(rc) + ")");
    for (int e = 0; e < ne; ++e)
        part[static_cast<size_t>(e)] = static_cast<int>(epart[static_cast<size_t>(e)]);
    return part;
}

int run(int argc, char** argv) {
    std::vector<std::string> pos;
    std::string dir = ".";
    bool dense = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kHelpText.c_str(), stdout);
            return 0;
        }
        if (a == "--dense") {
            dense = true;
        } else if (a == "--dir") {
            if (i + 1 >= argc) throw Usage("--dir needs a directory");
            dir = argv[++i];
        } else if (a.rfind("--dir=", 0) == 0) {
            dir = a.substr(6);
        } else if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && a[1] >= '0' && a[1] <= '9')) {
            throw Usage("unknown option " + a);
        } else {
            pos.push_back(a);
        }
    }
    if (pos.size() != 2) throw Usage("expected DECK and N");
    if (dir.empty()) throw Usage("--dir needs a directory");
    const int nprocs = formats::parse_int(pos[1], "N");
    if (nprocs < 1) throw Usage("N must be at least 1");

    const formats::Deck global = formats::read_deck(pos[0]);
    if (global.nelements() == 0)
        throw formats::Error(pos[0] + ": the deck has no elements to divide");
    if (nprocs > global.nelements())
        throw formats::Error("cannot divide " + std::to_string(global.nelements()) +
                             " elements among " + std::to_string(nprocs) +
                             " processes (every process needs an element)");

    std::vector<int> part = metis_parts(global, nprocs);
    const int upper = partition::balance_upper(global.nelements(), nprocs);
    const int lower = partition::balance_lower(global.nelements(), nprocs);
    {
        std::vector<int> count(static_cast<size_t>(nprocs), 0);
        for (int p : part) ++count[static_cast<size_t>(p)];
        const auto [mn, mx] = std::minmax_element(count.begin(), count.end());
        if (*mx > upper || *mn < lower) {
            const int moved = partition::rebalance(partition::face_graph(global), part, nprocs);
            std::printf("rebalanced: %d element%s moved (METIS gave %d..%d elements per process)\n",
                        moved, moved == 1 ? "" : "s", *mn, *mx);
        }
    }
    const partition::Partition P = partition::split_deck(global, part, nprocs);

    // Check the balance of what is written.
    int mn = global.nelements(), mx = 0;
    for (const auto& eg : P.element_global) {
        mn = std::min(mn, static_cast<int>(eg.size()));
        mx = std::max(mx, static_cast<int>(eg.size()));
    }
    if (mx > upper || mn < lower)
        throw formats::Error("could not balance the elements: " + std::to_string(mn) + ".." +
                             std::to_string(mx) + " per process, allowed " + std::to_string(lower) +
                             ".." + std::to_string(upper));

    fs::create_directories(dir);
    const fs::path out(dir);
    std::error_code ec;
    for (int p = 0; p < nprocs; ++p) {
        const fs::path f = out / formats::deck_name(p);
        if (fs::exists(f) && fs::equivalent(f, pos[0], ec))
            throw formats::Error("the deck of process " + std::to_string(p) +
                                 " would overwrite the input deck " + pos[0] +
                                 "; choose another --dir");
    }
    // Decks of an earlier partition into more processes would stay beside
    // the new ones, looking like part of them: those its map records go.
    const partition::StaleDecks old = partition::stale_decks(out, nprocs, pos[0]);
    for (int p = 0; p < nprocs; ++p)
        formats::write_deck(P.decks[static_cast<size_t>(p)],
                            (out / formats::deck_name(p)).string());
    formats::write_text_file((out / "Comm").string(),
                             dense ? partition::dense_comm_text(P) : partition::comm_text(P));
    formats::write_text_file(
        (out / "hexdyn.map").string(),
        formats::map_text(partition::map_of(P, global.nnodes(), global.nelements())));

    std::string removed;
    for (const fs::path& f : old.stale) {
        if (!fs::remove(f, ec) && ec)
            throw formats::Error("cannot remove the deck " + f.string() +
                                 " of the earlier partition: " + ec.message());
        if (!removed.empty()) removed += ", ";
        removed += f.filename().string();
    }
    if (!removed.empty())
        std::printf("removed %s: the deck%s of the earlier partition into %d processes\n",
                    removed.c_str(), old.stale.size() == 1 ? "" : "s", old.earlier);
    if (!old.foreign.empty()) {
        std::string names;
        for (const fs::path& f : old.foreign) {
            if (!names.empty()) names += ", ";
            names += f.filename().string();
        }
        std::fprintf(stderr,
                     "hexdyn-partition: warning: %s holds %s, named as further process decks but "
                     "recorded in no hexdyn.map there: left as %s (the run reads only %s..%s); "
                     "remove %s if an earlier partition wrote %s\n",
                     dir.c_str(), names.c_str(), old.foreign.size() == 1 ? "it is" : "they are",
                     formats::deck_name(0).c_str(), formats::deck_name(nprocs - 1).c_str(),
                     old.foreign.size() == 1 ? "it" : "them",
                     old.foreign.size() == 1 ? "it" : "them");
    }

    const double mean = static_cast<double>(global.nelements()) / nprocs;
    std::printf(
        "%d elements, %d nodes on %d process%s: %d..%d elements per process (mean %.1f, %+.1f%%), "
        "%d shared nodes\n",
        global.nelements(), global.nnodes(), nprocs, nprocs == 1 ? "" : "es", mn, mx, mean,
        100.0 * (mx - mean) / mean, P.ncomde);
    std::printf("wrote %s/{%s..%s, Comm, hexdyn.map}\n", dir.c_str(), formats::deck_name(0).c_str(),
                formats::deck_name(nprocs - 1).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return formats::guarded_main("hexdyn-partition", run, argc, argv);
}
