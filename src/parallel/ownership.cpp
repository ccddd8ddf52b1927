#include "parallel/ownership.hpp"

#include <mpi.h>

#include <cstddef>

#include "model/model.hpp"

namespace commnodes {

std::vector<double> ownednodes() {
    const int np = particledata::nb_particle > 0 ? particledata::nb_particle : 0;
    std::vector<double> owned(static_cast<std::size_t>(np), 1.0);
    auto disown = [&](int k) {
        if (k >= 1 && k <= np) owned[static_cast<std::size_t>(k - 1)] = 0.0;
    };
    if (sparse) {
        // A node shared with a lower-numbered neighbour is counted there.
        for (std::size_t i = 0; i < nbproc.size(); ++i) {
            if (nbproc[i] >= myid) continue;
            for (int e = nbstart[i]; e < nbstart[i + 1]; ++e)
                disown(nbnode[static_cast<std::size_t>(e)]);
        }
        return owned;
    }
    // Dense table: each process holds only its own row, so the lowest
    // process holding each slot is found by one minimum over all processes.
    const int n = ncomde > 0 ? ncomde : 0;
    std::vector<int> holder(static_cast<std::size_t>(n)), lowest(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j)
        holder[static_cast<std::size_t>(j)] =
            mycnode[static_cast<std::size_t>(j)] != 0 ? myid : nprocs;
    if (n > 0) MPI_Allreduce(holder.data(), lowest.data(), n, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    for (int j = 0; j < n; ++j)
        if (lowest[static_cast<std::size_t>(j)] < myid)
            disown(mycnode[static_cast<std::size_t>(j)]);
    return owned;
}

}  // namespace commnodes
