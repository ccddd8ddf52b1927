// The criteria of the "fail" block, one row each: the word of its record,
// whether a material set follows the word, the values after it (name, unit,
// valid range, the field of `failurecriteria` the solver fills), which
// material models it can act on (by the flags of their rows in
// material/catalog.hpp), whether it measures from the deck geometry, and its
// help line.
//
// Everything that knows a criterion reads it from here: the words the "fail"
// block is matched against (input/vocabulary.hpp), the reading and checking
// of its records (input/grammar.hpp, for the solver and the tools alike), the
// moving of the values into the model data (input/datain.cpp), the deck
// coordinates the failure pass keeps (failure/failure.cpp) and the help
// texts. A criterion's number is its position in `table`, 1-based (entry 1 of
// the block's word table is its end, "endf", so record word k is criterion
// k - 1); never reorder the rows.
//
// Free of MPI and of the model data's storage: the tools include it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <span>
#include <string>

#include "material/catalog.hpp"
#include "model/model.hpp"

namespace failtable {

inline constexpr double inf = std::numeric_limits<double>::infinity();

// One value of a record after its set. It is valid when above `lo` (at `lo`
// too unless `loopen`) and below `hi` (at `hi` too unless `hiopen`); NaN never
// is. The messages name it by `what` and say the range as `rule`; a value
// without a rule is only checked with others, by its row's cross check.
struct value {
    const char* name;  // in the help texts: LIMIT, D1
    const char* what;  // in the messages: "tension limit (spal)"
    const char* unit;  // SI unit, "1" for a pure number
    // The field of the set's criteria the solver fills; nullptr for the
    // value of a record without a set (the step fraction, which the solver
    // keeps in failuredata::stepfraction).
    double failurecriteria::*field;
    const char* rule = nullptr;
    double lo = -inf, hi = inf;
    bool loopen = false, hiopen = false;
};

constexpr bool valid(const value& v, double x) {
    if (!v.rule) return true;
    // A closed bound as the deck writes it is met (catalog::readlow).
    const bool above = v.loopen ? x > v.lo : x >= catalog::readlow(v.lo);
    const bool below = v.hiopen ? x < v.hi : x <= catalog::readhigh(v.hi);
    return above && below;
}

// What a criterion asks of the model of its set: nothing (it reads the
// stress or the geometry every model has), the effective plastic strain, or
// a Johnson-Cook flow stress (the damage constants are fitted to it).
enum class needs { nothing, plasticstrain, johnsoncook };

// Whether a criterion can act on a set of model `m`; `consistent` is the
// deck's "cons" switch (as "corr on" sets it).
constexpr bool actson(needs n, const catalog::model& m, bool consistent) {
    switch (n) {
        case needs::nothing: return true;
        case needs::plasticstrain: return m.keepsplasticstrain(consistent);
        case needs::johnsoncook: return m.johnsoncook;
    }
    return false;
}

// The Johnson-Cook failure strain eps_f = [D1 + D2 exp(D3 s)] [1 + D4 ln
// rate*] [1 + D5 T*] must be positive in every state an element can reach,
// or an element erodes at its first plastic increment. The triaxiality s is
// any real in principle; the constants are fitted (and checked) over
// -1.5..1.5, from compression past the uniaxial -1/3 to the tension of a
// notched bar. The rate ratio rate* is at least 1 and unbounded above: a
// negative D4 is taken up to rate* = 1e20 (1e17 per second over john's
// reference rate, far beyond any impact). T* lies in 0..1.
inline constexpr double triaxialitymax = 1.5;
inline constexpr double ratemax = 1.0e20;
inline constexpr double lnratemax = 46.051701859880914;  // ln 1e20

// D1 + D2 exp(D3 s), the stress factor of the failure strain.
inline double stressfactor(double d1, double d2, double d3, double s) {
    return d1 + d2 * std::exp(d3 * s);
}

// What is wrong with D1, D2, D3 of a "jc" record, or empty: the stress
// factor, monotonic in s, must be positive at both ends of the triaxiality
// range. `show` prints a real as the reader's messages do.
inline std::string jcstressfault(std::span<const double> d,
                                 const std::function<std::string(double)>& show) {
    for (const double s : {-triaxialitymax, triaxialitymax}) {
        const double f = stressfactor(d[0], d[1], d[2], s);
        if (!(f > 0.0))
            return "jc stress factor D1 + D2 exp(D3 s) must be positive for triaxiality s in "
                   "-1.5..1.5, got " +
                   show(f) + " at s = " + show(s) + " (D1 " + show(d[0]) + ", D2 " + show(d[1]) +
                   ", D3 " + show(d[2]) + ")";
    }
    return {};
}

// clang-format off
inline constexpr value jcd1{.name = "D1", .what = "Johnson-Cook D1 (jc)", .unit = "1",
    .field = &failurecriteria::d1};
inline constexpr value jcd2{.name = "D2", .what = "Johnson-Cook D2 (jc)", .unit = "1",
    .field = &failurecriteria::d2};
inline constexpr value jcd3{.name = "D3", .what = "Johnson-Cook D3 (jc)", .unit = "1",
    .field = &failurecriteria::d3};
inline constexpr value jcd4{.name = "D4", .what = "Johnson-Cook rate constant D4 (jc)",
    .unit = "1", .field = &failurecriteria::d4,
    .rule = "above -1/ln(1e20) = -0.0217 (1 + D4 ln rate* positive for rate* up to 1e20)",
    .lo = -1.0 / lnratemax, .loopen = true};
inline constexpr value jcd5{.name = "D5", .what = "Johnson-Cook temperature constant D5 (jc)",
    .unit = "1", .field = &failurecriteria::d5,
    .rule = "above -1 (1 + D5 T* positive for T* in 0..1)", .lo = -1.0, .loopen = true};
inline constexpr value jc_v[] = {jcd1, jcd2, jcd3, jcd4, jcd5};
inline constexpr value epsp_v[] = {{.name = "LIMIT", .what = "plastic strain limit (epsp)",
    .unit = "1", .field = &failurecriteria::epsmax, .rule = "positive", .lo = 0.0,
    .loopen = true}};
inline constexpr value prin_v[] = {{.name = "LIMIT", .what = "principal strain limit (prin)",
    .unit = "1", .field = &failurecriteria::prinmax, .rule = "positive", .lo = 0.0,
    .loopen = true}};
inline constexpr value spal_v[] = {{.name = "LIMIT", .what = "tension limit (spal)",
    .unit = "Pa", .field = &failurecriteria::tension, .rule = "positive", .lo = 0.0,
    .loopen = true}};
inline constexpr value step_v[] = {{.name = "FRACTION", .what = "erosion step fraction (step)",
    .unit = "1", .field = nullptr, .rule = "within 1e-6..0.999", .lo = 1.0e-6, .hi = 0.999}};
inline constexpr value cdam_v[] = {{.name = "DC", .what = "critical damage (cdam)", .unit = "1",
    .field = &failurecriteria::dcrit, .rule = "above 0 and below 1", .lo = 0.0, .hi = 1.0,
    .loopen = true, .hiopen = true}};
inline constexpr value shea_v[] = {{.name = "LIMIT", .what = "shear strain limit (shea)",
    .unit = "1", .field = &failurecriteria::shearmax, .rule = "positive", .lo = 0.0,
    .loopen = true}};
// clang-format on

struct criterion {
    const char* word;  // the record's word, at most 4 characters
    // In the messages of a criterion that needs something of its model:
    // "Johnson-Cook damage (jc)".
    const char* what;
    bool perset;  // a material set follows the word (else the record holds for every set)
    std::span<const value> values;
    needs model = needs::nothing;
    // It compares the element's shape with its shape in the deck: the
    // failure pass keeps the deck coordinates when a set uses it.
    bool deckgeometry = false;
    // Bool field of the set's criteria that switches it on; nullptr for a
    // limit, which is on when positive.
    bool failurecriteria::*on = nullptr;
    // Check of several values together (its message, or empty), run once the
    // first `crossafter` values have passed their own checks.
    std::string (*cross)(std::span<const double>,
                         const std::function<std::string(double)>&) = nullptr;
    std::size_t crossafter = 0;
    const char* help = "";  // what it does, one sentence
};

// clang-format off
inline constexpr criterion table[] = {
    {.word = "jc", .what = "Johnson-Cook damage (jc)", .perset = true, .values = jc_v,
     .model = needs::johnsoncook, .on = &failurecriteria::jc, .cross = jcstressfault,
     .crossafter = 3,
     .help = "Johnson-Cook damage: D += d eps_p / eps_f, eps_f = [D1 + D2 exp(D3 s)] [1 + D4 "
     "ln rate*] [1 + D5 T*], refused unless eps_f > 0 for triaxiality s in -1.5..1.5, rate* up "
     "to 1e20 and T* in 0..1"},
    {.word = "epsp", .what = "plastic strain limit (epsp)", .perset = true, .values = epsp_v,
     .model = needs::plasticstrain, .help = "effective plastic strain limit"},
    {.word = "prin", .what = "principal strain limit (prin)", .perset = true, .values = prin_v,
     .deckgeometry = true,
     .help = "limit of the largest principal strain, stretch minus 1 from the deck geometry"},
    {.word = "spal", .what = "tension limit (spal)", .perset = true, .values = spal_v,
     .help = "limit of the mean stress in tension, Pa"},
    {.word = "step", .what = "erosion step fraction (step)", .perset = false, .values = step_v,
     .help = "erodes an element whose step falls below FRACTION times the shortest initial "
     "element step"},
    {.word = "cdam", .what = "critical damage (cdam)", .perset = true, .values = cdam_v,
     .model = needs::johnsoncook,
     .help = "couples the set's Johnson-Cook damage D (its jc record) to its flow stress, scaled "
     "by 1 - DC D; the element erodes at D = 1"},
    {.word = "shea", .what = "shear strain limit (shea)", .perset = true, .values = shea_v,
     .deckgeometry = true,
     .help = "limit of the largest engineering shear strain eps_1 - eps_3, the largest minus "
     "the smallest principal stretch from the deck geometry"},
};
// clang-format on

inline constexpr int count = static_cast<int>(std::size(table));

// The row of criterion number k (1-based), nullptr when there is none.
constexpr const criterion* find(int k) { return k >= 1 && k <= count ? &table[k - 1] : nullptr; }

// The block's words, 4 characters each: its end "endf", then the criteria in
// row order, as the deck's keyword search takes them.
constexpr std::array<char, 4 * (count + 1) + 1> joinwords() {
    std::array<char, 4 * (count + 1) + 1> a{};
    for (std::size_t i = 0; i < 4; ++i) a[i] = "endf"[i];
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
        bool ended = false;
        for (std::size_t i = 0; i < 4; ++i) {
            ended = ended || table[k].word[i] == '\0';
            a[4 * (k + 1) + i] = ended ? ' ' : table[k].word[i];
        }
    }
    return a;
}
inline constexpr std::array<char, 4 * (count + 1) + 1> words = joinwords();

