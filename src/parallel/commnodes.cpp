#include "parallel/commnodes.hpp"

#include <mpi.h>

#include <cstdio>
#include <fstream>
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

}  // namespace

void readcomnode() {
    std::ifstream in("Comm");
    if (!in) {
        errorstop::writeline(records::listed("Open file error!!!"));
        errorstop::stop();
    }
    CommTable table;
    const std::string fault = readcommtable(in, nprocs, table);
    if (!fault.empty()) comm_error(fault);
    ncomde = table.ncomde;
    const int n = ncomde > 0 ? ncomde : 0;
    comnode = std::move(table.comnode);
    mycnode.assign(static_cast<size_t>(n), 0);
    for (int j = 0; j < n; ++j)
        mycnode[static_cast<size_t>(j)] = comnode[static_cast<size_t>(myid) * n + j];
    std::string name = deckname(myid);
    name.resize(100, ' ');
    ffi::fileinp = name;
}

void checkcomnode() {
    const int np = particledata::nb_particle;
    for (size_t j = 0; j < mycnode.size(); ++j) {
        int k = mycnode[j];
        if (k < 0 || k > np)
            errorstop::stop("*** Error *** file Comm: slot " + std::to_string(j + 1) +
                            " of process " + std::to_string(myid) + " holds node " +
                            std::to_string(k) + ", outside 0.." + std::to_string(np));
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
    double tmp = value;
    MPI_Allreduce(&value, &tmp, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    value = tmp;
}

}  // namespace commnodes
