// The records of the deck's keywords and blocks (mate, part, elem, time,
// seos, curv, load, velo, hour, rigi, dtsc, fout, chkp, bulk, fixd, cont,
// fail, glob and the on/off switches): how they are read, in what order, and
// the checks of every value, written once for the solver's reader and for the
// tools' deck reader. What each reader does with a record (the solver's
// module arrays, the tools' deck model) stays with it.
//
// Each reader takes a word source `In` that offers:
//   int keyword(const char* table, int n)  entry of the table the next word
//                                          matches (taken), or -1 (not taken)
//   int integer(const char* what)          the next word as an integer,
//   double real(const char* what)          as a real (single precision, widened);
//                                          both stop at a word that is not one
//   int oldint(const char* what), double oldreal(const char* what)
//                                          the same for the records of the
//                                          oldest keywords, which the solver
//                                          reads as 0 (with a warning) from a
//                                          word that is not a number
//   bool words_left()                      words left on the current line
//   int line()                             the deck line of the word last taken
//   int valuesonline(const char* table, int n)  words left on the line before
//                                          the first that matches the table
//   std::string word()                     the next word, not taken (reading
//                                          lines as needed)
//   bool numbernext()                      the next word starts like a number
//   void opened(const std::string& note)   what to do if the deck ends inside
//                                          the block being read (empty: none)
//   [[noreturn]] void fail(const std::string& message)  stops, naming the line
//   [[noreturn]] void stop(const std::string& terse, const std::string& detail)
//                                          stops on a fault of the oldest records:
//                                          the solver prints their own terse text,
//                                          a tool the detail
//   [[noreturn]] void unknown(const std::string& terse, const std::string& expected)
//                                          the same for a word no table entry
//                                          matches; a tool names the word found
//   [[noreturn]] void toomany(const char* what, const char* item, int count, int found)
//                                          a record numbered `found` beyond the
//                                          `count` its keyword sized
//   int count(const char* what, int words)  a count of records that follow, each
//                                          of at least `words` words; a tool
//                                          refuses one below 0 or beyond the
//                                          deck's length
//   std::string show(double v)             a real as that reader's messages print it
// The solver stops the run with "*** Error *** " before the message; a tool
// throws it with the deck's name and line.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "failure/failtable.hpp"
#include "input/lexical.hpp"
#include "input/vocabulary.hpp"
#include "material/catalog.hpp"

