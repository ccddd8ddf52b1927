#include "control/guard.hpp"

#include <cmath>
#include <cstddef>
#include <string>

#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

namespace guard {

namespace {

constexpr double sentinel = 1.0e6;

std::string value(double v) {
    std::string s;
    records::put_e(s, v, 10, 3);
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

std::string at(int step) {
    return "*** Error *** step " + std::to_string(step) + ", process " +
           std::to_string(commnodes::myid) + ": ";
}

// The first element whose corners are not finite or whose centre volume is
// not positive and finite, 0 when every element looks sound.
int brokenelement() {
    const double* pos = particledata::pos.data();
    for (int i = 0; i < elementdata::nb_element; ++i) {
        const element& el = elementdata::element_list[static_cast<size_t>(i)];
        double xyz[8][3];
        gather_corners(el.node, pos, xyz);
        bool finite = true;
        for (const auto& c : xyz)
            for (const double x : c) finite = finite && std::isfinite(x);
        double vol = 0.0, ijac[3][3];
        if (finite) jacobian(xyz, vol, ijac);
        if (!finite || !(vol > 0.0) || !std::isfinite(vol)) return i + 1;
    }
    return 0;
}

}  // namespace

void checkpass(int step, double dt) {
    if (elementdata::nb_element <= 0) return;
    if (dt > 0.0 && dt < sentinel) return;
    std::string m = at(step);
    if (std::fabs(dt - sentinel) <= static_cast<double>(1.0e-5f)) {
        m += "no element gives a finite stable time step";
    } else {
        m += "the time step " + value(dt) + " is not positive and below " + value(sentinel);
    }
    const int e = brokenelement();
    if (e > 0) m += " (element " + std::to_string(e) + " has collapsed or is not finite)";
    errorstop::stop(m);
}

void checkstep(int step, double dt) {
    if (dt > 0.0 && std::isfinite(dt)) return;
    errorstop::stop(at(step) + "the time step " + value(dt) + " is not positive and finite");
}

void checkenergies(int step) {
    const double ek = simulation::engkinetic, es = simulation::engstrain;
    if (std::isfinite(ek) && std::isfinite(es)) return;
    std::string m =
        at(step) +
        (std::isfinite(ek) ? "the strain energy " + value(es) : "the kinetic energy " + value(ek)) +
        " is not finite";
    const int e = brokenelement();
    if (e > 0) m += " (element " + std::to_string(e) + " has collapsed or is not finite)";
    errorstop::stop(m);
}

void checkoutput(int step) {
    const double* pos = particledata::pos.data();
    const std::size_t n =
        3 * static_cast<std::size_t>(particledata::nb_particle > 0 ? particledata::nb_particle : 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(pos[i]))
            errorstop::stop(at(step) + "node " + std::to_string(i / 3 + 1) +
                            " has a non-finite coordinate");
    }
    for (int c = 0; c < dataout::ncurves; ++c) {
        const int opt = dataout::curveoption[static_cast<size_t>(c)];
        if (opt < 1 || opt > 5 || opt == 3) continue;
        const int e = dataout::curvepoint[static_cast<size_t>(c)];
        const element& el = elementdata::element_list[static_cast<size_t>(e - 1)];
        const history& h = materialdata::history_list[static_cast<size_t>(el.nhistory - 1)];
        const double v = opt == 1 ? h.seqv : opt == 2 ? h.epeff : opt == 4 ? h.sm : h.vol0;
        if (!std::isfinite(v))
            errorstop::stop(at(step) + "curve " + std::to_string(c + 1) + " of element " +
                            std::to_string(e) + " is not finite (" + value(v) + ")");
    }
}

}  // namespace guard
