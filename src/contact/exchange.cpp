#include "contact/exchange.hpp"

#include <mpi.h>

#include <cstddef>

#include "model/model.hpp"

namespace contact {

box emptybox() { return {{1e300, 1e300, 1e300}, {-1e300, -1e300, -1e300}}; }

void enclose(box& b, const double x[3]) {
    for (int c = 0; c < 3; ++c) {
        if (x[c] < b.lo[c]) b.lo[c] = x[c];
        if (x[c] > b.hi[c]) b.hi[c] = x[c];
    }
}

bool overlaps(const box& a, const box& b, double pad) {
    for (int c = 0; c < 3; ++c)
        if (a.lo[c] - pad > b.hi[c] + pad || b.lo[c] - pad > a.hi[c] + pad) return false;
    return true;
}

std::vector<box> gatherboxes(const box& mine) {
    const int np = commnodes::nprocs;
    std::vector<box> all(static_cast<std::size_t>(np));
    if (np <= 1) {
        all[0] = mine;
        return all;
    }
    MPI_Allgather(&mine, 6, MPI_DOUBLE, all.data(), 6, MPI_DOUBLE, MPI_COMM_WORLD);
    return all;
}

std::vector<std::vector<double>> sendpartners(const std::vector<std::vector<double>>& out,
                                              const std::vector<char>& partner) {
    const int np = commnodes::nprocs;
    const int me = commnodes::myid;
    std::vector<std::vector<double>> in(static_cast<std::size_t>(np));
    if (np <= 1) {
        in[0] = out[0];
        return in;
    }
    std::vector<MPI_Request> req;
    for (int q = 0; q < np; ++q) {
        const std::vector<double>& o = out[static_cast<std::size_t>(q)];
        if (q == me || !partner[static_cast<std::size_t>(q)]) continue;
        req.emplace_back();
        MPI_Isend(o.data(), static_cast<int>(o.size()), MPI_DOUBLE, q, 7303, MPI_COMM_WORLD,
                  &req.back());
    }
    for (int q = 0; q < np; ++q) {
        if (q == me || !partner[static_cast<std::size_t>(q)]) continue;
        MPI_Status status;
        MPI_Probe(q, 7303, MPI_COMM_WORLD, &status);
        int n = 0;
        MPI_Get_count(&status, MPI_DOUBLE, &n);
        std::vector<double>& i = in[static_cast<std::size_t>(q)];
        i.resize(static_cast<std::size_t>(n));
        MPI_Recv(i.data(), n, MPI_DOUBLE, q, 7303, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    }
    MPI_Waitall(static_cast<int>(req.size()), req.data(), MPI_STATUSES_IGNORE);
    in[static_cast<std::size_t>(me)] = out[static_cast<std::size_t>(me)];
    return in;
}

std::vector<std::vector<double>> sendknown(const std::vector<std::vector<double>>& out,
                                           const std::vector<std::size_t>& incount) {
    const int np = commnodes::nprocs;
    const int me = commnodes::myid;
    std::vector<std::vector<double>> in(static_cast<std::size_t>(np));
    std::vector<MPI_Request> req;
    for (int q = 0; q < np; ++q) {
        const std::size_t n = incount[static_cast<std::size_t>(q)];
        if (q == me || n == 0) continue;
        in[static_cast<std::size_t>(q)].resize(n);
        req.emplace_back();
        MPI_Irecv(in[static_cast<std::size_t>(q)].data(), static_cast<int>(n), MPI_DOUBLE, q, 7302,
                  MPI_COMM_WORLD, &req.back());
    }
    for (int q = 0; q < np; ++q) {
        const std::vector<double>& o = out[static_cast<std::size_t>(q)];
        if (q == me || o.empty()) continue;
        req.emplace_back();
        MPI_Isend(o.data(), static_cast<int>(o.size()), MPI_DOUBLE, q, 7302, MPI_COMM_WORLD,
                  &req.back());
    }
    MPI_Waitall(static_cast<int>(req.size()), req.data(), MPI_STATUSES_IGNORE);
    return in;
}

double globalmax(double v) {
    if (commnodes::nprocs <= 1) return v;
    double r = v;
    MPI_Allreduce(&v, &r, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    return r;
}

double globalmin(double v) {
    if (commnodes::nprocs <= 1) return v;
    double r = v;
    MPI_Allreduce(&v, &r, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    return r;
}

}  // namespace contact
