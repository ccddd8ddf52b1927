#include "mesh/bodies.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace mesh {

Joined join_decks(const std::vector<formats::Deck>& decks, const std::vector<std::string>& names,
                  const std::vector<std::array<double, 3>>& offsets) {
    if (decks.empty()) throw formats::Error("no deck to join");
    Joined j;
    formats::Deck& m = j.deck;
    const formats::Deck& first = decks[0];
    m.title = first.title;
    m.endtime = first.endtime;
    m.outtime = first.outtime;
    m.dtscale = first.dtscale;
    m.report = first.report;
    m.checkpoint = first.checkpoint;
    m.hourglass = first.hourglass;
    m.jaumann = first.jaumann;
    m.midstep = first.midstep;
    m.rigid = first.rigid;
    m.fieldtime = first.fieldtime;
    m.energy = first.energy;
    m.stable = first.stable;
    m.vonmises = first.vonmises;
    m.consistent = first.consistent;
    m.corrected = first.corrected;
    m.bulk = first.bulk;
    m.components.emplace_back();  // every node, filled at the end
    for (size_t k = 0; k < decks.size(); ++k) {
        const formats::Deck& b = decks[k];
        const std::string& name = names[k];
        if (!b.node_global.empty() || !b.element_global.empty())
            throw formats::Error(name +
                                 ": a process deck (it has \"glob\"); join one-process decks");
        if (b.nelements() == 0) throw formats::Error(name + ": the deck has no elements");
        if (!m.timetable && b.timetable) {
            m.timetable = b.timetable;
        } else if (b.timetable &&
                   !(b.timetable->size() == m.timetable->size() &&
                     std::equal(b.timetable->begin(), b.timetable->end(), m.timetable->begin(),
                                [](const auto& x, const auto& y) {
                                    return x.time == y.time && x.value == y.value;
                                }))) {
            j.notes.push_back(name +
                              ": its time table differs from the one of the joined deck, "
                              "which its loads follow");
        }
        if (b.contact)
            j.notes.push_back(name +
                              ": its contact block is not carried (the joined deck's "
                              "contact is chosen with --contact)");
        const int nb = m.nnodes(), eb = m.nelements(), mb = static_cast<int>(m.materials.size());
        Body body;
        body.first_node = nb + 1;
        body.first_element = eb + 1;
        body.first_set = mb + 1;
        for (std::array<double, 3> x : b.nodes) {
            for (size_t a = 0; a < 3; ++a) x[a] += offsets[k][a];
            m.nodes.push_back(x);
        }
        m.materials.insert(m.materials.end(), b.materials.begin(), b.materials.end());
        for (formats::Seos s : b.seos) {
            s.set += mb;
            m.seos.push_back(s);
        }
        for (formats::Element e : b.elements) {
            e.mat += mb;
            for (int& n : e.node) n += nb;
            m.elements.push_back(e);
        }
        // A body's component 1 is usually all of its nodes already (members
        // are distinct, so the count tells).
        const bool has_all = b.ncomponents() > 0 && b.components[0].size() == b.nodes.size();
        if (!has_all) {
            std::vector<int> all(b.nodes.size());
            for (size_t n = 0; n < all.size(); ++n) all[n] = nb + static_cast<int>(n) + 1;
            m.components.push_back(std::move(all));
        }
        const int cb = m.ncomponents();  // body component c is cb + c
        body.first_component = has_all ? cb + 1 : cb;
        for (std::vector<int> c : b.components) {
            for (int& n : c) n += nb;
            m.components.push_back(std::move(c));
        }
        for (formats::Fixity f : b.fixities) {
            f.comp += cb;
            m.fixities.push_back(f);
        }
        auto shift = [&](const std::vector<formats::VectorRecord>& in,
                         std::vector<formats::VectorRecord>& out) {
            for (formats::VectorRecord r : in) {
                r.id += r.comp ? cb : nb;
                out.push_back(r);
            }
        };
        shift(b.loads, m.loads);
        shift(b.velocities, m.velocities);
        for (formats::Curve c : b.curves) {
            if (formats::curve_at_element(c.option)) {
                c.element += eb;
            } else if (formats::curve_at_node(c.option)) {
                c.element += nb;
            } else if (std::any_of(m.curves.begin(), m.curves.end(),
                                   [&](const formats::Curve& o) { return o.option == c.option; })) {
                continue;  // the energy of the whole process, once
            }
            m.curves.push_back(c);
        }
        body.last_node = m.nnodes();
        body.last_element = m.nelements();
        body.last_set = static_cast<int>(m.materials.size());
        body.last_component = m.ncomponents();
        j.bodies.push_back(body);
    }
    m.components[0].resize(m.nodes.size());
    for (size_t n = 0; n < m.nodes.size(); ++n) m.components[0][n] = static_cast<int>(n) + 1;
    if (m.curves.size() > 10)
        throw formats::Error("the joined deck would have " + std::to_string(m.curves.size()) +
                             " curves, at most 10 are allowed");
    return j;
}

std::string unit_warning(const formats::Deck& d) {
    if (d.materials.empty() || d.nelements() == 0) return {};
    for (const formats::Material& mat : d.materials)
        if (mat.reals.size() < 2 || !(mat.reals[0] > 100.0)) return {};
    // The twelve edges of a hexahedron (0-based corners).
    static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                     {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    double step = std::numeric_limits<double>::infinity();
    for (const formats::Element& e : d.elements) {
        const formats::Material& mat = d.materials[static_cast<size_t>(e.mat - 1)];
        const double c = std::sqrt(mat.reals[1] / mat.reals[0]);
        double h = std::numeric_limits<double>::infinity();
        for (const auto& ed : edges) {
            const auto& a = d.nodes[static_cast<size_t>(e.node[static_cast<size_t>(ed[0])] - 1)];
            const auto& b = d.nodes[static_cast<size_t>(e.node[static_cast<size_t>(ed[1])] - 1)];
            h = std::min(h, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
        step = std::min(step, h / c);
    }
    double extent = 0.0;
    for (size_t a = 0; a < 3; ++a) {
        const auto [lo, hi] =
            std::minmax_element(d.nodes.begin(), d.nodes.end(),
                                [a](const auto& p, const auto& q) { return p[a] < q[a]; });
        extent = std::max(extent, (*hi)[a] - (*lo)[a]);
    }
    if (!(step > 1e-4) && !(extent > 100.0)) return {};
    char text[400];
    std::snprintf(text, sizeof text,
                  "the mesh and the material data look like different units: every density is "
                  "above 100 (SI, kg/m^3), but the model is %.3g m across and its step about "
                  "%.2g s (a mesh in metres would stay within 100 m and 1e-4 s); a mesh drawn in "
                  "millimetres needs scaling by 0.001 (gmsh --scale 0.001)",
                  extent, step);
    return text;
}

}  // namespace mesh