namespace grammar {

// A real bounded by lo..hi: its name and its range as the messages print it.
struct realrange {
    const char* what;
    double lo, hi;
    const char* shown;
};

inline constexpr realrange contactscale{"contact penalty scale", 1.0e-6, 10.0, "1e-6..10"};
inline constexpr realrange staticfriction{"static friction coefficient", 0.0, 10.0, "0..10"};
inline constexpr realrange frictiondecay{"friction decay coefficient", 0.0, 1.0e30, "0..1e30"};
// True for a word that starts like a number ("-" or a digit).
inline bool numberword(std::string_view w) {
    return !w.empty() && (w[0] == '-' || (w[0] >= '0' && w[0] <= '9'));
}

// What to do when the deck ends inside block `block` opened on line `line`.
inline std::string blockend(const char* block, const char* end, int line) {
    return std::string("the \"") + block + "\" block opened on line " + std::to_string(line) +
           " has no \"" + end + "\": end it with \"" + end + "\" after its last record";
}

// Stops on the word `w` that stands where a record word of block `block`
// (opened on line `line`, ended by `end`) is expected: a value after a
// complete record (`last`, whose form is `form`; empty before the first
// record), a deck keyword before the end word, or any other word, which
// `unknown` names.
template <class In>
[[noreturn]] void blockword(In& in, const char* block, const char* end, int line,
                            const std::string& last, const std::string& form,
                            const std::string& unknown) {
    const std::string w = in.word();
    const std::string b = std::string(block) + ": ";
    if (numberword(w) && !last.empty())
        in.fail(b + "the value " + w + " on line " + std::to_string(in.line()) +
                " follows a complete \"" + last + "\" record (" + form +
                "): remove the extra value, or begin a new record with its word");
    if (numberword(w))
        in.fail(b + "the value " + w + " on line " + std::to_string(in.line()) +
                " stands where a record word is expected: begin every record with its word");
    if (w != end && lexical::match4(w, vocabulary::keywords, vocabulary::nkeywords) >= 1)
        in.fail(b + "\"" + w + "\" on line " + std::to_string(in.line()) + " before \"" + end +
                "\": " + blockend(block, end, line));
    in.fail(unknown);
}

// Advice on the word `w` of line `line` that stands where a deck keyword is
// expected, or empty when there is none to give: a number after a block that
// a count ends, or the end word of a block that is not open. `after` is the entry of the
// keyword read before it (0: none) and `count` the count that ended that
// keyword's block (nmat, nbmp or nbel).
inline std::string keywordadvice(std::string_view w, int line, int after, int count) {
    const std::string at = " on line " + std::to_string(line);
    if (numberword(w)) {
        const std::string head = "the number " + std::string(w) + at;
        const auto ended = [&](const char* kw, const char* item, const char* counter) {
            const std::string c = std::to_string(count);
            return head + " follows the \"" + kw + "\" block, which ends with the record of " +
                   item + " " + c + " (" + counter + " " + c +
                   "): give the records in order, that one last";
        };
        switch (after) {
            case 10: return ended("mate", "material set", "nmat");
            case 11: return ended("part", "node", "nbmp");
            case 18: return ended("elem", "element", "nbel");
            default: return {};  // the deck's oldest stop, "error GetData", stands alone
        }
    }
    // The end words of the blocks, and the keyword that opens each.
    static constexpr const char* ends[][2] = {
        {"endc", "cont"}, {"endf", "fail"}, {"endl", "load"}, {"endv", "velo"}, {"endw", "wall"}};
    for (const auto& e : ends)
        if (lexical::match4(w, e[0], 1) == 1)
            return "\"" + std::string(w) + "\"" + at + " ends a \"" + e[1] +
                   "\" block, but none is open: begin the block with \"" + e[1] +
                   "\" (or remove the word)";
    return {};
}

// The usual pair (0.06, 1.5) lies far inside these bounds; beyond them the
// viscosity smears a shock over many elements and shrinks the step for nothing.
inline constexpr realrange bulkq1{"bulk viscosity Q1", 0.0, 1.0, "0..1"};
inline constexpr realrange bulkq2{"bulk viscosity Q2", 0.0, 10.0, "0..10"};

// Contact tells the material sets apart by one bit each: at most 64 take part.
inline constexpr int contactsets = 64;

// "<what> <v> is outside the valid range <range>", or empty when v lies in it
// (a NaN never does). `show` prints a real as the messages do.
template <class Show>
std::string outside(const realrange& r, double v, const Show& show) {
    // The bounds as a deck writes them are read in single precision too.
    if (v >= catalog::readlow(r.lo) && v <= catalog::readhigh(r.hi)) return {};
    return std::string(r.what) + " " + show(v) + " is outside the valid range " + r.shown;
}
inline std::string outside(const char* what, int v, int lo, int hi) {
    if (v >= lo && v <= hi) return {};
    return std::string(what) + " " + std::to_string(v) + " is outside the valid range " +
           std::to_string(lo) + ".." + std::to_string(hi);
}

// Coulomb friction of the contact block: "fric MUS MUD DC".
struct frictionlaw {
    double stat = 0.0;   // static coefficient
    double dyn = 0.0;    // dynamic coefficient, at most the static one
    double decay = 0.0;  // exponential decay from static to dynamic, s/m
};

template <class Show>
std::string frictionfault(const frictionlaw& f, const Show& show) {
    if (std::string m = outside(staticfriction, f.stat, show); !m.empty()) return m;
    const std::string dynrange = "0.." + show(f.stat) + " (the static one)";
    const realrange dyn{"dynamic friction coefficient", 0.0, f.stat, dynrange.c_str()};
    if (std::string m = outside(dyn, f.dyn, show); !m.empty()) return m;
    return outside(frictiondecay, f.decay, show);
}

// The penalty scale of the contact between two material sets.
struct pairscale {
    int a = 0, b = 0;
    double scale = 0.0;
};

// Penalty contact between the exterior faces ("cont" ... "endc"). Without
// "part" and "pair" records every material set touches every one.
struct contactblock {
    std::optional<double> scale;            // "scal F", default 0.1
    std::optional<frictionlaw> friction;    // "fric MUS MUD DC"
    std::vector<std::vector<int>> parts;    // "part S1 S2 ...": the sets up to the end of its line
    std::vector<std::array<int, 2>> pairs;  // "pair S1 S2"
    // "psca S1 S2 F": the penalty scale between sets S1 and S2, in place of
    // scal's
    std::vector<pairscale> pairscales;
    // "forc S1 S2": the contact force on set S1 from set S2, in forces.dat
    std::vector<std::array<int, 2>> forces;
};

// One record of a "fail" block: its criterion's row of the failure table
// (failure/failtable.hpp, 1-based), the set (0 for a criterion without one,
// "step") and the values in record order.
struct failurerecord {
    int criterion = 1;
    int set = 0;
    std::vector<double> values;
    int line = 0;  // the deck line of its word (0 for a record built in memory)
};

// Hourglass control "hour METHOD Q".
struct hourglassrecord {
    int method = 1;  // 0 none, 1 standard, 2 Flanagan-Belytschko
    double coef = 0.1;
};

// Rigid plane "rigi DIR COORD".
struct rigidrecord {
    int dir = 0;  // +-1, +-2, +-3: plane normal to x, y, z, keeping the nodes on the side
                  // of larger (+) or smaller (-) coordinates; 0 none
    double coord = 0.0;
};

// Artificial bulk viscosity "bulk [Q1 Q2]".
struct bulkrecord {
    double q1 = static_cast<double>(0.06f), q2 = static_cast<double>(1.5f);
};

// Held component "fixd C FX FY FZ": its nodes held along the axes flagged 1.
struct fixityrecord {
    int comp = 1;
    std::array<int, 3> axis{};
};

// A "mate" record: the set, its model's entry of the material table
// (material/catalog.hpp, 1-based) and its constants in record order.
struct materialrecord {
    int set = 1;
    int model = 1;
    std::vector<double> reals;
};

// An element record "E M N1 .. N8".
struct elementrecord {
    int element = 1;
    int mat = 1;
    std::array<int, 8> node{};
};

// A point (time, factor) of the load time function.
struct timepoint {
    double time = 0.0;
    double value = 0.0;
};

// Mie-Gruneisen equation of state "seos SET TYPE C0 S GAMMA0".
struct eosrecord {
    int set = 1;
    int type = 1;  // 1, the only type
    double c0 = 0.0, s = 0.0, gamma0 = 0.0;
};

// A record of a "load" or "velo" block: a vector for one node ("node N X Y Z")
// or for every member of a component ("comp C X Y Z"); a load may end with
// the number of the time function it follows ("node N X Y Z F").
struct vectorrecord {
    bool comp = false;
    int id = 0;  // node or component number
    std::array<double, 3> v{};
    int func = 1;  // time function of a load
};

// Time functions are numbered 1.. maxfunctions; 1 is the "time" table.
inline constexpr int maxfunctions = 99;

// A further time function "tfun F N": its number, then N points (time, value).
struct functionrecord {
    int func = 2;
    std::vector<timepoint> points;
};

// A driven component "move C A K F S": along axis A (1 x, 2 y, 3 z) its nodes
// follow the velocity (K "v") or the displacement from their deck position
// (K "d") S f(t), f the time function F.
struct driverecord {
    int comp = 1;
    int axis = 1;
    bool disp = false;
    int func = 1;
    double scale = 0.0;
};

// The constraint force on a component, written to forces.dat ("reac C [N]"):
// the component (0 in a process deck that holds none of its nodes) and the
// number its columns carry (C when not given).
struct reactionrecord {
    int comp = 1;
    int name = 1;
};

// A material set whose elements move as one rigid body ("rigd SET [VX VY VZ
// WX WY WZ]"): the set and the initial velocity of its centre of mass and
// its angular velocity about it (zero when not given).
struct bodyrecord {
    int set = 1;
    double v[3] = {0.0, 0.0, 0.0};
    double w[3] = {0.0, 0.0, 0.0};
    // 1 holds the centre's velocity along x, y, z at v (the force along it
    // is taken by the hold), and, last, the angular momentum (the body takes
    // no moment); 0 leaves it free.
    int hold[4] = {0, 0, 0, 0};
};
inline constexpr realrange rigidspeed{"rigd velocity", -1.0e6, 1.0e6, "-1e6..1e6"};
inline constexpr realrange rigidspin{"rigd angular velocity", -1.0e7, 1.0e7, "-1e7..1e7"};

// A curve request "curv NAME [N]": the element, or the node of a node
// variable, 1 when not given; unused for an energy.
struct curverecord {
    int option = 1;  // entry (1-based) of the curve-variable table
    int element = 1;
};

// Fails with the message unless it is empty.
template <class In>
void require(In& in, const std::string& fault) {
    if (!fault.empty()) in.fail(fault);
}

// Stops unless the words after keyword `kw` up to the next keyword or the end
// of its line number `n` (or `alt`, when not negative): these keywords take
// their values from their own line.
template <class In>
void checkvalues(In& in, const char* kw, int n, const char* names, int alt = -1) {
    const int found = in.valuesonline(vocabulary::keywords, vocabulary::nkeywords);
    if (found == n || found == alt) return;
    std::string want = std::to_string(n);
    if (alt >= 0) want = std::to_string(alt) + " or " + want;
    in.fail(std::string(kw) + " takes " + want + (n == 1 && alt < 0 ? " value (" : " values (") +
            names + ") on its line, found " + std::to_string(found));
}

// How many constants of the model lead its record with rank 0: they are
// checked as soon as they are read.
inline std::size_t leadingconstants(const catalog::model& row) {
    std::size_t n = 0;
    while (n < row.constants.size() && row.constants[n].rank == 0) ++n;
    return n;
}

// The highest rank of the model's checks.
inline int lastrank(const catalog::model& row) {
    int last = row.crossrank;
    for (const catalog::constant& c : row.constants) last = std::max(last, c.rank);
    return last;
}

// What is wrong with the constants of material set `set`, held in r, at one
// rank of the checks, or empty: at rank 0 the leading constants; at a later
// rank the model's cross check, when it has that rank, then the constants of
// the rank.
template <class Show>
std::string constantsfault(const catalog::model& row, const material& r, int set, int rank,
                           const Show& show) {
    if (rank > 0 && row.cross && row.crossrank == rank && !row.cross(r)) return row.crossmessage;
    const std::size_t n = rank == 0 ? leadingconstants(row) : row.constants.size();
    for (std::size_t i = 0; i < n; ++i) {
        const catalog::constant& c = row.constants[i];
        if (c.rank == rank && !catalog::valid(c, r.*c.field))
            return "material set " + std::to_string(set) + ": " + c.what + " must be " + c.rule +
                   ", got " + show(r.*c.field);
    }
    return {};
}

// The first fault of a whole record's constants (`reals`, in record order),
// in the order the reader finds them, or empty.
template <class Show>
std::string materialfault(const catalog::model& row, const std::vector<double>& reals, int set,
                          const Show& show) {
    if (reals.size() != row.constants.size())
        return "material set " + std::to_string(set) + " (" + row.word + ") needs " +
               std::to_string(row.constants.size()) + " constants, has " +
               std::to_string(reals.size());
    material r{};
    for (std::size_t i = 0; i < reals.size(); ++i) r.*row.constants[i].field = reals[i];
    for (int rank = 0; rank <= lastrank(row); ++rank)
        if (std::string m = constantsfault(row, r, set, rank, show); !m.empty()) return m;
    return {};
}

// One record of the "mate" block: the set, the model word, its constants.
// The leading constants are checked once they are read (before a later word
// that is not a number is reported), the rest after the whole record.
template <class In>
materialrecord readmaterial(In& in, int nmat) {
    materialrecord rec;
    rec.set = in.oldint("material set number");
    if (rec.set > nmat) in.toomany("material sets", "material set number", nmat, rec.set);
    require(in, outside("material set number", rec.set, 1, nmat));
    rec.model = in.keyword(vocabulary::materials, vocabulary::nmaterials);
    if (rec.model < 1)
        in.unknown("*** Error *** Invalid Material Type!",
                   "a material model (" + catalog::wordlist() + ")");
    const catalog::model& row = catalog::models[rec.model - 1];
    const auto show = [&in](double v) { return in.show(v); };
    const std::size_t lead = leadingconstants(row);
    material r{};
    for (std::size_t i = 0; i < row.constants.size(); ++i) {
        // A strictly read model stops at a word that is not a number.
        const double v =
            row.strict ? in.real("material constant") : in.oldreal("material constant");
        r.*row.constants[i].field = v;
        rec.reals.push_back(v);
        if (i + 1 == lead) require(in, constantsfault(row, r, rec.set, 0, show));
    }
    for (int rank = 1; rank <= lastrank(row); ++rank)
        require(in, constantsfault(row, r, rec.set, rank, show));
    return rec;
}

// The node and component numbers that open a "part" record (component 0:
// none). The coordinates follow (readcoordinates).
template <class In>
std::pair<int, int> readnodenumbers(In& in, int nnodes, int ncomp) {
    const int n = in.oldint("node number");
    if (n > nnodes) in.toomany("particles", "node number", nnodes, n);
    require(in, outside("node number", n, 1, nnodes));
    const int c = in.oldint("component number");
    if (c > ncomp)
        in.stop("*** Error *** component number greater than nb_comp",
                "component " + std::to_string(c) + " greater than ncom (" + std::to_string(ncomp) +
                    ")");
    return {n, c};
}

template <class In>
std::array<double, 3> readcoordinates(In& in) {
    std::array<double, 3> x{};
    for (double& v : x) v = in.oldreal("node coordinate");
    return x;
}

// "element E names node N twice (corners J and K)" for the first corner
// (of the first `corners`) that repeats an earlier one, or empty.
inline std::string cornerfault(int element, const std::array<int, 8>& node, int corners = 8) {
    for (int k = 1; k < corners; ++k)
        for (int j = 0; j < k; ++j)
            if (node[static_cast<std::size_t>(j)] == node[static_cast<std::size_t>(k)])
                return "element " + std::to_string(element) + " names node " +
                       std::to_string(node[static_cast<std::size_t>(k)]) + " twice (corners " +
                       std::to_string(j + 1) + " and " + std::to_string(k + 1) + ")";
    return {};
}

// One record of the "elem" block. `elementgiven`, `matgiven` and `nodegiven`
// (per element, material set and node) say what the deck has given so far:
// an element is given once, and its material set and corner nodes before it.
template <class In>
elementrecord readelement(In& in, int nelements, int nmat, int nnodes,
                          const std::vector<char>& elementgiven, const std::vector<char>& matgiven,
                          const std::vector<char>& nodegiven) {
    elementrecord el;
    const int e = el.element = in.oldint("element number");
    if (e > nelements) in.toomany("elements", "element number", nelements, e);
    require(in, outside("element number", e, 1, nelements));
    if (elementgiven[static_cast<std::size_t>(e - 1)])
        in.fail("element " + std::to_string(e) + " given a second time");
    el.mat = in.oldint("material set number");
    require(in, outside("material set number", el.mat, 1, nmat));
    if (!matgiven[static_cast<std::size_t>(el.mat - 1)])
        in.fail("element " + std::to_string(e) + " uses material set " + std::to_string(el.mat) +
                ", not defined before \"elem\" (no \"mate\" record)");
    for (int k = 0; k < 8; ++k) {
        const int n = in.oldint("corner node number");
        require(in, outside("node number", n, 1, nnodes));
        if (!nodegiven[static_cast<std::size_t>(n - 1)])
            in.fail("node " + std::to_string(n) + " of element " + std::to_string(e) +
                    " has no coordinates (not given in \"part\")");
        el.node[static_cast<std::size_t>(k)] = n;
        require(in, cornerfault(e, el.node, k + 1));
    }
    return el;
}

// An on/off switch ("jaum", and the value of "ebal", "stab", "midg").
template <class In>
bool readswitch(In& in) {
    const int k = in.keyword(vocabulary::switches, vocabulary::nswitches);
    if (k < 1) in.unknown("switch should be ON/OFF", "ON or OFF");
    return k == 1;
}

// "time N": N points, time then factor.
template <class In>
std::vector<timepoint> readtimefunction(In& in) {
    const int n = in.count("number of time points", 2);
    std::vector<timepoint> points(static_cast<std::size_t>(std::max(n, 0)));
    for (timepoint& p : points) {
        p.time = in.oldreal("time of a time-function point");
        p.value = in.oldreal("value of a time-function point");
    }
    return points;
}

// "seos": the set, which must have its "mate" record (the constants are
// scaled by its density), the type, then the three constants.
template <class In>
eosrecord readeos(In& in, int nmat, const std::vector<char>& matgiven) {
    eosrecord r;
    r.set = in.oldint("material set number");
    require(in, outside("material set number", r.set, 1, nmat));
    if (!matgiven[static_cast<std::size_t>(r.set - 1)])
        in.fail("seos for material set " + std::to_string(r.set) +
                " before its \"mate\" record (its density is not defined)");
    r.type = in.oldint("equation of state type");
    if (r.type != 1)
        in.stop("Error set EOS parameter (seos)",
                "equation of state type " + std::to_string(r.type) + " (only 1 exists)");
    r.c0 = in.oldreal("bulk sound speed");
    r.s = in.oldreal("shock slope");
    r.gamma0 = in.oldreal("Gruneisen coefficient");
    return r;
}

// The variable of a "curv" record: its entry of the curve-variable table.
template <class In>
int readcurvevariable(In& in) {
    const int k = in.keyword(vocabulary::curves, vocabulary::ncurves);
    if (k < 1)
        in.unknown("Result option error", "a curve variable (" + curvevariables::names() + ")");
    return k;
}

// The element or node of a "curv" record: the word left on its line, or 1.
// It is checked once the deck is read, when the counts are known.
template <class In>
int readcurvepoint(In& in) {
    return in.words_left() ? in.oldint("curve element number") : 1;
}

template <class In>
curverecord readcurve(In& in) {
    curverecord c;
    c.option = readcurvevariable(in);
    c.element = readcurvepoint(in);
    return c;
}

// One record of a "load" or "velo" block (`table`: its end word, node, comp),
// or nothing at the block's end. `terse` is the solver's text for a record
// word it does not know.
template <class In>
std::optional<vectorrecord> readvector(In& in, const char* table, int nnodes, int ncomp,
                                       const char* block, const char* terse,
                                       bool functions = false) {
    const int k = in.keyword(table, vocabulary::nvectorrecords);
    if (k == 1) return std::nullopt;
    if (k < 2)
        in.unknown(terse, std::string("\"node\", \"comp\" or the end of the ") + block + " block");
    vectorrecord r;
    r.comp = k == 3;
    r.id = in.oldint(r.comp ? "component number" : "node number");
    if (r.comp)
        require(in, outside("component number", r.id, 1, ncomp));
    else
        require(in, outside("node number", r.id, 1, nnodes));
    for (double& x : r.v) x = in.oldreal("vector component");
    // A load's time function stands on the record's line after the vector,
    // before any record word that follows: a deck without it reads as before.
    if (functions && in.valuesonline(table, vocabulary::nvectorrecords) > 0) {
        r.func = in.integer("time function number");
        require(in, outside("time function number", r.func, 1, maxfunctions));
    }
    return r;
}

template <class In>
hourglassrecord readhourglass(In& in) {
    hourglassrecord h;
    h.method = in.oldint("hourglass method");
    h.coef = in.oldreal("hourglass coefficient");
    return h;
}

template <class In>
rigidrecord readrigid(In& in) {
    rigidrecord r;
    r.dir = in.oldint("rigid plane direction");
    if (r.dir < -3 || r.dir > 3 || r.dir == 0)
        in.fail("rigid plane direction " + std::to_string(r.dir) + " is outside -3..-1, 1..3");
    r.coord = in.oldreal("rigid plane coordinate");
    return r;
}

template <class In>
double readdtscale(In& in) {
    checkvalues(in, "dtsc", 1, "SCALE");
    const double v = in.real("time-step scale");
    if (!(v > 0.0)) in.fail("dtsc must be positive, got " + in.show(v));
    return v;
}

template <class In>
double readfieldstep(In& in) {
    checkvalues(in, "fout", 1, "T");
    const double v = in.real("field output interval");
    if (!(v >= 0.0)) in.fail("fout must not be negative, got " + in.show(v));
    return v;
}

template <class In>
int readcheckpointsteps(In& in) {
    checkvalues(in, "chkp", 1, "N");
    const int n = in.integer("checkpoint interval");
    if (n < 1) in.fail("chkp needs a positive number of steps, got " + std::to_string(n));
    return n;
}

// "bulk" alone takes the usual pair.
template <class In>
bulkrecord readbulk(In& in) {
    bulkrecord b;
    checkvalues(in, "bulk", 2, "Q1 Q2", 0);
    if (in.valuesonline(vocabulary::keywords, vocabulary::nkeywords) == 2) {
        b.q1 = in.real("bulk viscosity Q1");
        b.q2 = in.real("bulk viscosity Q2");
    }
    const auto show = [&in](double v) { return in.show(v); };
    require(in, outside(bulkq1, b.q1, show));
    require(in, outside(bulkq2, b.q2, show));
    return b;
}

template <class In>
fixityrecord readfixity(In& in, int ncomp) {
    fixityrecord f;
    checkvalues(in, "fixd", 4, "C FX FY FZ");
    f.comp = in.integer("fixd component");
    require(in, outside("component number", f.comp, 1, ncomp));
    for (int& a : f.axis) {
        a = in.integer("fixd direction flag");
        require(in, outside("fixd direction flag", a, 0, 1));
    }
    return f;
}

// "tfun F N": function F (2..maxfunctions; 1 is the "time" table), N points
// in time order, at least two.
template <class In>
functionrecord readfunction(In& in) {
    functionrecord r;
    r.func = in.integer("time function number");
    require(in, outside("time function number", r.func, 2, maxfunctions));
    const int n = in.integer("number of time points");
    if (n < 2)
        in.fail("tfun " + std::to_string(r.func) + " needs at least 2 points, found " +
                std::to_string(n));
    for (int k = 0; k < n; ++k) {
        timepoint p;
        p.time = in.real("time of a time-function point");
        p.value = in.real("value of a time-function point");
        if (!r.points.empty() && p.time < r.points.back().time)
            in.fail("tfun " + std::to_string(r.func) + ": point " + std::to_string(k + 1) +
                    " at time " + in.show(p.time) + " comes before the time " +
                    in.show(r.points.back().time) + " of point " + std::to_string(k));
        r.points.push_back(p);
    }
    return r;
}

template <class In>
driverecord readdrive(In& in, int ncomp) {
    driverecord r;
    checkvalues(in, "move", 5, "C A K F S");
    r.comp = in.integer("move component");
    require(in, outside("component number", r.comp, 1, ncomp));
    r.axis = in.keyword(vocabulary::axes, vocabulary::naxes);
    if (r.axis < 1) in.fail("move: the axis must be x, y or z");
    const int k = in.keyword(vocabulary::motions, vocabulary::nmotions);
    if (k < 1) in.fail("move: the motion must be v (velocity) or d (displacement)");
    r.disp = k == 2;
    r.func = in.integer("time function number");
    require(in, outside("time function number", r.func, 1, maxfunctions));
    r.scale = in.real("move scale");
    return r;
}

// "reac C" names the columns by C; a process deck gives "reac C N", C its
// own number of the component (0: none of its nodes here), N the number in
// the whole model.
template <class In>
reactionrecord readreaction(In& in, int ncomp) {
    reactionrecord r;
    checkvalues(in, "reac", 2, "C [N]", 1);
    const bool named = in.valuesonline(vocabulary::keywords, vocabulary::nkeywords) == 2;
    r.comp = in.integer("reac component");
    require(in, outside("component number", r.comp, named ? 0 : 1, ncomp));
    r.name = r.comp;
    if (named) {
        r.name = in.integer("reac column number");
        require(in, outside("reac column number", r.name, 1, 999999));
    }
    return r;
}

// "rigd SET" or "rigd SET VX VY VZ WX WY WZ", the set among the `nmat`.
template <class In>
bodyrecord readbody(In& in, int nmat) {
    bodyrecord r;
    const int found = in.valuesonline(vocabulary::keywords, vocabulary::nkeywords);
    if (found != 1 && found != 7 && found != 11)
        in.fail(
            "rigd takes 1, 7 or 11 values (SET [VX VY VZ WX WY WZ [HX HY HZ HR]]) on its line, "
            "found " +
            std::to_string(found));
    r.set = in.integer("rigd material set");
    require(in, outside("rigd material set", r.set, 1, nmat));
    if (found == 1) return r;
    const auto show = [&in](double v) { return in.show(v); };
    for (double& v : r.v) {
        v = in.real("rigd velocity");
        require(in, outside(rigidspeed, v, show));
    }
    for (double& w : r.w) {
        w = in.real("rigd angular velocity");
        require(in, outside(rigidspin, w, show));
    }
    if (found == 7) return r;
    for (int& h : r.hold) {
        h = in.integer("rigd hold");
        require(in, outside("rigd hold (0 free, 1 held)", h, 0, 1));
    }
    return r;
}

// "rigd: material set 2 is made rigid twice" when `set` repeats one of
// `given`, or empty.
inline std::string bodytwicefault(const std::vector<bodyrecord>& given, int set) {
    for (const bodyrecord& r : given)
        if (r.set == set)
            return "rigd: material set " + std::to_string(set) + " is made rigid twice";
    return {};
}

// "reac: column 3 given twice" when `name` repeats one of `names`, or empty.
inline std::string reactiontwicefault(const std::vector<reactionrecord>& given, int name) {
    for (const reactionrecord& r : given)
        if (r.name == name)
            return "reac: the force of component " + std::to_string(name) + " is asked for twice";
    return {};
}

// "time function 3 is not given ..." when function `func` has no table.
inline std::string functionfault(int func, bool given) {
    if (given) return {};
    return "time function " + std::to_string(func) + " is not given (no " +
           (func == 1 ? std::string("\"time\" table")
                      : "\"tfun " + std::to_string(func) + "\" record") +
           ")";
}

// What is wrong with the driven components, or empty: a node component
// driven by two records, or held by "fixd" along the axis a record drives
// (the constraint would be given twice). `members(c)` lists the nodes of
// component c.
template <class Members>
std::string drivefault(const std::vector<driverecord>& drives,
                       const std::vector<fixityrecord>& fixities, const Members& members) {
    std::set<std::pair<int, int>> held, driven;  // (node, axis 1..3)
    for (const fixityrecord& f : fixities)
        for (int n : members(f.comp))
            for (int a = 0; a < 3; ++a)
                if (f.axis[static_cast<std::size_t>(a)] != 0) held.insert({n, a + 1});
    static constexpr const char* axisname[] = {"x", "y", "z"};
    for (std::size_t k = 0; k < drives.size(); ++k) {
        const driverecord& d = drives[k];
        for (int n : members(d.comp)) {
            const std::string what = "move: node " + std::to_string(n) + " (component " +
                                     std::to_string(d.comp) + ") along " + axisname[d.axis - 1];
            if (held.count({n, d.axis}))
                return what +
                       " is held by \"fixd\" as well (a direction is held or driven, "
                       "not both)";
            if (!driven.insert({n, d.axis}).second)
                return what + " is driven by two \"move\" records";
        }
    }
    return {};
}

// The records given so far in a "cont" block: each of scal and fric once, a
// pair of sets once in either order, a set in the "part" records once.
struct contactseen {
    bool scale = false, friction = false;
    std::set<std::pair<int, int>> pairs, scaled;
    std::set<int> parts;
};

// "cont: scal given twice (the block takes one)" when a record of the word
// `word` (scal or fric) repeats one of `seen`, which then holds it; or empty.
inline std::string contacttwicefault(bool& seen, const char* word) {
    if (!seen) {
        seen = true;
        return {};
    }
    return std::string("cont: ") + word + " given twice (the block takes one)";
}

// The same for "pair A B", which names the pair of "pair B A" too.
inline std::string contactpairfault(contactseen& seen, int a, int b) {
    if (seen.pairs.insert({std::min(a, b), std::max(a, b)}).second) return {};
    return "cont: pair " + std::to_string(a) + " " + std::to_string(b) +
           " given twice (a pair is given once, in either order)";
}

// The same for the sets of a "psca" record.
inline std::string contactpairscalefault(contactseen& seen, int a, int b) {
    if (seen.scaled.insert({std::min(a, b), std::max(a, b)}).second) return {};
    return "cont: psca " + std::to_string(a) + " " + std::to_string(b) +
           " given twice (a pair takes one scale, in either order)";
}

// "forc": the force between a set and itself, or a pair asked for twice.
inline std::string contactforcefault(const std::vector<std::array<int, 2>>& given, int a, int b) {
    if (a == b)
        return "cont: forc " + std::to_string(a) + " " + std::to_string(b) +
               " names one set twice (the force on a set from another)";
    for (const std::array<int, 2>& f : given)
        if (f[0] == a && f[1] == b)
            return "cont: forc " + std::to_string(a) + " " + std::to_string(b) + " given twice";
    return {};
}

// The same for set m of a "part" record.
inline std::string contactpartfault(contactseen& seen, int m) {
    if (seen.parts.insert(m).second) return {};
    return "cont: material set " + std::to_string(m) +
           " listed twice in part (a set takes part once)";
}

// "cont": its records in any order up to "endc", each given once.
template <class In>
contactblock readcontact(In& in, int nmat) {
    if (nmat <= 0) in.fail("nmat must be defined before \"cont\"");
    const auto show = [&in](double v) { return in.show(v); };
    const auto set = [&in, most = std::min(nmat, contactsets)] {
        const int m = in.integer("contact material set");
        require(in, outside("contact material set", m, 1, most));
        return m;
    };
    contactblock c;
    contactseen seen;
    const int opened = in.line();
    in.opened(blockend("cont", "endc", opened));
    // The forms of the records, for the message on a value too many.
    static constexpr const char* forms[] = {
        "",           "scal F",       "fric MUS MUD DC", "part S1 S2 ...",
        "pair S1 S2", "psca S1 S2 F", "forc S1 S2"};
    int last = 0;
    for (;;) {
        const int k = in.keyword(vocabulary::contactrecords, vocabulary::ncontactrecords);
        if (k == 1) break;
        if (k >= 2) last = k - 1;
        switch (k) {
            case 2:  // scal
                require(in, contacttwicefault(seen.scale, "scal"));
                c.scale = in.real("contact penalty scale");
                require(in, outside(contactscale, *c.scale, show));
                break;
            case 3: {  // fric
                require(in, contacttwicefault(seen.friction, "fric"));
                frictionlaw f;
                f.stat = in.real("static friction coefficient");
                f.dyn = in.real("dynamic friction coefficient");
                f.decay = in.real("friction decay coefficient");
                require(in, frictionfault(f, show));
                c.friction = f;
                break;
            }
            case 4: {  // part
                std::vector<int> sets;
                do {
                    sets.push_back(set());
                    require(in, contactpartfault(seen, sets.back()));
                } while (in.words_left());
                c.parts.push_back(std::move(sets));
                break;
            }
            case 5: {  // pair
                const int a = set();
                const int b = set();
                require(in, contactpairfault(seen, a, b));
                c.pairs.push_back({a, b});
                break;
            }
            case 6: {  // psca
                pairscale p;
                p.a = set();
                p.b = set();
                require(in, contactpairscalefault(seen, p.a, p.b));
                p.scale = in.real("contact penalty scale of the pair");
                require(in, outside(contactscale, p.scale, show));
                c.pairscales.push_back(p);
                break;
            }
            case 7: {  // forc
                const int a = set();
                const int b = set();
                require(in, contactforcefault(c.forces, a, b));
                c.forces.push_back({a, b});
                break;
            }
            default:
                blockword(in, "cont", "endc", opened,
                          last > 0 ? std::string(forms[last], 4) : std::string(),
                          last > 0 ? forms[last] : "",
                          "unknown record in the \"cont\" block (endc, scal, fric, part, pair, "
                          "psca or forc expected)");
        }
    }
    in.opened({});
    return c;
}

// One wall of a "wall" block: its shape record, then the records that
// complete it.
//   plan PX PY PZ NX NY NZ     plane through P, normal N towards the body
//   cyli PX PY PZ AX AY AZ R   cylinder of radius R about the axis through P along A
//   sphe CX CY CZ R            sphere of centre C, radius R
//   edge EX EY EZ LA LB        plane: the rectangle P + a E + b (N x E), a in 0..LA,
//                              b in 0..LB (E is taken in the plane)
//   leng L                     cylinder: from P over L along A
//   insi                       cylinder, sphere: the body inside
//   move VX VY VZ              the wall moves at this velocity from its place at time 0
//   fric MU                    Coulomb friction coefficient
//   comp C                     the wall holds the nodes of component C only
// A curve number for the motion would follow the three values of "move".
struct wallrecord {
    int shape = 1;                              // 1 plane, 2 cylinder, 3 sphere
    std::array<double, 3> point{};              // a point of the plane or axis, the centre
    std::array<double, 3> direction{};          // the plane's normal, the cylinder's axis
    double radius = 0.0;                        // cylinder and sphere, m
    std::optional<std::array<double, 5>> edge;  // finite plane: edge direction, LA, LB
    std::optional<double> length;               // finite cylinder, m
    bool inside = false;                        // the body inside the cylinder or sphere
    std::optional<std::array<double, 3>> move;  // velocity of the wall, m/s
    std::optional<double> friction;             // Coulomb coefficient
    std::optional<int> comp;                    // the component held
    int line = 0;  // the deck line of its shape record (0 for a record built in memory)
};

inline constexpr realrange wallsize{"wall radius", 1.0e-9, 1.0e9, "1e-9..1e9"};
inline constexpr realrange wallspan{"wall length", 1.0e-9, 1.0e9, "1e-9..1e9"};
inline constexpr realrange wallfriction{"wall friction coefficient", 0.0, 10.0, "0..10"};

// The words of the wall records, for the messages.
inline constexpr const char* wallwords[] = {"endw", "plan", "cyli", "sphe", "leng",
                                            "insi", "move", "fric", "comp", "edge"};

// What is wrong with wall number `n` (1-based), or empty: a direction of no
// length, an edge along the normal, a size outside its range, a record that
// does not belong to the shape, a component outside 1..ncomp.
template <class Show>
std::string wallfault(const wallrecord& w, int n, int ncomp, const Show& show) {
    const std::string head = "wall " + std::to_string(n) + ": ";
    const auto norm = [](double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); };
    const auto triple = [&show](double x, double y, double z) {
        return show(x) + " " + show(y) + " " + show(z);
    };
    const std::array<double, 3>& d = w.direction;
    const double dl = norm(d[0], d[1], d[2]);
    if (w.shape == 1 || w.shape == 2) {
        if (!(dl > 0.0) || !std::isfinite(dl))
            return head + "the " + (w.shape == 1 ? "normal " : "axis ") + triple(d[0], d[1], d[2]) +
                   " has no direction: give a vector of length above 0";
    }
    if (w.shape == 2 || w.shape == 3)
        if (std::string m = outside(wallsize, w.radius, show); !m.empty()) return head + m;
    if (w.edge) {
        if (w.shape != 1) return head + "edge belongs to a plane (plan)";
        const std::array<double, 5>& e = *w.edge;
        const double el = norm(e[0], e[1], e[2]);
        const double along = (e[0] * d[0] + e[1] * d[1] + e[2] * d[2]) / (dl > 0.0 ? dl : 1.0);
        const double across = std::sqrt(std::max(el * el - along * along, 0.0));
        if (!(across > 1.0e-6 * el))
            return head + "the edge " + triple(e[0], e[1], e[2]) +
                   " does not lie in the plane (it has no part across the normal): give a "
                   "direction in the plane";
        const realrange side{"wall edge length", wallspan.lo, wallspan.hi, wallspan.shown};
        if (std::string m = outside(side, e[3], show); !m.empty()) return head + m;
        if (std::string m = outside(side, e[4], show); !m.empty()) return head + m;
    }
    if (w.length) {
        if (w.shape != 2) return head + "leng belongs to a cylinder (cyli)";
        if (std::string m = outside(wallspan, *w.length, show); !m.empty()) return head + m;
    }
    if (w.inside && w.shape == 1) return head + "insi belongs to a cylinder or a sphere";
    if (w.friction)
        if (std::string m = outside(wallfriction, *w.friction, show); !m.empty()) return head + m;
    if (w.comp) {
        if (ncomp <= 0) return head + "comp needs the components: give \"ncom\" before \"wall\"";
        if (std::string m = outside("wall component number", *w.comp, 1, ncomp); !m.empty())
            return head + m;
    }
    return {};
}

