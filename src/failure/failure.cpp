#include "failure/failure.hpp"

#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "failure/failtable.hpp"
#include "material/catalog.hpp"
#include "material/models.hpp"
#include "model/model.hpp"

namespace failure {

namespace {

// An element of a rigid set: it never enters the pass and never erodes.
bool inrigidset(const element& el) {
    return !rigiddata::setbody.empty() &&
           rigiddata::setbody[static_cast<std::size_t>(el.mat - 1)] != 0;
}

bool ready = false;
std::vector<double> epprev;  // per element, effective plastic strain at the last pass
std::vector<double> wp;      // per element, plastic work done, J
std::vector<double> x0;      // deck coordinates (principal strain limits only)
double step0 = 0.0;          // shortest initial element step, s
bool countbehind = false;    // elements have eroded since nerodedjob was summed

// The right Cauchy-Green tensor C = F^T F of the element's deformation at its
// centre, from deck coordinates X to current x; false for an element
// degenerate in the deck.
bool centrestretch(const double X[8][3], const double x[8][3], double C[3][3]) {
    static const double sg[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                    {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    double J[3][3] = {}, G[3][3] = {};
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) {
                J[i][k] += 0.125 * X[a][i] * sg[a][k];
                G[i][k] += 0.125 * x[a][i] * sg[a][k];
            }
    double Ji[3][3], det = 0.0;
    innve(J, Ji, det);
    if (!(det != 0.0)) return false;
    double F[3][3] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) F[i][j] += G[i][k] * Ji[k][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            C[i][j] = 0.0;
            for (int k = 0; k < 3; ++k) C[i][j] += F[k][i] * F[k][j];
        }
    return true;
}

// The eigenvalues of the symmetric C by the trigonometric solution: its
// mean q, the spread p of its deviator and the angle phi, the largest
// eigenvalue being q + 2 p cos(phi) and the smallest q + 2 p cos(phi +
// 2 pi / 3). p is 0 for a spherical C.
struct eigenangle {
    double q, p, phi;
};

eigenangle eigenvalues(const double C[3][3]) {
    const double p1 = C[0][1] * C[0][1] + C[0][2] * C[0][2] + C[1][2] * C[1][2];
    const double q = (C[0][0] + C[1][1] + C[2][2]) / 3.0;
    const double p2 = (C[0][0] - q) * (C[0][0] - q) + (C[1][1] - q) * (C[1][1] - q) +
                      (C[2][2] - q) * (C[2][2] - q) + 2.0 * p1;
    const double p = std::sqrt(p2 / 6.0);
    if (!(p > 0.0)) return {q, p, 0.0};
    double B[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) B[i][j] = (C[i][j] - (i == j ? q : 0.0)) / p;
    const double r = 0.5 * (B[0][0] * (B[1][1] * B[2][2] - B[1][2] * B[2][1]) -
                            B[0][1] * (B[1][0] * B[2][2] - B[1][2] * B[2][0]) +
                            B[0][2] * (B[1][0] * B[2][1] - B[1][1] * B[2][0]));
    return {q, p, std::acos(std::fmax(-1.0, std::fmin(1.0, r))) / 3.0};
}

// Reference strain rate of the rate term of a Johnson-Cook material: the
// field its row names, or the fixed rate.
double referencerate(const material& m, const catalog::model& row) {
    return row.refrate ? m.*row.refrate : catalog::fixedrate;
}

double elementstep(const element& el) {
    double xyz[8][3], vol = 0.0, ijac[3][3], edist = 1.0;
    gather_corners(el.node, particledata::pos.data(), xyz);
    jacobian(xyz, vol, ijac);
    const material& m = materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)];
    return elementlength(xyz, vol, edist) / m.wavespeed;
}

// Some set uses a criterion that compares the element with its deck shape
// (its limit is positive): the pass keeps the deck coordinates.
bool usesdeckgeometry() {
    for (const failtable::criterion& row : failtable::table)
        if (row.deckgeometry)
            for (const failurecriteria& c : failuredata::criteria)
                if (c.*row.values[0].field > 0.0) return true;
    return false;
}