// The words of the models a criterion needing `n` acts on, "john or jcth";
// a model that keeps its plastic strain only with "cons" says so.
inline std::string modelwords(needs n) {
    std::string list, last;
    for (const catalog::model& m : catalog::models) {
        if (!actson(n, m, true)) continue;
        if (!last.empty()) list += list.empty() ? last : ", " + last;
        last = m.word;
        if (!actson(n, m, false)) last += " with \"cons on\" or \"corr on\"";
    }
    return list.empty() ? last : list + " or " + last;
}

// "endf, jc, epsp, ... or shea".
inline std::string wordlist() {
    std::string s = "endf";
    for (int k = 0; k < count; ++k)
        s += std::string(k == count - 1 ? " or " : ", ") + table[k].word;
    return s;
}

// The paragraph of the help texts: each record with its values, its help
// below.
inline std::string help() {
    std::string s = "\nFailure records of the \"fail\" block (up to \"endf\", S a material set):\n";
    for (const criterion& c : table) {
        std::string line = c.word;
        if (c.perset) line += " S";
        for (const value& v : c.values) line += std::string(" ") + v.name;
        s += catalog::wrap(line, 2, 7, 79);
        std::string text = c.help;
        if (c.model != needs::nothing) text += " (" + modelwords(c.model) + ")";
        s += catalog::wrap(text, 6, 6, 79);
    }
    return s;
}

}  // namespace failtable