// "wall": its walls in deck order up to "endw", each checked after every
// record that adds to it.
template <class In>
std::vector<wallrecord> readwalls(In& in, int ncomp) {
    const auto show = [&in](double v) { return in.show(v); };
    std::vector<wallrecord> list;
    const int opened = in.line();
    in.opened(blockend("wall", "endw", opened));
    const auto three = [&in](const char* what) {
        std::array<double, 3> v{};
        for (double& x : v) x = in.real(what);
        return v;
    };
    std::string last, form;  // the word and the form of the record read last
    for (;;) {
        const int k = in.keyword(vocabulary::wallrecords, vocabulary::nwallrecords);
        if (k == 1) break;
        if (k < 1)
            blockword(in, "wall", "endw", opened, last, form,
                      "unknown record in the \"wall\" block (plan, cyli, sphe, edge, leng, insi, "
                      "move, fric, comp or endw expected)");
        const std::string word = wallwords[k - 1];
        if (k >= 5 && list.empty())
            in.fail("wall: \"" + word + "\" on line " + std::to_string(in.line()) +
                    " before any wall: begin the wall with plan, cyli or sphe");
        const auto twice = [&](bool given) {
            if (given)
                in.fail("wall " + std::to_string(list.size()) + ": " + word +
                        " given twice (a wall takes one)");
        };
        last = word;
        switch (k) {
            case 2:
            case 3:
            case 4: {
                wallrecord w;
                w.shape = k - 1;
                w.line = in.line();
                w.point = three(k == 4 ? "wall centre coordinate" : "wall point coordinate");
                if (k != 4) w.direction = three(k == 2 ? "wall normal" : "wall axis");
                if (k != 2) w.radius = in.real("wall radius");
                form = k == 2 ? "plan PX PY PZ NX NY NZ"
                              : (k == 3 ? "cyli PX PY PZ AX AY AZ R" : "sphe CX CY CZ R");
                list.push_back(w);
                break;
            }
            case 5:
                twice(list.back().length.has_value());
                list.back().length = in.real("wall length");
                form = "leng L";
                break;
            case 6:
                twice(list.back().inside);
                list.back().inside = true;
                form = "insi";
                break;
            case 7:
                twice(list.back().move.has_value());
                list.back().move = three("wall velocity");
                form = "move VX VY VZ";
                break;
            case 8:
                twice(list.back().friction.has_value());
                list.back().friction = in.real("wall friction coefficient");
                form = "fric MU";
                break;
            case 9:
                twice(list.back().comp.has_value());
                list.back().comp = in.integer("wall component number");
                form = "comp C";
                break;
            default: {  // edge
                twice(list.back().edge.has_value());
                std::array<double, 5> e{};
                for (double& x : e) x = in.real("wall edge");
                list.back().edge = e;
                form = "edge EX EY EZ LA LB";
            }
        }
        // Each record is checked as it completes the wall, on its own line.
        require(in, wallfault(list.back(), static_cast<int>(list.size()), ncomp, show));
    }
    if (list.empty())
        in.fail("wall: the block opened on line " + std::to_string(opened) +
                " holds no wall: give plan, cyli or sphe records before endw");
    in.opened({});
    return list;
}

