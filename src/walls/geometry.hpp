// The shapes of the rigid walls and the distance of a point from them, free of
// MPI and of the model data.
//
// Every wall is described by a signed gap g(x) and a unit normal n(x): g > 0
// on the side the body keeps to, g < 0 behind the surface, and x - g n lies on
// the surface (the closest point of it). For the plane, the cylinder and the
// sphere that projection is exact, so a node predicted to end a step at
// x(n+1) with g < 0 lands on the surface when its velocity is raised by
// -g / dt(n+1/2) along n: the constraint needs no iteration.
#pragma once

#include <array>
#include <cmath>

namespace walls {

using vec3 = std::array<double, 3>;

inline double dot(const vec3& a, const vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline vec3 cross(const vec3& a, const vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double length(const vec3& a) { return std::sqrt(dot(a, a)); }
inline vec3 scaled(const vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline vec3 minus(const vec3& a, const vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

enum class shape { plane, cylinder, sphere };

// One rigid wall as the node update uses it. Directions are unit vectors.
struct wall {
    shape kind = shape::plane;
    vec3 point{};   // plane: a point of it (a corner when finite); cylinder: a point of the
                    // axis (an end when finite); sphere: the centre; at time 0, m
    vec3 normal{};  // plane: towards the body; cylinder: the axis
    // Finite plane: the rectangle point + a edge + b (normal x edge), 0 <= a <= sizea,
    // 0 <= b <= sizeb; sizea 0 for an infinite plane
    vec3 edge{};
    double sizea = 0.0, sizeb = 0.0;  // m
    double radius = 0.0;              // cylinder and sphere, m
    double span = 0.0;                // cylinder length along the axis from point, 0 infinite, m
    bool inside = false;              // cylinder and sphere: the body keeps inside
    vec3 velocity{};                  // constant velocity of the wall, m/s
    double mu = 0.0;                  // Coulomb friction coefficient
    int comp = 0;                     // component whose nodes the wall holds, 0 every node
};

// Where a point stands against a wall: the gap, the normal, and whether the
// wall acts there at all (a finite plane or cylinder only over its extent).
struct contactpoint {
    double gap = 0.0;
    vec3 normal{};
    bool acts = false;
};

// The wall's point at time t (it moves with constant velocity).
inline vec3 pointat(const wall& w, double t) {
    return {w.point[0] + w.velocity[0] * t, w.point[1] + w.velocity[1] * t,
            w.point[2] + w.velocity[2] * t};
}

// The point x against wall w at time t.
inline contactpoint locate(const wall& w, const vec3& x, double t) {
    contactpoint c;
    const vec3 d = minus(x, pointat(w, t));
    switch (w.kind) {
        case shape::plane: {
            c.gap = dot(d, w.normal);
            c.normal = w.normal;
            c.acts = true;
            if (w.sizea > 0.0) {
                const double a = dot(d, w.edge);
                const double b = dot(d, cross(w.normal, w.edge));
                c.acts = a >= 0.0 && a <= w.sizea && b >= 0.0 && b <= w.sizeb;
            }
            return c;
        }
        case shape::cylinder: {
            const double s = dot(d, w.normal);
            const vec3 radial = minus(d, scaled(w.normal, s));
            const double r = length(radial);
            // On the axis the direction away from it is not defined.
            c.acts = r > 0.0 && (w.span <= 0.0 || (s >= 0.0 && s <= w.span));
            if (!c.acts) return c;
            const vec3 out = scaled(radial, 1.0 / r);
            c.gap = w.inside ? w.radius - r : r - w.radius;
            c.normal = w.inside ? scaled(out, -1.0) : out;
            return c;
        }
        case shape::sphere: {
            const double r = length(d);
            c.acts = r > 0.0;
            if (!c.acts) return c;
            const vec3 out = scaled(d, 1.0 / r);
            c.gap = w.inside ? w.radius - r : r - w.radius;
            c.normal = w.inside ? scaled(out, -1.0) : out;
            return c;
        }
    }
    return c;
}

// The velocity change that keeps a node of predicted velocity `v` (its
// v(n+1/2) from the forces alone) on the wall: `c` is the node's predicted
// end position x(n) + dt v against the wall at the end of the step, `dt` the
// step dt(n+1/2). Zero unless the wall acts there and c.gap < 0. The normal
// part -gap/dt lands the node on the surface; friction then takes at most mu
// times that impulse out of the sliding velocity relative to the wall, and
// stops the sliding when that is enough (Coulomb: stick or slip in one step).
inline vec3 correction(const wall& w, const contactpoint& c, const vec3& v, double dt) {
    if (!c.acts || !(c.gap < 0.0)) return {};
    const double dn = -c.gap / dt;
    vec3 dv = scaled(c.normal, dn);
    if (w.mu > 0.0) {
        vec3 rel = minus(v, w.velocity);
        rel = {rel[0] + dv[0], rel[1] + dv[1], rel[2] + dv[2]};
        const vec3 slide = minus(rel, scaled(c.normal, dot(rel, c.normal)));
        const double s = length(slide);
        if (s > 0.0) {
            const double cap = w.mu * dn;
            const double take = s <= cap ? 1.0 : cap / s;
            dv = minus(dv, scaled(slide, take));
        }
    }
    return dv;
}

}  // namespace walls
