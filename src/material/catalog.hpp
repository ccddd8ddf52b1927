// The material models, one row each: the word of the "mate" record, the
// constants that follow it (name, unit, valid range, where the reader keeps
// them), the history fields the model carries beyond the stress, whether the
// batched element pass runs it, and its help lines.
//
// Everything that knows a model reads it from here: the solver's reader of
// "mate" records and its range messages (input/datain.cpp), the word table
// the deck is matched against (input/vocabulary.hpp), the batched pass's
// choice of path (element/batch.hpp), and the tools' deck model and help
// texts. A model's number (mtype, what the stress update switches on) is its
// position in `models`, 1-based; never reorder the rows.
//
// Free of MPI and of the model data's storage: the tools include it. The
// batched element pass, compiled for wider instruction sets, reads the rows
// and never calls the functions here.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "model/model.hpp"

namespace catalog {

inline constexpr double inf = std::numeric_limits<double>::infinity();

// One constant of a "mate" record. It is valid when above `lo` (at `lo` too
// unless `loopen`), below `hi` (at `hi` too unless `hiopen`) and, with
// `finite`, not infinite; NaN is never valid. The messages name it by `what`
// and say the range as `rule`; a constant without a rule is only checked
// with others, by its model's `cross` check.
//
// Checks run in `rank` order. Rank 0 checks run as soon as the leading
// constants of rank 0 are read (before a later word of the record that is not
// a number is reported), the others after the whole record is read, the
// model's cross check at its own rank among them.
struct constant {
    const char* name;         // in the help texts: DENSITY, YOUNG, A
    const char* what;         // in the messages: "Young's modulus"
    const char* unit;         // SI unit, "1" for a pure number
    double material::*field;  // the record field the reader fills
    const char* rule = nullptr;
    double lo = -inf, hi = inf;
    bool loopen = false, hiopen = false, finite = false;
    int rank = 0;
};

// The reals of a deck are read in single precision, the bounds of their
// ranges too: a closed bound written in the deck (1e-6, 0.999, 1e30) reads as
// its single-precision value, which may lie just outside the bound. A value
// is checked against the bound widened to that value.
constexpr double asread(double b) {
    constexpr double most = 3.4028234663852886e38;  // the largest single-precision value
    return b >= -most && b <= most ? static_cast<double>(static_cast<float>(b)) : b;
}
constexpr double readlow(double lo) { return asread(lo) < lo ? asread(lo) : lo; }
constexpr double readhigh(double hi) { return asread(hi) > hi ? asread(hi) : hi; }

// Whether v lies in the valid range of c (always, for a constant without a rule).
constexpr bool valid(const constant& c, double v) {
    if (!c.rule) return true;
    if (c.finite && !(v - v == 0.0)) return false;  // infinite or NaN
    const bool above = c.loopen ? v > c.lo : v >= readlow(c.lo);
    const bool below = c.hiopen ? v < c.hi : v <= readhigh(c.hi);
    return above && below;
}

// The constant c under another name in the help texts.
constexpr constant named(constant c, const char* name) {
    c.name = name;
    return c;
}

// clang-format off
inline constexpr constant density{.name = "DENSITY", .what = "density", .unit = "kg/m^3",
    .field = &material::density, .rule = "positive", .lo = 0.0, .loopen = true, .finite = true};
inline constexpr constant young{.name = "YOUNG", .what = "Young's modulus", .unit = "Pa",
    .field = &material::young, .rule = "positive", .lo = 0.0, .loopen = true, .finite = true};
inline constexpr constant poisson{.name = "POISSON", .what = "Poisson's ratio", .unit = "1",
    .field = &material::poisson, .rule = "above -1 and below 0.5", .lo = -1.0, .hi = 0.5,
    .loopen = true, .hiopen = true};
inline constexpr constant yield{.name = "YIELD", .what = "the yield stress", .unit = "Pa",
    .field = &material::yield0, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant tangent{.name = "TANGENT", .what = "the tangent modulus", .unit = "Pa",
    .field = &material::tangmod, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant hardb{.name = "B", .what = "the hardening modulus B", .unit = "Pa",
    .field = &material::bjc, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant hardn{.name = "N", .what = "the hardening exponent n", .unit = "1",
    .field = &material::njc, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant ratec{.name = "C", .what = "the strain-rate coefficient C", .unit = "1",
    .field = &material::cjc, .rule = "zero or positive", .lo = 0.0, .finite = true};
// m <= 0 would soften the cold material (0^m is not 0) and a share of the
// plastic work above 1 would heat it by more than its work. Temperatures are
// absolute. A specific heat below 1 J/(kg K) (no solid at room temperature
// holds less than about 100) would turn a little plastic work into millions
// of kelvin.
inline constexpr constant softm{.name = "M", .what = "the softening exponent m", .unit = "1",
    .field = &material::mjc, .rule = "positive", .lo = 0.0, .loopen = true, .finite = true,
    .rank = 2};
inline constexpr constant tmelt{.name = "TMELT", .what = "the melting temperature TMELT",
    .unit = "K", .field = &material::tmelt};
inline constexpr constant troom{.name = "TROOM", .what = "the room temperature TROOM",
    .unit = "K", .field = &material::troom, .rule = "at least 0 K", .lo = 0.0, .rank = 4};
inline constexpr constant cp{.name = "CP", .what = "the specific heat CP", .unit = "J/(kg K)",
    .field = &material::cpjc, .rule = "at least 1 J/(kg K)", .lo = 1.0, .rank = 5};
inline constexpr constant beta{.name = "BETA",
    .what = "the share of plastic work turned into heat", .unit = "1",
    .field = &material::betajc, .rule = "within 0..1", .lo = 0.0, .hi = 1.0, .rank = 3};
inline constexpr constant rate0{.name = "RATE0", .what = "the reference strain rate RATE0",
    .unit = "1/s", .field = &material::ratejc};

inline constexpr constant elas_c[] = {density, young, poisson};
inline constexpr constant pla1_c[] = {density, young, poisson, yield};
inline constexpr constant pla2_c[] = {density, young, poisson, yield, tangent};
inline constexpr constant john_c[] = {density, young, poisson, named(yield, "A"), hardb, hardn,
                                      ratec};
inline constexpr constant jcth_c[] = {density, young, poisson, named(yield, "A"), hardb, hardn,
                                      ratec, softm, tmelt, troom, cp, beta, rate0};
inline constexpr constant plaw_c[] = {density, young, poisson, named(yield, "A"), hardb, hardn};
inline constexpr constant vocq{.name = "Q", .what = "the saturation stress Q", .unit = "Pa",
    .field = &material::vocq, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant vocc{.name = "C", .what = "the saturation rate C", .unit = "1",
    .field = &material::vocc, .rule = "zero or positive", .lo = 0.0, .finite = true};
inline constexpr constant voce_c[] = {density, young, poisson, named(yield, "A"), vocq, vocc};
// clang-format on

// jcth: Tmelt above Troom, a positive cp and reference strain rate.
bool jcth_cross(const material& r);

// Whether a model keeps the effective plastic strain epeff of its elements:
// never (elas), only with "cons on" or "corr on" (pla1, whose radial return
// records nothing otherwise), or always.
enum class plasticstrain { none, withcons, kept };

struct model {
    const char* word;                      // the deck's word, 4 characters
    std::span<const constant> constants;   // in record order, after the word
    const char* history;                   // history fields beyond the stress, blank separated
    double material::*inittemp = nullptr;  // the field that starts the temperature, if any
    // What the failure criteria (failure/failtable.hpp) ask of the model: its
    // plastic strain, whether its flow stress is Johnson-Cook's (the damage
    // constants D1..D5 are fitted to it), and the field of the reference
    // strain rate of its rate term (none: the fixed 1e-3 per second of john).
    plasticstrain plastic = plasticstrain::kept;
    bool johnsoncook = false;
    double material::*refrate = nullptr;
    // Constants read strictly: a word that is not a number stops instead of
    // reading as 0 (the models after john).
    bool strict = true;
    bool lanes = false;  // the batched element pass runs it (else the scalar one)
    // Check of several constants together, with its message (without the
    // "*** Error *** " the solver puts before every message) and rank.
    bool (*cross)(const material&) = nullptr;
    const char* crossmessage = nullptr;
    int crossrank = 1;
    const char* help = "";                     // what the model is, one sentence
    const char* rate = "none (no rate term)";  // its reference strain rate

    // It carries a temperature (T* of the Johnson-Cook damage).
    constexpr bool hastemperature() const { return inittemp != nullptr; }
    // It keeps the plastic strain, with the deck's "cons" switch as given
    // (or as "corr on" sets it).
    constexpr bool keepsplasticstrain(bool consistent) const {
        return plastic == plasticstrain::kept || (plastic == plasticstrain::withcons && consistent);
    }
};

// The fixed reference strain rate of a model without a field for it (john), 1/s.
inline constexpr double fixedrate = 1.0e-3;

// clang-format off
inline constexpr model models[] = {
    {.word = "elas", .constants = elas_c, .history = "", .plastic = plasticstrain::none,
     .strict = false, .lanes = true, .help = "linear elastic"},
    {.word = "pla1", .constants = pla1_c, .history = "", .plastic = plasticstrain::withcons,
     .strict = false, .lanes = true, .help = "elastic-perfectly plastic"},
    {.word = "pla2", .constants = pla2_c, .history = "sig_y epeff", .strict = false,
     .lanes = true, .help = "linear isotropic hardening, yield stress YIELD + H eps_p with "
     "H = E TANGENT / (E - TANGENT)"},
    {.word = "john", .constants = john_c, .history = "sig_y epeff", .johnsoncook = true,
     .strict = false, .lanes = true,
     .help = "Johnson-Cook, reference strain rate 1e-3 per unit of time: ln(rate / 0.001)",
     .rate = "1e-3 per second, fixed (the rate term is ln(rate / 0.001))"},
    {.word = "jcth", .constants = jcth_c, .history = "sig_y epeff temp",
     .inittemp = &material::troom, .johnsoncook = true, .refrate = &material::ratejc,
     .lanes = true, .cross = jcth_cross,
     .crossmessage = "jcth needs Tmelt above Troom and a positive cp and reference "
                     "strain rate",
     .help = "Johnson-Cook with thermal softening 1 - T*^M and adiabatic heating BETA x plastic "
     "work / (rho CP); reference strain rate RATE0 as given, e.g. 1 for published constants",
     .rate = "the last constant of its record, RATE0 (1 per second for published constants)"},
    {.word = "plaw", .constants = plaw_c, .history = "sig_y epeff", .lanes = true,
     .help = "power-law hardening, yield stress A + B eps_p^N"},
    {.word = "voce", .constants = voce_c, .history = "sig_y epeff", .lanes = true,
     .help = "Voce hardening, yield stress A + Q (1 - exp(-C eps_p)), saturating at A + Q"},
};
// clang-format on

inline constexpr int nmodels = static_cast<int>(std::size(models));

// The row of model number mtype (1-based), nullptr when there is none.
constexpr const model* find(int mtype) {
    return mtype >= 1 && mtype <= nmodels ? &models[mtype - 1] : nullptr;
}

// The words in one string, 4 characters each, as the deck's keyword search takes them.
constexpr std::array<char, 4 * nmodels + 1> joinwords() {
    std::array<char, 4 * nmodels + 1> a{};
    for (int k = 0; k < nmodels; ++k)
        for (int i = 0; i < 4; ++i)
            a[4 * static_cast<std::size_t>(k) + static_cast<std::size_t>(i)] = models[k].word[i];
    return a;
}
inline constexpr std::array<char, 4 * nmodels + 1> words = joinwords();

// "elas, pla1, ... or plaw".
std::string wordlist(const char* last = " or ");

// `text` broken at blanks into lines of at most `width` columns, the first
// indented by `first` blanks, the others by `rest`; every line ends with a
// newline.
std::string wrap(std::string_view text, int first, int rest, int width);

// Lines "WORD NAME..." of every model, each with its help in brackets below,
// indented by `indent` and wrapped to `width` columns.
std::string constantlines(int indent, int width = 79);

// The paragraph every help text ends with: the reference strain rate of each
// material word.
std::string rateshelp();

}  // namespace catalog
