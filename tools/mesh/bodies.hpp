// Models of several bodies: decks joined into one, and the check that a
// mesh and its material data are in the same units.
#pragma once

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "formats/deck.hpp"

namespace mesh {

// Where the parts of body k landed in the joined deck (all 1-based, ranges
// inclusive; `first_component` is the component of all of the body's nodes).
struct Body {
    int first_node = 0, last_node = 0;
    int first_element = 0, last_element = 0;
    int first_set = 0, last_set = 0;
    int first_component = 0, last_component = 0;
};

struct Joined {
    formats::Deck deck;
    std::vector<Body> bodies;
    std::vector<std::string> notes;  // what was dropped on the way, for a warning
};

// Joins one-process decks into one, body k moved by offsets[k]. Nodes,
// elements, material sets (with their equations of state) follow body by
// body. Component 1 holds every node; the components of each body follow,
// shifted by a constant, the first of them holding all of the body's nodes
// (a body whose component 1 does not hold them all gets such a component in
// front). Held components, loads, initial velocities and curves are
// renumbered with their body; an energy curve is kept once. Run control and
// the rigid plane come from the first deck, the time table from the first
// deck that has one. Failure records ("fail") follow their material sets; the
// record of the whole model ("step") is kept once, and decks that give it
// differently are refused. A body's contact block is carried: the sets it
// puts in contact within the body, its pair scales, its penalty scale and
// friction (refused when two decks give different ones); `contact` adds
// contact between the bodies, every set of one against every set of
// another. `names` name the decks in messages. Throws formats::Error.
Joined join_decks(const std::vector<formats::Deck>& decks, const std::vector<std::string>& names,
                  const std::vector<std::array<double, 3>>& offsets, bool contact = false);

// A mesh drawn in millimetres (or any unit other than metres) with material
// data in SI units gives a model a thousand times too large, whose step is a
// thousand times too long: the run reaches its end time in a step or a few
// (the solver then reports an absurd kinetic energy and ends normally). The
// materials look like SI when every density is above 100 (kg/m^3; a solid in
// g/cm^3, kg/mm^3 or t/mm^3 has a density below 25). The mesh, read in metres
// against that material, then disagrees when
//  - the model is more than 100 m across, or
//  - the step estimate, the shortest element edge over the wave speed
//    sqrt(E/rho) of its material, is above 1e-4 s, or
//  - the model weighs more than 100 t (density times element volumes) and
//    its end time is reached in fewer than 1000 such steps. A millimetre
//    mesh of a body a few millimetres across already weighs that much read in
//    metres, and its impact, timed in seconds, lasts a few steps of it; a
//    model that is really that heavy runs long enough for its waves to cross
//    it, hundreds of its steps at the least.
// Returns the warning, or nothing.
std::string unit_warning(const formats::Deck& deck);

// What unit_warning judges, the mesh read in metres against SI material data.
struct UnitFigures {
    double extent = 0.0;                                    // largest extent along x, y or z
    double step = std::numeric_limits<double>::infinity();  // shortest edge over wave speed
    double mass = 0.0;                                      // density times volume, summed
    double steps = -1.0;  // end time over step; -1 without a positive end time
};
UnitFigures unit_figures(const formats::Deck& deck);
inline constexpr double kLargestModel = 100.0;  // m
inline constexpr double kLongestStep = 1e-4;    // s
inline constexpr double kHeaviestModel = 1e5;   // kg
inline constexpr double kFewestSteps = 1000.0;  // steps to the end time

// Pieces of the mesh that share no node with one another: bodies that only
// contact can keep apart. Each piece lists its material sets (ascending) and
// counts its elements; pieces come in the order of their first element.
struct Piece {
    std::vector<int> sets;
    int elements = 0;
};
std::vector<Piece> separate_pieces(const formats::Deck& deck);

// The warning for a deck of several pieces without contact, whose bodies
// would pass through one another; nothing for one piece or with contact.
// `option` is what switches contact on in the message. The pieces are listed
// by their lowest material set; a piece whose sets all have a name in
// `set_names` (set m at m-1, empty where it has none: the Gmsh volume names)
// is called by them.
std::string contact_warning(const formats::Deck& deck, const std::string& option,
                            const std::vector<std::string>& set_names = {});

}  // namespace mesh