void erode(std::size_t e) {
    using namespace failuredata;
    const element& el = elementdata::element_list[e];
    history& h = materialdata::history_list[static_cast<std::size_t>(el.nhistory - 1)];
    const material& m = materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)];
    // The work the element absorbed over its life (its specific internal
    // energy, kept for every element when erosion is on) leaves with it.
    engeroded += m.density * h.vol0 * h.eint;
    for (double& s : h.sd) s = 0.0;
    h.sm = h.seqv = h.q = 0.0;
    damage[e] = 1.0;
    eroded[e] = 1;
    neroded += 1;
}

}  // namespace

double principalstrain(const double X[8][3], const double x[8][3]) {
    double C[3][3];
    if (!centrestretch(X, x, C)) return 0.0;
    const eigenangle e = eigenvalues(C);
    if (!(e.p > 0.0)) return std::sqrt(e.q) - 1.0;
    return std::sqrt(e.q + 2.0 * e.p * std::cos(e.phi)) - 1.0;
}

double shearstrain(const double X[8][3], const double x[8][3]) {
    double C[3][3];
    if (!centrestretch(X, x, C)) return 0.0;
    const eigenangle e = eigenvalues(C);
    if (!(e.p > 0.0)) return 0.0;
    constexpr double third = 2.0943951023931953;  // 2 pi / 3
    const double largest = e.q + 2.0 * e.p * std::cos(e.phi);
    const double smallest = e.q + 2.0 * e.p * std::cos(e.phi + third);
    return std::sqrt(largest) - std::sqrt(std::fmax(smallest, 0.0));
}

std::vector<double>& previousstrain() { return epprev; }
std::vector<double>& plasticwork() { return wp; }

void reset() {
    ready = false;
    epprev.clear();
    wp.clear();
    x0.clear();
    step0 = 0.0;
    countbehind = false;
}

