#include "parallel/commnodes.hpp"

#include <mpi.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <tuple>
#include <utility>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "parallel/commtable.hpp"

namespace commnodes {

namespace {

[[noreturn]] void comm_error(const std::string& what) {
    errorstop::stop("*** Error *** file Comm: " + what);
}

std::string line(int lineno) { return "line " + std::to_string(lineno) + ": "; }

// Buffers of the neighbour exchange, sized once for the widest exchange.
std::vector<double> sendbuf, recvbuf;
std::vector<MPI_Request> requests;

// Sends this process's values of its shared nodes to every neighbour and
// receives theirs: afterwards recvbuf[width*e + c] holds component c of the
// neighbour's copy of entry e. `val` holds `width` values per node.
void swapshared(const std::vector<double>& val, int width, int tag) {
    const size_t w = static_cast<size_t>(width);
    const size_t entries = nbnode.size();
    if (sendbuf.size() < w * entries) {
        sendbuf.resize(w * entries);
        recvbuf.resize(w * entries);
    }
    const size_t nn = nbproc.size();
    requests.resize(2 * nn);
    for (size_t i = 0; i < nn; ++i) {
        const size_t from = w * static_cast<size_t>(nbstart[i]);
        const int count = width * (nbstart[i + 1] - nbstart[i]);
        MPI_Irecv(recvbuf.data() + from, count, MPI_DOUBLE, nbproc[i], tag, MPI_COMM_WORLD,
                  &requests[i]);
    }
    for (size_t e = 0; e < entries; ++e) {
        const size_t k = static_cast<size_t>(nbnode[e] - 1);
        for (size_t c = 0; c < w; ++c) sendbuf[w * e + c] = val[w * k + c];
    }
    for (size_t i = 0; i < nn; ++i) {
        const size_t from = w * static_cast<size_t>(nbstart[i]);
        const int count = width * (nbstart[i + 1] - nbstart[i]);
        MPI_Isend(sendbuf.data() + from, count, MPI_DOUBLE, nbproc[i], tag, MPI_COMM_WORLD,
                  &requests[nn + i]);
    }
    MPI_Waitall(static_cast<int>(2 * nn), requests.data(), MPI_STATUSES_IGNORE);
}

// Replaces the value of every shared node by the sum of all its copies,
// added in increasing process number.
void sumshared(std::vector<double>& val, int width) {
    const size_t w = static_cast<size_t>(width);
    for (size_t s = 0; s < sumnode.size(); ++s) {
        const size_t k = static_cast<size_t>(sumnode[s] - 1);
        const size_t first = static_cast<size_t>(sumstart[s]);
        const size_t last = static_cast<size_t>(sumstart[s + 1]);
        for (size_t c = 0; c < w; ++c) {
            const double own = val[w * k + c];
            double sum = 0.0;
            for (size_t t = first; t < last; ++t) {
                const int term = sumterm[t];
                const double x = term < 0 ? own : recvbuf[w * static_cast<size_t>(term) + c];
                sum = t == first ? x : sum + x;
            }
            val[w * k + c] = sum;
        }
    }
}

// Order of the sums: for each shared node, in increasing local number, its
// own value and the entries of the neighbours holding it, by process number.
void ordersums() {
    std::vector<std::tuple<int, int, int>> terms;  // node, process, term
    terms.reserve(2 * nbnode.size());
    for (size_t i = 0; i < nbproc.size(); ++i)
        for (int e = nbstart[i]; e < nbstart[i + 1]; ++e) {
            terms.emplace_back(nbnode[static_cast<size_t>(e)], nbproc[i], e);
            terms.emplace_back(nbnode[static_cast<size_t>(e)], myid, -1);
        }
    std::sort(terms.begin(), terms.end());
    terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
    sumnode.clear();
    sumstart.clear();
    sumterm.clear();
    for (const auto& [k, p, term] : terms) {
        if (sumnode.empty() || sumnode.back() != k) {
            sumnode.push_back(k);
            sumstart.push_back(static_cast<int>(sumterm.size()));
        }
        sumterm.push_back(term);
    }
    sumstart.push_back(static_cast<int>(sumterm.size()));
}

}  // namespace

void readcomnode() {
    errno = 0;
    std::ifstream in("Comm");
    if (!in) {
        const int err = errno;
        errorstop::writeline(records::listed("Open file error!!!"));
        errorstop::stop(std::string("*** Error *** cannot open the shared-node table Comm: ") +
                        (err != 0 ? std::strerror(err) : "reason unknown"));
    }
    CommPart part;
    const std::string fault = readcommpart(in, nprocs, myid, part);
    if (!fault.empty()) comm_error(fault);
    sparse = part.sparse;
    ncomde = part.ncomde;
    mycnode = std::move(part.row);
    commline = std::move(part.line);
    nbproc = std::move(part.neighbours.proc);
    nbstart = std::move(part.neighbours.start);
    nbnode = std::move(part.neighbours.node);
    if (nbstart.empty()) nbstart.push_back(0);
    std::string name = deckname(myid);
    name.resize(100, ' ');
    ffi::fileinp = name;
}

void checkcomnode() {
    const int np = particledata::nb_particle;
    for (size_t j = 0; j < mycnode.size(); ++j) {
        const int k = mycnode[j];
        if (k < 0 || k > np)
            comm_error(line(j < commline.size() ? commline[j] : 0) + "slot " +
                       std::to_string(j + 1) + " of process " + std::to_string(myid) +
                       " holds node " + std::to_string(k) + ", outside the valid range 0.." +
                       std::to_string(np));
    }
    // A node in two slots of the row would have its force added twice.
    std::vector<int> slotof(static_cast<size_t>(np > 0 ? np : 0) + 1, 0);
    for (size_t j = 0; j < mycnode.size(); ++j) {
        const int k = mycnode[j];
        if (k == 0) continue;
        int& first = slotof[static_cast<size_t>(k)];
        if (first != 0)
            comm_error(line(j < commline.size() ? commline[j] : 0) + "node " + std::to_string(k) +
                       " of process " + std::to_string(myid) + " is in slots " +
                       std::to_string(first) + " and " + std::to_string(j + 1) +
                       " (a node has one slot)");
        first = static_cast<int>(j + 1);
    }
    for (size_t i = 0; i < nbproc.size(); ++i)
        for (int e = nbstart[i]; e < nbstart[i + 1]; ++e) {
            const size_t u = static_cast<size_t>(e);
            const int k = nbnode[u];
            if (k < 1 || k > np)
                comm_error(line(u < commline.size() ? commline[u] : 0) + "node " +
                           std::to_string(k) + " of process " + std::to_string(myid) +
                           " (shared with process " + std::to_string(nbproc[i]) +
                           ") is outside the valid range 1.." + std::to_string(np));
        }
    if (sparse) ordersums();
}

void matchneighbours() {
    if (!sparse || nprocs < 2) return;
    // Both sides of every pair must list the same number of nodes, or the
    // messages of the exchange would not match.
    std::vector<int> mine(static_cast<size_t>(nprocs), 0), theirs(static_cast<size_t>(nprocs), 0);
    for (size_t i = 0; i < nbproc.size(); ++i)
        mine[static_cast<size_t>(nbproc[i])] = nbstart[i + 1] - nbstart[i];
    MPI_Alltoall(mine.data(), 1, MPI_INT, theirs.data(), 1, MPI_INT, MPI_COMM_WORLD);
    for (int q = 0; q < nprocs; ++q) {
        const int a = mine[static_cast<size_t>(q)], b = theirs[static_cast<size_t>(q)];
        if (a != b)
            comm_error("process " + std::to_string(myid) + " lists " + std::to_string(a) +
                       " node(s) shared with process " + std::to_string(q) + ", but process " +
                       std::to_string(q) + " lists " + std::to_string(b) + " shared with process " +
                       std::to_string(myid));
    }
    // Paired copies must be the same node: compare the initial coordinates.
    const size_t np = static_cast<size_t>(particledata::nb_particle);
    std::vector<double> where(4 * np, 0.0);
    double scale = 0.0;
    for (size_t k = 0; k < np; ++k) {
        for (size_t c = 0; c < 3; ++c) {
            where[4 * k + c] = particledata::pos[3 * k + c];
            scale = std::max(scale, std::fabs(particledata::pos[3 * k + c]));
        }
        where[4 * k + 3] = static_cast<double>(k + 1);
    }
    swapshared(where, 4, 3);
    for (size_t i = 0; i < nbproc.size(); ++i)
        for (int e = nbstart[i]; e < nbstart[i + 1]; ++e) {
            const size_t u = static_cast<size_t>(e);
            const size_t k = static_cast<size_t>(nbnode[u] - 1);
            bool same = true;
            for (size_t c = 0; c < 3; ++c) {
                const double a = where[4 * k + c], b = recvbuf[4 * u + c];
                same = same && std::fabs(a - b) <= 1.0e-6 * (scale + std::fabs(a));
            }
            if (!same)
                comm_error(line(commline[u]) + "node " + std::to_string(k + 1) + " of process " +
                           std::to_string(myid) + " is paired with node " +
                           std::to_string(static_cast<long long>(recvbuf[4 * u + 3])) +
                           " of process " + std::to_string(nbproc[i]) +
                           ", which lies elsewhere: the two lists do not pair the same nodes");
        }
    // The buffers grow again to the width of the force exchange.
    std::vector<double>().swap(sendbuf);
    std::vector<double>().swap(recvbuf);
}

namespace {

// A point in the shortest text that reads back to the same doubles, so that
// two points that differ in their last bit show different digits.
std::string point(const double* x) {
    std::string s = "(";
    for (int c = 0; c < 3; ++c) {
        char b[32];
        const std::to_chars_result r = std::to_chars(b, b + sizeof b, x[c]);
        if (c > 0) s += ", ";
        s.append(b, r.ptr);
    }
    return s + ")";
}

// The stop for a node that process p holds as global node g at x and process
// q (above p) as global node h at y.
std::string globalclash(long long g, const double* x, int p, long long h, const double* y, int q) {
    const std::string ps = std::to_string(p), qs = std::to_string(q);
    if (g == h)
        return "*** Error *** global node " + std::to_string(g) + " lies at " + point(x) +
               " on process " + ps + " but at " + point(y) + " on process " + qs +
               ": the process decks do not describe the same model; regenerate them with "
               "hexdyn-partition";
    return "*** Error *** a node shared by processes " + ps + " and " + qs +
           " has two global numbers: global node " + std::to_string(g) + " at " + point(x) +
           " on process " + ps + ", global node " + std::to_string(h) + " at " + point(y) +
           " on process " + qs +
           ": the global numbers of the process decks (\"glob\") do not agree; regenerate "
           "them with hexdyn-partition";
}

// A clash seen by this process, to be reported when it is the first of the
// job: the pair of numbers, the processes (p below q) and both points.
struct clash {
    long long key = LLONG_MAX;  // smaller global number times nprocs plus the reporting process
    std::string message;
    void offer(long long g, const double* x, int p, long long h, const double* y, int q) {
        const long long k = std::min(g, h) * nprocs + myid;
        if (k >= key) return;
        key = k;
        message = globalclash(g, x, p, h, y, q);
    }
};

// Ends every process when some process has seen a clash: the first (by
// `key`) is written by the process that saw it, the others stop without a
// word.
void stoponclash(const clash& mine) {
    long long first = mine.key;
    MPI_Allreduce(MPI_IN_PLACE, &first, 1, MPI_LONG_LONG, MPI_MIN, MPI_COMM_WORLD);
    if (first == LLONG_MAX) return;
    if (first == mine.key) errorstop::stop(mine.message);
    errorstop::stop();
}

}  // namespace

void matchglobal() {
    // A dense table's slot count is the same on every process (all read it
    // from the first record of the file): without slots no node is shared,
    // and the input stays free of collectives, as it was, so that a process
    // stopping at input does not keep the others from their own messages.
    if (nprocs < 2 || (!sparse && ncomde <= 0)) return;
    // Whether any deck has the numbers, whether every one has, and the
    // first process whose deck lacks them.
    const bool has = !particledata::global.empty();
    int votes[3] = {has ? 1 : 0, has ? 0 : 1, has ? 0 : nprocs - myid};
    MPI_Allreduce(MPI_IN_PLACE, votes, 3, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (votes[0] == 0) return;
    if (votes[1] != 0) {
        if (votes[2] == nprocs - myid)
            errorstop::stop("*** Error *** the deck of process " + std::to_string(myid) +
                            " has no global numbers (\"glob\") but other process decks have "
                            "them; regenerate the decks with hexdyn-partition");
        errorstop::stop();
    }
    // Per node its global number and its coordinates as the deck gives them.
    const size_t np = static_cast<size_t>(particledata::nb_particle);
    std::vector<double> where(4 * np, 0.0);
    for (size_t k = 0; k < np; ++k) {
        where[4 * k] = static_cast<double>(particledata::global[k]);
        for (size_t c = 0; c < 3; ++c) where[4 * k + 1 + c] = particledata::pos[3 * k + c];
    }
    const auto differ = [](const double* a, const double* b) {
        return a[0] != b[0] || a[1] != b[1] || a[2] != b[2] || a[3] != b[3];
    };
    clash mine;
    if (sparse) {
        // Both sides of a pair see its clash; the process below reports it.
        swapshared(where, 4, 5);
        for (size_t i = 0; i < nbproc.size(); ++i)
            for (int e = nbstart[i]; e < nbstart[i + 1]; ++e) {
                const size_t u = static_cast<size_t>(e);
                const double* a = &where[4 * static_cast<size_t>(nbnode[u] - 1)];
                const double* b = &recvbuf[4 * u];
                if (nbproc[i] > myid && differ(a, b))
                    mine.offer(static_cast<long long>(a[0]), a + 1, myid,
                               static_cast<long long>(b[0]), b + 1, nbproc[i]);
            }
        std::vector<double>().swap(sendbuf);
        std::vector<double>().swap(recvbuf);
    } else {
        // Every slot takes the values of its first holder, which each later
        // holder compares with its own.
        const size_t n = static_cast<size_t>(std::max(ncomde, 0));
        std::vector<int> holder(n, nprocs);
        for (size_t j = 0; j < n; ++j)
            if (mycnode[j] != 0) holder[j] = myid;
        MPI_Allreduce(MPI_IN_PLACE, holder.data(), static_cast<int>(n), MPI_INT, MPI_MIN,
                      MPI_COMM_WORLD);
        std::vector<double> first(4 * n, 0.0);
        for (size_t j = 0; j < n; ++j)
            if (holder[j] == myid)
                for (size_t c = 0; c < 4; ++c)
                    first[4 * j + c] = where[4 * static_cast<size_t>(mycnode[j] - 1) + c];
        MPI_Allreduce(MPI_IN_PLACE, first.data(), static_cast<int>(4 * n), MPI_DOUBLE, MPI_SUM,
                      MPI_COMM_WORLD);
        for (size_t j = 0; j < n; ++j) {
            if (mycnode[j] == 0 || holder[j] == myid) continue;
            const double* a = &first[4 * j];
            const double* b = &where[4 * static_cast<size_t>(mycnode[j] - 1)];
            if (differ(a, b))
                mine.offer(static_cast<long long>(a[0]), a + 1, holder[j],
                           static_cast<long long>(b[0]), b + 1, myid);
        }
    }
    stoponclash(mine);
}

void updateforce(int istep, double& value) { updateforce(istep, value, nullptr, 0); }

void updateforce(int istep, double& value, double* largest, int n) {
    using particledata::acc;
    using particledata::mp;
    if (sparse) {
        if (istep == 1) {
            swapshared(mp, 1, 1);
            sumshared(mp, 1);
        }
        swapshared(acc, 3, 2);
        sumshared(acc, 3);
    } else {
        const int n = ncomde > 0 ? ncomde : 0;
        static std::vector<double> send, recv;
        if (istep == 1) {
            send.assign(static_cast<size_t>(n), 0.0);
            recv.assign(static_cast<size_t>(n), 0.0);
            for (int j = 0; j < n; ++j) {
                int k = mycnode[static_cast<size_t>(j)];
                if (k != 0) send[static_cast<size_t>(j)] = mp[static_cast<size_t>(k - 1)];
            }
            MPI_Allreduce(send.data(), recv.data(), n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
            for (int j = 0; j < n; ++j) {
                int k = mycnode[static_cast<size_t>(j)];
                if (k != 0) mp[static_cast<size_t>(k - 1)] = recv[static_cast<size_t>(j)];
            }
        }
        send.assign(3 * static_cast<size_t>(n), 0.0);
        recv.assign(3 * static_cast<size_t>(n), 0.0);
        for (int j = 0; j < n; ++j) {
            int k = mycnode[static_cast<size_t>(j)];
            if (k != 0) {
                for (int i = 0; i < 3; ++i)
                    send[3 * static_cast<size_t>(j) + static_cast<size_t>(i)] =
                        acc[3 * static_cast<size_t>(k - 1) + static_cast<size_t>(i)];
            }
        }
        MPI_Allreduce(send.data(), recv.data(), 3 * n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
        for (int j = 0; j < n; ++j) {
            int k = mycnode[static_cast<size_t>(j)];
            if (k != 0) {
                for (int i = 0; i < 3; ++i)
                    acc[3 * static_cast<size_t>(k - 1) + static_cast<size_t>(i)] =
                        recv[3 * static_cast<size_t>(j) + static_cast<size_t>(i)];
            }
        }
    }
    // The step and, negated, the stop signal and the caller's values travel
    // together: the minimum of all gives the global step and the largest
    // signal and values of the job (negation is exact, so the largest is the
    // one a maximum reduction gives).
    constexpr int most = 10;
    if (n < 0 || n > most - 2) n = 0;
    double mine[most] = {value, -static_cast<double>(stopflag)};
    double all[most] = {value, 0.0};
    for (int i = 0; i < n; ++i) mine[2 + i] = -largest[i];
    MPI_Allreduce(mine, all, 2 + n, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    value = all[0];
    stopjob = static_cast<int>(-all[1]);
    for (int i = 0; i < n; ++i) largest[i] = -all[2 + i];
}

void sumcopies(std::vector<double>& val, int width) {
    if (nprocs <= 1) return;
    if (sparse) {
        swapshared(val, width, 4);
        sumshared(val, width);
        return;
    }
    const size_t w = static_cast<size_t>(width);
    const size_t n = static_cast<size_t>(ncomde > 0 ? ncomde : 0);
    std::vector<double> send(w * n, 0.0), recv(w * n, 0.0);
    for (size_t j = 0; j < n; ++j) {
        const int k = mycnode[j];
        if (k != 0)
            for (size_t c = 0; c < w; ++c)
                send[w * j + c] = val[w * static_cast<size_t>(k - 1) + c];
    }
    MPI_Allreduce(send.data(), recv.data(), static_cast<int>(w * n), MPI_DOUBLE, MPI_SUM,
                  MPI_COMM_WORLD);
    for (size_t j = 0; j < n; ++j) {
        const int k = mycnode[j];
        if (k != 0)
            for (size_t c = 0; c < w; ++c)
                val[w * static_cast<size_t>(k - 1) + c] = recv[w * j + c];
    }
}

}  // namespace commnodes
