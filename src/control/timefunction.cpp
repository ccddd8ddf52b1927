#include "control/timefunction.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

namespace {

double evaluate(const std::vector<tmpoint>& tmfunction, int n, double t) {
    double result = 0.0;
    if (n < 1) return 0.0;
    // Every interval is visited; the last interval that holds t wins, so at an
    // interior point the later interval decides, and two points at the same
    // time make a jump to the later value.
    for (int i = 1; i <= n; ++i) {
        const tmpoint& p = tmfunction[static_cast<size_t>(i - 1)];
        if (p.time > t) continue;
        if (i == n) {
            std::string l2 = "    Current time = ";
            records::put_e(l2, t, 10, 3);
            std::string l3 = "    End time of the time function = ";
            records::put_e(l3, p.time, 10, 3);
            errorstop::writeline(" ***Error*** Current time is out of time function ! ");
            errorstop::writeline(l2);
            errorstop::writeline(l3);
            errorstop::stop();
        }
        const tmpoint& q = tmfunction[static_cast<size_t>(i)];
        if (q.time < t) continue;
        result = p.value + (t - p.time) * (q.value - p.value) / (q.time - p.time);
    }
    return result;
}

}  // namespace

double currenttmfunction(const double& t) {
    return evaluate(timefunctiondata::tmfunction, timefunctiondata::lentmfunction, t);
}

double functionvalue(int f, double t) {
    if (f == 1) return currenttmfunction(t);
    const std::vector<tmpoint>& table = timefunctiondata::functions[static_cast<size_t>(f - 1)];
    return evaluate(table, static_cast<int>(table.size()), t);
}

void currentfunctions(double t) {
    if (particledata::fpfunc.empty()) return;
    const std::size_t nf = std::max<std::size_t>(timefunctiondata::functions.size(), 1);
    timefunctiondata::current.assign(nf, 0.0);
    for (std::size_t f = 0; f < nf; ++f)
        if (f == 0 || !timefunctiondata::functions[f].empty())
            timefunctiondata::current[f] = functionvalue(static_cast<int>(f + 1), t);
}