// What is wrong with a failure record, or empty: its criterion, its count of
// values, the set it names (1..nmat, none for a criterion without a set),
// each value's range and the row's cross check, in record order.
template <class Show>
std::string failurefault(const failurerecord& r, int nmat, const Show& show) {
    const failtable::criterion* row = failtable::find(r.criterion);
    if (!row) return outside("failure criterion number", r.criterion, 1, failtable::count);
    if (row->perset) {
        if (std::string m = outside("failure material set", r.set, 1, nmat); !m.empty()) return m;
    } else if (r.set != 0) {
        return std::string("fail: ") + row->word + " names no material set, found set " +
               std::to_string(r.set);
    }
    if (r.values.size() != row->values.size())
        return std::string("fail: ") + row->word + " takes " + std::to_string(row->values.size()) +
               " values, found " + std::to_string(r.values.size());
    const std::function<std::string(double)> shown = show;
    for (std::size_t i = 0; i <= r.values.size(); ++i) {
        if (row->cross && i == row->crossafter)
            if (std::string m = row->cross(r.values, shown); !m.empty()) return "fail: " + m;
        if (i == r.values.size()) break;
        const failtable::value& v = row->values[i];
        if (!failtable::valid(v, r.values[i]))
            return std::string("fail: ") + v.what + " must be " + v.rule + ", got " +
                   show(r.values[i]);
    }
    return {};
}

