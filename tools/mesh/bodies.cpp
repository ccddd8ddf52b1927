#include "mesh/bodies.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "failure/failtable.hpp"
#include "mesh/orientation.hpp"

namespace mesh {

namespace {

std::string value_list(const std::vector<double>& v) {
    std::string s;
    for (const double x : v) {
        if (!s.empty()) s += ' ';
        formats::append_real(s, x);
    }
    return s;
}

// The failure records of body `b` into the joined deck `m`, their material
// sets shifted by `mb` (the sets before the body's). A record without a set
// ("step") acts on the whole model: the bodies that give it must agree.
void carry_failure(const formats::Deck& b, const std::string& name, int mb, formats::Deck& m) {
    if (!b.failure) return;
    if (!m.failure) m.failure.emplace();
    for (formats::FailureRecord r : *b.failure) {
        const failtable::criterion* row = failtable::find(r.criterion);
        if (!row) throw formats::Error(name + ": unknown failure criterion");
        r.line = 0;
        if (row->perset) {
            r.set += mb;
        } else {
            const auto had = std::find_if(
                m.failure->begin(), m.failure->end(),
                [&](const formats::FailureRecord& o) { return o.criterion == r.criterion; });
            if (had != m.failure->end()) {
                if (had->values != r.values)
                    throw formats::Error(
                        name + ": its failure record \"" + row->word + " " + value_list(r.values) +
                        "\" differs from \"" + row->word + " " + value_list(had->values) +
                        "\" of an earlier deck; the record acts on the whole joined model, so "
                        "give the decks the same one (or drop it from all but one)");
                continue;
            }
        }
        m.failure->push_back(std::move(r));
    }
}

// The pairs of material sets in contact that body `b`'s own block asks for
// (its "part" sets all against all, and its "pair" records), shifted by `mb`;
// every pair of its sets when the block names none.
void body_pairs(const formats::Contact* c, int nsets, int mb, std::set<std::array<int, 2>>& pairs) {
    auto add = [&pairs](int a, int b) { pairs.insert({std::min(a, b), std::max(a, b)}); };
    if (!c || (c->parts.empty() && c->pairs.empty())) {
        for (int a = 1; a <= nsets; ++a)
            for (int b = a; b <= nsets; ++b) add(mb + a, mb + b);
        return;
    }
    std::vector<int> part;
    for (const std::vector<int>& p : c->parts) part.insert(part.end(), p.begin(), p.end());
    for (size_t x = 0; x < part.size(); ++x)
        for (size_t y = x; y < part.size(); ++y) add(mb + part[x], mb + part[y]);
    for (const std::array<int, 2>& p : c->pairs) add(mb + p[0], mb + p[1]);
}

// The contact block of the joined deck. The bodies' own blocks are carried:
// their penalty scale and friction (bodies that give them must agree), their
// pair scales, and the sets they put in contact within the body. With
// `between` the bodies touch one another too, every set of one against every
// set of another. Without any "part" or "pair" in the bodies' blocks that is
// every set against every one, the plain block; otherwise the pairs are
// written out.
void join_contact(const std::vector<formats::Deck>& decks, const std::vector<std::string>& names,
                  const std::vector<Body>& bodies, bool between, formats::Deck& m) {
    formats::Contact c;
    bool any = between, restricted = false;
    std::string scale_from, friction_from;
    for (size_t k = 0; k < decks.size(); ++k) {
        if (!decks[k].contact) continue;
        const formats::Contact& b = *decks[k].contact;
        any = true;
        restricted = restricted || !b.parts.empty() || !b.pairs.empty();
        if (b.scale) {
            if (c.scale && *c.scale != *b.scale)
                throw formats::Error(names[k] + ": its contact penalty scale \"scal " +
                                     value_list({*b.scale}) + "\" differs from \"scal " +
                                     value_list({*c.scale}) + "\" of " + scale_from +
                                     "; the joined deck has one, so give the decks the same");
            c.scale = b.scale;
            scale_from = names[k];
        }
        if (b.friction) {
            const formats::Friction& f = *b.friction;
            if (c.friction && (c.friction->stat != f.stat || c.friction->dyn != f.dyn ||
                               c.friction->decay != f.decay))
                throw formats::Error(
                    names[k] + ": its contact friction \"fric " +
                    value_list({f.stat, f.dyn, f.decay}) + "\" differs from \"fric " +
                    value_list({c.friction->stat, c.friction->dyn, c.friction->decay}) + "\" of " +
                    friction_from + "; the joined deck has one, so give the decks the same");
            c.friction = f;
            friction_from = names[k];
        }
        const int mb = bodies[k].first_set - 1;
        for (grammar::pairscale p : b.pairscales) {
            p.a += mb;
            p.b += mb;
            c.pairscales.push_back(p);
        }
    }
    if (!any) return;
    if (between && !restricted) {
        m.contact = std::move(c);
        return;
    }
    std::set<std::array<int, 2>> pairs;
    for (size_t k = 0; k < decks.size(); ++k) {
        const Body& body = bodies[k];
        const int nsets = body.last_set - body.first_set + 1;
        if (decks[k].contact || between)
            body_pairs(decks[k].contact ? &*decks[k].contact : nullptr, nsets, body.first_set - 1,
                       pairs);
        if (between)
            for (size_t l = k + 1; l < decks.size(); ++l)
                for (int a = body.first_set; a <= body.last_set; ++a)
                    for (int b = bodies[l].first_set; b <= bodies[l].last_set; ++b)
                        pairs.insert({a, b});
    }
    c.pairs.assign(pairs.begin(), pairs.end());
    m.contact = std::move(c);
}

}  // namespace

Joined join_decks(const std::vector<formats::Deck>& decks, const std::vector<std::string>& names,
                  const std::vector<std::array<double, 3>>& offsets, bool contact) {
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
    m.solvermath = first.solvermath;
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
        carry_failure(b, name, mb, m);
        for (formats::Body r : b.bodies) {
            r.set += mb;
            m.bodies.push_back(r);
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
        // The body's own time functions (2..) follow those of the bodies
        // before it; its loads and drives name them by their new numbers.
        const auto function = [&, fb = static_cast<int>(m.functions.size())](int f) {
            return f > 1 ? f + fb : f;
        };
        for (formats::Function f : b.functions) {
            f.func = function(f.func);
            if (f.func > grammar::maxfunctions)
                throw formats::Error(name + ": the joined deck would need time function " +
                                     std::to_string(f.func) + ", at most " +
                                     std::to_string(grammar::maxfunctions) + " are allowed");
            m.functions.push_back(std::move(f));
        }
        for (formats::Drive r : b.drives) {
            r.comp += cb;
            r.func = function(r.func);
            m.drives.push_back(r);
        }
        for (formats::Reaction r : b.reactions) {
            r.comp += cb;
            r.name = r.comp;
            m.reactions.push_back(r);
        }
        if (b.walls) {
            if (!m.walls) m.walls.emplace();
            // A body's walls were placed about its mesh: they move with it.
            for (formats::Wall w : *b.walls) {
                for (size_t a = 0; a < 3; ++a) w.point[a] += offsets[k][a];
                if (w.comp) *w.comp += cb;
                m.walls->push_back(w);
            }
        }
        shift(b.loads, m.loads);
        shift(b.velocities, m.velocities);
        for (size_t at = m.loads.size() - b.loads.size(); at < m.loads.size(); ++at)
            m.loads[at].func = function(m.loads[at].func);
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
    join_contact(decks, names, j.bodies, contact, m);
    m.components[0].resize(m.nodes.size());
    for (size_t n = 0; n < m.nodes.size(); ++n) m.components[0][n] = static_cast<int>(n) + 1;
    if (m.curves.size() > 10)
        throw formats::Error("the joined deck would have " + std::to_string(m.curves.size()) +
                             " curves, at most 10 are allowed");
    return j;
}

namespace {

// The twelve edges of a hexahedron (0-based corners).
constexpr int kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                               {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

}  // namespace

UnitFigures unit_figures(const formats::Deck& d) {
    UnitFigures f;
    for (int e = 1; e <= d.nelements(); ++e) {
        const int set = d.elements[static_cast<size_t>(e - 1)].mat;
        const formats::Material& mat = d.materials[static_cast<size_t>(set - 1)];
        const double c = std::sqrt(mat.reals[1] / mat.reals[0]);
        double xyz[8][3];
        corners(d, e, xyz);
        double h = std::numeric_limits<double>::infinity();
        for (const auto& ed : kEdges) {
            const double* a = xyz[ed[0]];
            const double* b = xyz[ed[1]];
            h = std::min(h, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
        f.step = std::min(f.step, h / c);
        f.mass += mat.reals[0] * std::fabs(signed_volume(xyz));
    }
    for (size_t a = 0; a < 3; ++a) {
        const auto [lo, hi] =
            std::minmax_element(d.nodes.begin(), d.nodes.end(),
                                [a](const auto& p, const auto& q) { return p[a] < q[a]; });
        f.extent = std::max(f.extent, (*hi)[a] - (*lo)[a]);
    }
    if (d.endtime && *d.endtime > 0 && f.step > 0) f.steps = *d.endtime / f.step;
    return f;
}

std::string unit_warning(const formats::Deck& d) {
    if (d.materials.empty() || d.nelements() == 0 || d.nodes.empty()) return {};
    for (const formats::Material& mat : d.materials)
        if (mat.reals.size() < 2 || !(mat.reals[0] > 100.0) || !(mat.reals[1] > 0.0)) return {};
    const UnitFigures f = unit_figures(d);
    const bool large = f.extent > kLargestModel;
    const bool slow = f.step > kLongestStep;
    const bool heavy_and_short = f.mass > kHeaviestModel && f.steps >= 0 && f.steps < kFewestSteps;
    if (!large && !slow && !heavy_and_short) return {};
    char text[800];
    std::string run;
    if (f.steps >= 0) {
        char steps[160];
        std::snprintf(steps, sizeof steps, ", so that the end time %.3g s takes about %.3g steps",
                      *d.endtime, f.steps);
        run = steps;
    }
    std::snprintf(text, sizeof text,
                  "the mesh and the material data look like different units: every density is "
                  "above 100 (SI, kg/m^3), but read in metres the model is %.3g m across and "
                  "weighs %.3g kg, its step about %.2g s%s (a model in metres within 100 m, a "
                  "step within 1e-4 s, and a model over 100 t running 1000 steps or more, pass); "
                  "a mesh drawn in millimetres needs scaling by 0.001 (gmsh --scale 0.001)",
                  f.extent, f.mass, f.step, run.c_str());
    return text;
}

std::vector<Piece> separate_pieces(const formats::Deck& d) {
    // Union-find over the nodes: every element joins its eight corners.
    std::vector<int> up(d.nodes.size());
    for (size_t n = 0; n < up.size(); ++n) up[n] = static_cast<int>(n);
    auto root = [&up](int n) {
        while (up[static_cast<size_t>(n)] != n) {
            up[static_cast<size_t>(n)] = up[static_cast<size_t>(up[static_cast<size_t>(n)])];
            n = up[static_cast<size_t>(n)];
        }
        return n;
    };
    for (const formats::Element& e : d.elements)
        for (size_t k = 1; k < 8; ++k) {
            const int a = root(e.node[0] - 1), b = root(e.node[k] - 1);
            if (a != b) up[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
        }
    std::vector<Piece> pieces;
    std::map<int, size_t> piece_of_root;
    for (const formats::Element& e : d.elements) {
        const auto [it, fresh] = piece_of_root.emplace(root(e.node[0] - 1), pieces.size());
        if (fresh) pieces.emplace_back();
        Piece& p = pieces[it->second];
        ++p.elements;
        const auto at = std::lower_bound(p.sets.begin(), p.sets.end(), e.mat);
        if (at == p.sets.end() || *at != e.mat) p.sets.insert(at, e.mat);
    }
    return pieces;
}

std::string contact_warning(const formats::Deck& d, const std::string& option,
                            const std::vector<std::string>& set_names) {
    if (d.contact) return {};
    std::vector<Piece> pieces = separate_pieces(d);
    if (pieces.size() < 2) return {};
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.sets < b.sets; });
    const auto name_of = [&set_names](int m) -> const std::string& {
        static const std::string none;
        return m >= 1 && m <= static_cast<int>(set_names.size())
                   ? set_names[static_cast<size_t>(m - 1)]
                   : none;
    };
    std::string list;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        std::string sets, names;
        bool named = true;
        for (const int m : p.sets) {
            if (!sets.empty()) sets += ',';
            sets += std::to_string(m);
            if (name_of(m).empty()) named = false;
            names += std::string(names.empty() ? "" : ", ") + "\"" + name_of(m) + "\"";
        }
        list +=
            std::string(k == 0 ? "" : "; ") + std::to_string(p.elements) + " element" +
            (p.elements == 1 ? "" : "s") + " of " +
            (named ? std::string(p.sets.size() == 1 ? "volume " : "volumes ") + names + " (" : "") +
            "material set" + (p.sets.size() == 1 ? " " : "s ") + sets + (named ? ")" : "");
        if (k == 4 && pieces.size() > 6) {
            list += "; ... " + std::to_string(pieces.size() - 5) + " more";
            break;
        }
    }
    return "the mesh holds " + std::to_string(pieces.size()) +
           " separate bodies that share no node (" + list +
           ") and the deck has no contact, so they will pass through one another: add \"" + option +
           " on\" for contact between them (\"" + option +
           " off\" says they are meant to pass through and silences this warning)";
}

}  // namespace mesh
