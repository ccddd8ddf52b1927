#include "parallel/ownership.hpp"

#include <cstddef>

#include "model/model.hpp"

namespace commnodes {

std::vector<double> ownednodes() {
    const int np = particledata::nb_particle > 0 ? particledata::nb_particle : 0;
    std::vector<double> owned(static_cast<std::size_t>(np), 1.0);
    const int n = ncomde > 0 ? ncomde : 0;
    for (int j = 0; j < n; ++j) {
        const int k = mycnode[static_cast<std::size_t>(j)];
        if (k < 1 || k > np) continue;
        for (int p = 0; p < myid; ++p) {
            if (comnode[static_cast<std::size_t>(p) * static_cast<std::size_t>(n) +
                        static_cast<std::size_t>(j)] != 0)
                owned[static_cast<std::size_t>(k - 1)] = 0.0;
        }
    }
    return owned;
}

}  // namespace commnodes