void prepare() {
    using namespace failuredata;
    const std::size_t ne = static_cast<std::size_t>(elementdata::nb_element);
    damage.assign(ne, 0.0);
    eroded.assign(ne, 0);
    epprev.assign(ne, 0.0);
    wp.assign(ne, 0.0);
    if (usesdeckgeometry()) x0 = particledata::pos;
    double s = 1e300;
    if (stepfraction > 0.0)
        for (const element& el : elementdata::element_list) s = std::fmin(s, elementstep(el));
    step0 = s;
    if (commnodes::nprocs > 1) MPI_Allreduce(&s, &step0, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    ready = true;
}

void start() {
    if (!ready) prepare();
    countbehind = false;
    failuredata::nerodedjob = failuredata::neroded;
    if (commnodes::nprocs > 1)
        MPI_Allreduce(&failuredata::neroded, &failuredata::nerodedjob, 1, MPI_INT, MPI_SUM,
                      MPI_COMM_WORLD);
    // The flow-stress factors of coupled damage, from the damage (restored
    // with a restart).
    failuredata::weakening.clear();
    bool coupled = false;
    for (const failurecriteria& c : failuredata::criteria)
        coupled = coupled || (c.jc && c.dcrit > 0.0);
    if (coupled) {
        failuredata::weakening.assign(materialdata::history_list.size(), 1.0);
        for (std::size_t e = 0; e < failuredata::damage.size(); ++e) {
            const element& el = elementdata::element_list[e];
            const failurecriteria& c = failuredata::criteria[static_cast<std::size_t>(el.mat - 1)];
            if (c.jc && c.dcrit > 0.0)
                failuredata::weakening[static_cast<std::size_t>(el.nhistory - 1)] =
                    1.0 - c.dcrit * failuredata::damage[e];
        }
    }
    // A restored run rebuilds the list of the elements still in the model.
    failuredata::active.clear();
    failuredata::anyeroded = failuredata::neroded > 0;
    if (failuredata::anyeroded)
        for (std::size_t e = 0; e < failuredata::eroded.size(); ++e)
            if (!failuredata::eroded[e] && !inrigidset(elementdata::element_list[e]))
                failuredata::active.push_back(elementdata::element_list[e]);
}

int afterpass() {
    using namespace failuredata;
    const std::size_t ne = static_cast<std::size_t>(elementdata::nb_element);
    const double dt = simulation::dtk;
    const int before = neroded;
    for (std::size_t e = 0; e < ne; ++e) {
        if (eroded[e]) continue;
        const element& el = elementdata::element_list[e];
        if (inrigidset(el)) continue;
        const history& h = materialdata::history_list[static_cast<std::size_t>(el.nhistory - 1)];
        const material& m = materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)];
        const failurecriteria& c = criteria[static_cast<std::size_t>(el.mat - 1)];
        const double dep = h.epeff - epprev[e];
        epprev[e] = h.epeff;
        if (dep > 0.0) {
            wp[e] += h.seqv * dep * h.vol0;
            if (c.jc) {
                const catalog::model& row = catalog::models[m.mtype - 1];
                // Triaxiality from the von Mises stress of the deviator, the
                // same in every frame whatever the material's own measure.
                const double vm = materialdata::vonmisesstress(h.sd);
                const double triax = vm > 0.0 ? h.sm / vm : 0.0;
                const double rate = dt > 0.0 ? dep / dt / referencerate(m, row) : 1.0;
                double tstar = 0.0;
                if (row.hastemperature() && m.tmelt > m.troom)
                    tstar =
                        std::fmax(0.0, std::fmin(1.0, (h.temp - m.troom) / (m.tmelt - m.troom)));
                const double ef = (c.d1 + c.d2 * std::exp(c.d3 * triax)) *
                                  (1.0 + c.d4 * std::log(std::fmax(rate, 1.0))) *
                                  (1.0 + c.d5 * tstar);
                damage[e] = ef > 0.0 ? std::fmin(1.0, damage[e] + dep / ef) : 1.0;
                if (!weakening.empty())
                    weakening[static_cast<std::size_t>(el.nhistory - 1)] =
                        1.0 - c.dcrit * damage[e];
            }
        }
        bool fails = damage[e] >= 1.0;
        fails = fails || (c.epsmax > 0.0 && h.epeff >= c.epsmax);
        fails = fails || (c.tension > 0.0 && h.sm >= c.tension);
        if (!fails && (c.prinmax > 0.0 || c.shearmax > 0.0)) {
            double X[8][3], x[8][3];
            gather_corners(el.node, x0.data(), X);
            gather_corners(el.node, particledata::pos.data(), x);
            if (c.prinmax > 0.0) fails = principalstrain(X, x) >= c.prinmax;
            if (!fails && c.shearmax > 0.0) fails = shearstrain(X, x) >= c.shearmax;
        }
        if (!fails && stepfraction > 0.0) fails = elementstep(el) < stepfraction * step0;
        if (fails) erode(e);
    }
    if (neroded > before) {
        anyeroded = true;
        active.clear();
        for (std::size_t e = 0; e < ne; ++e)
            if (!eroded[e] && !inrigidset(elementdata::element_list[e]))
                active.push_back(elementdata::element_list[e]);
    }
    return neroded - before;
}

bool agree(bool somewhere) {
    // An element eroded in this pass somewhere has made the job's count
    // grow: what it has grown to is summed only when it is read.
    if (somewhere) countbehind = true;
    return somewhere;
}

int jobcount() {
    if (countbehind) {
        failuredata::nerodedjob = failuredata::neroded;
        if (commnodes::nprocs > 1)
            MPI_Allreduce(&failuredata::neroded, &failuredata::nerodedjob, 1, MPI_INT, MPI_SUM,
                          MPI_COMM_WORLD);
        countbehind = false;
    }
    return failuredata::nerodedjob;
}

}  // namespace failure