// The criteria and sets given so far in a "fail" block: a set takes each
// criterion once, the block one record of a criterion without a set.
using failureseen = std::set<std::pair<int, int>>;

// "fail: jc given twice for material set 2" when r repeats a record of
// `seen`, which then holds r; or empty.
inline std::string failuretwicefault(failureseen& seen, const failurerecord& r) {
    if (seen.insert({r.criterion, r.set}).second) return {};
    const failtable::criterion* row = failtable::find(r.criterion);
    const std::string word = row ? row->word : std::to_string(r.criterion);
    if (row && !row->perset) return "fail: " + word + " given twice (the block takes one)";
    return "fail: " + word + " given twice for material set " + std::to_string(r.set) +
           " (a set takes each criterion once)";
}

// What keeps a failure record from acting on its set, or empty. `model` is
// the set's row of the material table (nullptr: the set has no "mate"
// record), `consistent` the deck's "cons" switch as the run has it ("corr
// on" sets it unless "cons" is given). Checked once the whole deck is read:
// the block may stand before the "mate" records and the switches.
inline std::string failuremodelfault(const failurerecord& r, const catalog::model* model,
                                     bool consistent) {
    const failtable::criterion* row = failtable::find(r.criterion);
    if (!row || !row->perset || row->model == failtable::needs::nothing) return {};
    if (model && failtable::actson(row->model, *model, consistent)) return {};
    const std::string set = std::to_string(r.set);
    if (row->model == failtable::needs::johnsoncook) {
        return std::string("fail: ") + row->what + " of material set " + set +
               " needs a Johnson-Cook material (" + failtable::modelwords(row->model) + "), " +
               (model ? std::string("the set is ") + model->word
                      : std::string("the set has no \"mate\" record"));
    }
    std::string why = "the set has no \"mate\" record";
    if (model && model->plastic == catalog::plasticstrain::withcons)
        why = std::string(model->word) +
              " keeps its plastic strain only with \"cons on\" or \"corr on\"";
    else if (model)
        why = std::string(model->word) + " keeps no plastic strain";
    return std::string("fail: the ") + row->what + " of material set " + set +
           " can never act: " + why;
}

