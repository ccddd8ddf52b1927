// The curve variables of a "curv NAME N" record, one table entry each. The
// solver's reader, the range check of N, the column heads and values of the
// curve file, the guard's check of the values, the tools' deck model and
// every help text take the variables from this table: a new variable is a
// new entry (and, for a new way of reading a value, a case in curvevalue of
// output/curve.cpp). Entry k (1-based) is the curve option k that the
// readers return; entries are only ever added at the end.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "model/model.hpp"

namespace curvevariables {

// What N of the record names: an element, a node, or nothing (a total of
// the process).
enum class kind { element, node, energy };

// How the value is read.
enum class source {
    history,          // field `field` of the element's history record
    material,         // the element's material set (written as an integer)
    kinetic,          // kinetic energy of the process
    strain,           // strain energy of the process
    total,            // their sum
    displacement,     // node position minus its deck position, along `axis`
    velocity,         // node velocity along `axis`
    contactnormal,    // sum of the contact pairs' normal forces on the process's nodes
    contactfriction,  // sum of the magnitudes of their friction forces
    damage,           // the element's damage ("fail"; 1 once eroded)
};

struct variable {
    std::string_view word;  // deck word, 1 to 4 characters
    kind at;
    source from;
    double history::*field;  // source::history only
    int axis;                // node sources: 0 x, 1 y, 2 z
    std::string_view help;   // one line, for the help texts
};

// clang-format off
inline constexpr std::array<variable, 19> table{{
    {"seqv", kind::element, source::history,  &history::seqv,  0, "von Mises stress of element N, Pa"},
    {"epef", kind::element, source::history,  &history::epeff, 0, "effective plastic strain of element N"},
    {"mat",  kind::element, source::material, nullptr,         0, "material set of element N"},
    {"sm",   kind::element, source::history,  &history::sm,    0, "mean stress of element N (tension positive), Pa"},
    {"vol",  kind::element, source::history,  &history::vol0,  0, "initial volume of element N, m^3"},
    {"engk", kind::energy,  source::kinetic,  nullptr,         0, "kinetic energy of the process, J"},
    {"engs", kind::energy,  source::strain,   nullptr,         0, "strain energy of the process, J"},
    {"ener", kind::energy,  source::total,    nullptr,         0, "kinetic plus strain energy of the process, J"},
    {"temp", kind::element, source::history,  &history::temp,  0, "temperature of element N, K (jcth; 0 for the other materials)"},
    {"dx",   kind::node, source::displacement, nullptr,        0, "displacement x of node N from its deck position, m"},
    {"dy",   kind::node, source::displacement, nullptr,        1, "displacement y of node N, m"},
    {"dz",   kind::node, source::displacement, nullptr,        2, "displacement z of node N, m"},
    {"vx",   kind::node, source::velocity,     nullptr,        0, "velocity x of node N, m/s"},
    {"vy",   kind::node, source::velocity,     nullptr,        1, "velocity y of node N, m/s"},
    {"vz",   kind::node, source::velocity,     nullptr,        2, "velocity z of node N, m/s"},
    {"eint", kind::element, source::history,  &history::eint,  0, "specific internal energy of element N, J/kg (seos or fail; 0 without)"},
    {"cnor", kind::energy,  source::contactnormal,   nullptr,  0, "contact: sum of the normal forces pressing the process's nodes, N (cont)"},
    {"cfri", kind::energy,  source::contactfriction, nullptr,  0, "contact: sum of the friction forces on the process's nodes, N (cont)"},
    {"dmg",  kind::element, source::damage,   nullptr,         0, "damage of element N, 1 once eroded (fail; 0 without)"},
}};
// clang-format on

inline constexpr int count = static_cast<int>(table.size());

// The words blank padded to 4 characters and joined, the keyword table the
// deck readers search (and the column heads of the curve file).
inline constexpr std::array<char, 4 * table.size() + 1> words = [] {
    std::array<char, 4 * table.size() + 1> w{};
    for (std::size_t k = 0; k < table.size(); ++k)
        for (std::size_t c = 0; c < 4; ++c)
            w[4 * k + c] = c < table[k].word.size() ? table[k].word[c] : ' ';
    w[4 * table.size()] = '\0';
    return w;
}();

// Entry of curve option k (1-based); k must lie within 1..count.
inline const variable& of(int k) { return table[static_cast<std::size_t>(k - 1)]; }

// The words of every variable, or of one kind: "seqv, epef, mat, ...".
inline std::string joinwords(bool all, kind at) {
    std::string s;
    for (const variable& v : table) {
        if (!all && v.at != at) continue;
        if (!s.empty()) s += ", ";
        s += v.word;
    }
    return s;
}
inline std::string names() { return joinwords(true, kind::energy); }
inline std::string names(kind at) { return joinwords(false, at); }

// The word of each kind, for messages: "element", "node".
inline const char* kindname(kind at) {
    return at == kind::element ? "element" : at == kind::node ? "node" : "energy";
}

// What is wrong with curve option k (within 1..count) at point p of a model
// of ne elements and nn nodes: "names element 5, outside 1..4"; empty when
// p is within range or the variable is taken at no point.
inline std::string rangefault(int k, int p, int ne, int nn) {
    const kind at = of(k).at;
    if (at == kind::energy) return {};
    const int nb = at == kind::element ? ne : nn;
    if (p >= 1 && p <= nb) return {};
    return std::string("names ") + kindname(at) + " " + std::to_string(p) + ", outside 1.." +
           std::to_string(nb);
}

// The paragraph every help text ends with: one line per variable.
inline std::string help() {
    std::string s =
        "\nCurve variables (deck record \"curv NAME N\", at most 10; N defaults to 1):\n";
    for (const variable& v : table) {
        s += "  ";
        s += v.word;
        s.append(6 - v.word.size(), ' ');
        s += v.help;
        s += '\n';
    }
    return s;
}

}  // namespace curvevariables
