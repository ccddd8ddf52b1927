// Models of several bodies: decks joined into one, and the check that a
// mesh and its material data are in the same units.
#pragma once

#include <array>
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
// deck that has one. `names` name the decks in messages. Throws formats::Error.
Joined join_decks(const std::vector<formats::Deck>& decks, const std::vector<std::string>& names,
                  const std::vector<std::array<double, 3>>& offsets);

// A mesh drawn in millimetres (or any unit other than metres) with material
// data in SI units gives a model a thousand times too large, whose run takes
// a thousand times too many steps to the same end time. The materials look
// like SI when every density is above 100 (kg/m^3; a solid in g/cm^3 or
// t/mm^3 has a density below 25); the mesh then disagrees when the model is
// more than 100 m across, or when the step estimate, the shortest element
// edge over the wave speed sqrt(E/rho) of its material, is above 1e-4 s.
// Returns the warning, or nothing.
std::string unit_warning(const formats::Deck& deck);

}  // namespace mesh