// "fail": its records in deck order up to "endf".
template <class In>
std::vector<failurerecord> readfailure(In& in, int nmat) {
    if (nmat <= 0) in.fail("nmat must be defined before \"fail\"");
    const auto show = [&in](double v) { return in.show(v); };
    std::vector<failurerecord> list;
    failureseen seen;
    const int opened = in.line();
    in.opened(blockend("fail", "endf", opened));
    std::string last, form;  // the word and the form of the record read last
    for (;;) {
        const int k = in.keyword(vocabulary::failurerecords, vocabulary::nfailurerecords);
        if (k == 1) break;
        if (k < 2)
            blockword(
                in, "fail", "endf", opened, last, form,
                "unknown record in the \"fail\" block (" + failtable::wordlist() + " expected)");
        failurerecord r;
        r.criterion = k - 1;
        r.line = in.line();
        const failtable::criterion& row = failtable::table[k - 2];
        last = row.word;
        form = last + (row.perset ? " SET" : "");
        for (const failtable::value& v : row.values) form += std::string(" ") + v.name;
        // A record without a set given one: its first value would be read as
        // the set's number.
        if (!row.perset &&
            in.valuesonline(vocabulary::failurerecords, vocabulary::nfailurerecords) ==
                static_cast<int>(row.values.size()) + 1)
            in.fail("fail: \"" + last +
                    "\" holds for every material set and takes no set number (" + form +
                    "): line " + std::to_string(in.line()) + " gives " +
                    std::to_string(row.values.size() + 1) + " values, the first " + in.word() +
                    "; remove the set number");
        if (row.perset) {
            // The set first, then its values, as they stand on the record.
            r.set = in.integer("failure material set");
            require(in, outside("failure material set", r.set, 1, nmat));
        }
        for (const failtable::value& v : row.values) r.values.push_back(in.real(v.what));
        require(in, failurefault(r, nmat, show));
        require(in, failuretwicefault(seen, r));
        list.push_back(std::move(r));
    }
    in.opened({});
    return list;
}

