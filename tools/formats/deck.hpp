// In-memory model of the input deck of one process, with a reader that
// follows the solver's lexical rules and a writer that produces a deck the
// solver reads back to the same single-precision values.
//
// Numbering is 1-based as in the deck: node n is nodes[n-1], element e is
// elements[e-1], material set m is materials[m-1], component c is
// components[c-1].
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/error.hpp"
#include "input/grammar.hpp"
#include "material/catalog.hpp"

namespace formats {

// The records the solver's reader shares (input/grammar.hpp): hourglass
// control "hour", the rigid plane "rigi", bulk viscosity "bulk Q1 Q2", a held
// component "fixd C FX FY FZ", the contact block with its friction, a record
// of the failure block, a point of the time function, the equation of state
// "seos", a "node" or "comp" record of "load" and "velo" (assigned in order:
// the last one that touches a node wins), a curve request.
using TimePoint = grammar::timepoint;
using Seos = grammar::eosrecord;
using VectorRecord = grammar::vectorrecord;
using Curve = grammar::curverecord;
using Hourglass = grammar::hourglassrecord;
using RigidPlane = grammar::rigidrecord;
using Bulk = grammar::bulkrecord;
using Fixity = grammar::fixityrecord;
using Friction = grammar::frictionlaw;
using Contact = grammar::contactblock;
using FailureRecord = grammar::failurerecord;
using Wall = grammar::wallrecord;
using Function = grammar::functionrecord;
using Drive = grammar::driverecord;
using Reaction = grammar::reactionrecord;
using Body = grammar::bodyrecord;

struct Material {
    std::string model;          // a word of the material table (material/catalog.hpp)
    std::vector<double> reals;  // density, young, poisson, then the model's constants
};

struct Element {
    int mat = 1;
    std::array<int, 8> node{};  // corners 1-4 one face, 5-8 the opposite face
};

// Sets a "part" record of the contact block holds at most (15 words a line).
inline constexpr int kContactPartSets = 14;

struct Deck {
    std::optional<std::string> title;  // text after "sovr"
    std::optional<double> endtime, outtime, dtscale;
    std::optional<int> report;
    std::optional<int> checkpoint;  // steps between two checkpoints ("chkp")
    std::optional<Hourglass> hourglass;
    std::optional<bool> jaumann;
    std::optional<bool> midstep;  // "midg": strain increment from the mid-step geometry
    std::optional<RigidPlane> rigid;
    std::optional<double> fieldtime;  // "fout": interval of the solver's field output
    std::optional<bool> energy;       // "ebal": the solver's global energy balance
    std::optional<bool> stable;       // "stab": the step bounded for every mesh
    std::optional<bool> vonmises;     // "vmis": von Mises equivalent stress in the oldest models
    std::optional<bool> consistent;   // "cons": john returned onto its curve, pla1's strain
    std::optional<bool> corrected;    // "corr": stab, midg, vmis, cons and math unless set apart
    std::optional<bool> solvermath;   // "math": the solver's own pow, log and exp
    std::optional<Bulk> bulk;         // "bulk": artificial bulk viscosity
    std::vector<Fixity> fixities;     // "fixd" records, in deck order
    std::vector<Drive> drives;        // "move" records, in deck order
    std::vector<Reaction> reactions;  // "reac" records, in deck order
    std::vector<Body> bodies;         // "rigd" records (rigid material sets), in deck order
    std::optional<std::vector<TimePoint>> timetable;
    std::vector<Function> functions;  // "tfun" records (functions 2..), in deck order
    std::optional<Contact> contact;   // "cont" block
    std::optional<std::vector<FailureRecord>> failure;  // "fail" block, its records in order
    std::optional<std::vector<Wall>> walls;             // "wall" block, its walls in order

    std::vector<Material> materials;
    std::vector<Seos> seos;                    // in deck order
    std::vector<std::array<double, 3>> nodes;  // coordinates
    std::vector<std::vector<int>> components;  // members (node numbers), each node at most once
    std::vector<Element> elements;
    std::vector<VectorRecord> loads, velocities;
    std::vector<Curve> curves;
    // "glob": the global number of every local node and element of a process
    // deck; both empty when the deck has none.
    std::vector<int> node_global, element_global;

    int nnodes() const { return static_cast<int>(nodes.size()); }
    int nelements() const { return static_cast<int>(elements.size()); }
    int ncomponents() const { return static_cast<int>(components.size()); }
};

// Result variable names as the deck spells them (without padding).
std::string curve_name(int option);
// Variable number of a name by the solver's 4-character rule, or -1.
int curve_option(std::string_view name);
// True for the variables taken at an element, at a node.
bool curve_at_element(int option);
bool curve_at_node(int option);

// The material table's row of a model word as the deck matches it (its
// first four characters, any case); nullptr for an unknown word.
const catalog::model* material_model(std::string_view word);

// Number of reals after the model word (its row's constants); -1 for an unknown model.
int material_real_count(std::string_view model);

// Deck name of process p: "a".."z", then "aa", "ab", ... like spreadsheet columns.
std::string deck_name(int process);

// The value the solver stores for a real written from `v`.
double to_single(double v);

// Parses the text of a one-process deck. `name` is used in messages.
Deck parse_deck(std::string_view text, const std::string& name);
Deck read_deck(const std::string& path);

// Checks that the deck can be written as a valid deck: indices in range,
// reals representable in single precision, words and lines within the
// reader's limits. Throws Error naming the first problem.
void check_deck(const Deck& deck);

// The deck as text; check_deck runs first.
std::string deck_text(const Deck& deck);
// Writes the deck to `path` (replacing it); throws Error on any failure.
void write_deck(const Deck& deck, const std::string& path);
// Writes `text` to `path`, reporting failures of the write or the close.
void write_text_file(const std::string& path, std::string_view text);

// Final per-node vectors after applying the records in order, as the solver
// does for loads and initial velocities.
std::vector<std::array<double, 3>> apply_records(const Deck& deck,
                                                 const std::vector<VectorRecord>& records);

// Components each node belongs to (1-based component numbers, ascending).
std::vector<std::vector<int>> node_components(const Deck& deck);

// Fast text formatting for writers.
void append_int(std::string& out, long long v);
// Shortest text that reads back as the same single-precision value.
void append_real(std::string& out, double v);

}  // namespace formats
