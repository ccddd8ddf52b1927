#include "parallel/commnodes.hpp"

#include <mpi.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

namespace commnodes {

namespace {

[[noreturn]] void comm_error(const std::string& what) {
    errorstop::stop("*** Error *** file Comm: " + what);
}

// Splits one line into list-directed items (blanks and commas separate).
std::vector<std::string> items_of(const std::string& line) {
    std::vector<std::string> items;
    std::string cur;
    bool have = false;
    for (char ch : line) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == ',') {
            if (have) items.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur.push_back(ch);
            have = true;
        }
    }
    if (have) items.push_back(cur);
    return items;
}

int to_int(const std::string& s, int lineno) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
        comm_error("line " + std::to_string(lineno) + ": \"" + s + "\" is not an integer");
    return static_cast<int>(v);
}

}  // namespace

void readcomnode() {
    std::ifstream in("Comm");
    if (!in) {
        errorstop::writeline(records::listed("Open file error!!!"));
        errorstop::stop();
    }
    std::string line;
    int lineno = 0;
    // First record: the number of slots; the rest of the line is ignored.
    std::vector<std::string> items;
    while (items.empty()) {
        if (!std::getline(in, line)) comm_error("ends before the number of shared-node slots");
        ++lineno;
        items = items_of(line);
    }
    ncomde = to_int(items[0], lineno);
    const int n = ncomde > 0 ? ncomde : 0;
    comnode.assign(static_cast<size_t>(nprocs) * static_cast<size_t>(n), 0);
    mycnode.assign(static_cast<size_t>(n), 0);
    if (n > 0) {
        for (int p = 1; p <= nprocs; ++p) {
            int got = 0;
            while (got < n) {
                if (!std::getline(in, line))
                    comm_error("too short: row of process " + std::to_string(p - 1) + " has " +
                               std::to_string(got) + " of " + std::to_string(n) + " values");
                ++lineno;
                for (const std::string& it : items_of(line)) {
                    if (got == n) break;  // rest of the row's last line is ignored
                    comnode[static_cast<size_t>(p - 1) * n + static_cast<size_t>(got)] = to_int(it, lineno);
                    ++got;
                }
            }
        }
        for (int j = 0; j < n; ++j) mycnode[static_cast<size_t>(j)] = comnode[static_cast<size_t>(myid) * n + j];
    }
    std::string name = deckname(myid);
    name.resize(100, ' ');
    ffi::fileinp = name;
}

void checkcomnode() {
    const int np = particledata::nb_particle;
    for (size_t j = 0; j < mycnode.size(); ++j) {
        int k = mycnode[j];
        if (k < 0 || k > np)
            errorstop::stop("*** Error *** file Comm: slot " + std::to_string(j + 1) + " of process " +
                            std::to_string(myid) + " holds node " + std::to_string(k) +
                            ", outside 0.." + std::to_string(np));
    }
}

void updateforce(int istep, double& value) {
    using particledata::acc;
    using particledata::mp;
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
    send.assign(static_cast<size_t>(3 * n), 0.0);
    recv.assign(static_cast<size_t>(3 * n), 0.0);
    for (int j = 0; j < n; ++j) {
        int k = mycnode[static_cast<size_t>(j)];
        if (k != 0) {
            for (int i = 0; i < 3; ++i) send[static_cast<size_t>(3 * j + i)] = acc[static_cast<size_t>(3 * (k - 1) + i)];
        }
    }
    MPI_Allreduce(send.data(), recv.data(), 3 * n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    for (int j = 0; j < n; ++j) {
        int k = mycnode[static_cast<size_t>(j)];
        if (k != 0) {
            for (int i = 0; i < 3; ++i) acc[static_cast<size_t>(3 * (k - 1) + i)] = recv[static_cast<size_t>(3 * j + i)];
        }
    }
    double tmp = value;
    MPI_Allreduce(&value, &tmp, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    value = tmp;
}

}  // namespace commnodes