// What is wrong with the global numbers of the local nodes (or elements) of a
// process deck, or empty: each at least 1, none twice.
inline std::string globalfault(const std::vector<int>& global, const char* what) {
    std::vector<int> at(global.size());
    for (std::size_t i = 0; i < global.size(); ++i) {
        if (global[i] < 1)
            return std::string("global ") + what + " number " + std::to_string(global[i]) +
                   " of local " + what + " " + std::to_string(i + 1) + " is below 1";
        at[i] = static_cast<int>(i);
    }
    std::sort(at.begin(), at.end(), [&global](int x, int y) {
        return global[static_cast<std::size_t>(x)] < global[static_cast<std::size_t>(y)];
    });
    for (std::size_t j = 1; j < at.size(); ++j) {
        const int a = at[j - 1], b = at[j];
        if (global[static_cast<std::size_t>(a)] == global[static_cast<std::size_t>(b)])
            return std::string("global ") + what + " number " +
                   std::to_string(global[static_cast<std::size_t>(b)]) + " given twice (local " +
                   what + "s " + std::to_string(std::min(a, b) + 1) + " and " +
                   std::to_string(std::max(a, b) + 1) + ")";
    }
    return {};
}

// "glob": the global number of every local node, then of every element; it
// needs both counts first. The count of numbers is checked first, since one
// missing moves every later number to the wrong node; a number below 1 is
// named on the line that holds it.
template <class In>
void readglobal(In& in, bool counted, int nnodes, int nelements, std::vector<int>& nodes,
                std::vector<int>& elements) {
    if (!counted) in.fail("\"glob\" must follow \"nbmp\" and \"nbel\"");
    const std::size_t nn = static_cast<std::size_t>(std::max(nnodes, 0));
    const std::size_t ne = static_cast<std::size_t>(std::max(nelements, 0));
    const std::string takes = "\"glob\" on line " + std::to_string(in.line()) +
                              " takes nbmp + nbel = " + std::to_string(nn) + " + " +
                              std::to_string(ne) + " = " + std::to_string(nn + ne) +
                              " global numbers (every local node's, then every element's)";
    nodes.assign(nn, 0);
    elements.assign(ne, 0);
    std::size_t found = 0;
    for (auto [list, what, name] : {std::tuple(&nodes, "node", "global node number"),
                                    std::tuple(&elements, "element", "global element number")}) {
        for (std::size_t i = 0; i < list->size(); ++i, ++found) {
            if (!in.numbernext())
                in.fail(takes + ", found " + std::to_string(found) + " before \"" + in.word() +
                        "\": give the missing number(s)");
            const int g = in.integer(name);
            (*list)[i] = g;
            if (g < 1)
                in.fail(std::string("global ") + what + " number " + std::to_string(g) +
                        " of local " + what + " " + std::to_string(i + 1) + " is below 1");
        }
    }
    require(in, globalfault(nodes, "node"));
    require(in, globalfault(elements, "element"));
    if (in.numbernext())
        in.fail(takes + ", found more: " + in.word() + " is one too many; remove it");
}

}  // namespace grammar
