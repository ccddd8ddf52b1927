// The table of failure criteria: the Johnson-Cook constants it refuses where
// the failure strain is not positive at a reachable state and those it
// accepts (published sets among them), and the material models each
// criterion acts on.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>

#include "failure/failtable.hpp"
#include "input/grammar.hpp"
#include "material/catalog.hpp"

namespace {

std::string shown(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

// The failure strain as the failure pass forms it.
double failurestrain(const std::array<double, 5>& d, double s, double rate, double tstar) {
    return (d[0] + d[1] * std::exp(d[2] * s)) * (1.0 + d[3] * std::log(std::fmax(rate, 1.0))) *
           (1.0 + d[4] * tstar);
}

}  // namespace

// Accepted constants give a positive failure strain at every corner of the
// reachable states (triaxiality -1.5..1.5, rate ratio 1..1e20, homologous
// temperature 0..1); refused ones name the factor that fails.
TEST(FailureTable, JohnsonCookConstantsNeedAPositiveFailureStrain) {
    struct Case {
        const char* name;
        std::array<double, 5> d;
        const char* fault;  // part of the message, empty when accepted
    };
    const double d4bound = -1.0 / std::log(1.0e20);
    const Case cases[] = {
        {"4340 steel", {0.05, 3.44, -2.12, 0.002, 0.61}, ""},
        {"Armco iron, D1 negative", {-2.20, 5.43, -0.47, 0.016, 0.63}, ""},
        {"plate of the perforation example, D4 negative", {0.02115, 0.5196, -0.54, -0.015, 0}, ""},
        {"D4 and D5 just inside", {0.05, 3.44, -2.12, 0.999 * d4bound, -0.99}, ""},
        {"D1 and D2 zero", {0.0, 0.0, -2.12, 0.002, 0.61}, "got 0 at s = -1.5"},
        {"D2 negative beyond D1 in tension", {0.5, -0.2, 1.0, 0.0, 0.0}, "at s = 1.5"},
        {"D2 zero and exp(D3 s) beyond the doubles", {0.1, 0.0, 1000.0, 0.0, 0.0}, "D1 + D2"},
        {"D4 just below its bound", {0.05, 3.44, -2.12, 1.001 * d4bound, 0.61}, "D4"},
        {"D5 -1", {0.05, 3.44, -2.12, 0.002, -1.0}, "D5 (jc) must be above -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const grammar::failurerecord r{1, 1, {c.d.begin(), c.d.end()}};
        const std::string fault = grammar::failurefault(r, 1, shown);
        if (*c.fault) {
            EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
            EXPECT_EQ(fault.rfind("fail: ", 0), 0u) << fault;
            continue;
        }
        EXPECT_EQ(fault, "");
        for (double s : {-1.5, 1.5})
            for (double rate : {1.0, 1.0e20})
                for (double tstar : {0.0, 1.0})
                    EXPECT_GT(failurestrain(c.d, s, rate, tstar), 0.0)
                        << s << " " << rate << " " << tstar;
    }
}

// Johnson-Cook damage acts on the Johnson-Cook flow stresses only, the
// plastic strain limit on the models that keep a plastic strain (pla1 with
// "cons" only), the other criteria on every model; a set without a "mate"
// record offers nothing.
TEST(FailureTable, CriteriaActOnTheModelsThatOfferWhatTheyNeed) {
    struct Case {
        const char* model;
        // The criteria refused (in table order: jc epsp prin spal step cdam
        // shea), "x" for refused, with "cons" off and on.
        const char* off;
        const char* on;
    };
    const Case cases[] = {
        {"elas", "xx...x.", "xx...x."}, {"pla1", "xx...x.", "x....x."},
        {"pla2", "x....x.", "x....x."}, {"john", ".......", "......."},
        {"jcth", ".......", "......."}, {"plaw", "x....x.", "x....x."},
        {"voce", "x....x.", "x....x."}, {"", "xx...x.", "xx...x."},
    };
    int models = 0;
    for (const Case& c : cases) {
        const catalog::model* row = nullptr;
        for (const catalog::model& m : catalog::models)
            if (std::string(m.word) == c.model) row = &m;
        models += row ? 1 : 0;
        for (int k = 1; k <= failtable::count; ++k) {
            const failtable::criterion& crit = failtable::table[k - 1];
            const grammar::failurerecord r{k, crit.perset ? 1 : 0,
                                           std::vector<double>(crit.values.size(), 0.5)};
            for (bool cons : {false, true}) {
                const char want = (cons ? c.on : c.off)[k - 1];
                const std::string fault = grammar::failuremodelfault(r, row, cons);
                EXPECT_EQ(fault.empty(), want == '.')
                    << c.model << " " << crit.word << " cons " << cons << ": " << fault;
            }
        }
    }
    EXPECT_EQ(models, catalog::nmodels);
    EXPECT_EQ(failtable::count, 7);
}
