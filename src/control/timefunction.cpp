#include "control/timefunction.hpp"

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

double currenttmfunction(const double& t) {
    using timefunctiondata::lentmfunction;
    using timefunctiondata::tmfunction;
    double result = 0.0;
    const int n = lentmfunction;
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
