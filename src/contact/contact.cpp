#include "contact/contact.hpp"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "contact/exchange.hpp"
#include "contact/overlap.hpp"
#include "contact/penalty.hpp"
#include "contact/record.hpp"
#include "contact/search.hpp"
#include "contact/surface.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "parallel/ownership.hpp"

namespace contact {

namespace {

// The code of the face that holds a node: 8 times its element's number in
// the whole model plus its side (0..5); 0 for none. A checkpoint of an
// older run carries 1 for "held by some face", which the next step resolves.
double holdcode(long long egid, int side) { return 8.0 * static_cast<double>(egid) + side; }

// What the processes know of a surface node besides its number, sent whole
// with the ghosts and again every step: a fixed record of doubles.
struct nodestate {
    double x[3], v[3];  // position x(n), velocity v(n-1/2)
    double a[3];        // acceleration of the forces before contact, a(n)
    double m;
    double offset;  // starting depth still followed (<= 0)
    double hold;    // code of the face holding it (holdcode), 0 none
    template <class IO, class R>
    static constexpr void fields(IO& io, R& r) {
        io(r.x);
        io(r.v);
        io(r.a);
        io(r.m);
        io(r.offset);
        io(r.hold);
    }
};

constexpr std::size_t statedoubles = recordsize(nodestate{});

// A node of the surface this process sees: its own or a ghost of another
// process's.
struct snode : nodestate {
    long long gid;  // number in the whole model
    int local;      // local node (0-based), -1 for a ghost
    double xs[3];   // position at the last search
    std::uint64_t parts;
};

// What every process that sees a face knows of it, sent with the ghosts.
struct facerecord {
    long long egid;      // its element's number in the whole model
    int side;            // which face of the element
    long long gnode[4];  // its corners, whole-model numbers
    long long enode[8];  // the element's nodes, whole-model numbers
    double k, depth;     // stiffness f K A / V (N/m^3), capture depth (m)
    int part;            // material set of the element
    double area;         // area at the start, m^2
    template <class IO, class R>
    static constexpr void fields(IO& io, R& r) {
        io(r.egid);
        io(r.side);
        io(r.gnode);
        io(r.enode);
        io(r.k);
        io(r.depth);
        io(r.part);
        io(r.area);
    }
};

constexpr std::size_t facedoubles = recordsize(facerecord{});

// A face this process sees.
struct sface : facerecord {
    int n[4];  // its corners, entries of `nodes`
};

// A node's face for the step: the face (-1 none), the node's closest point
// on it, the area the node presses with, and the node's motion relative to
// that point of the face along its normal.
struct pairing {
    int face = -1;
    projection p{};
    double area = 0.0;
    double vn = 0.0;  // relative normal velocity v(n-1/2), m/s
    double an = 0.0;  // relative normal acceleration a(n) before contact, m/s^2
};

// A face seen from the nodes near it in one step (see frame()).
struct faceframe {
    double n[3];     // unit normal of the diagonals
    double c[3];     // centre (mean of the corners)
    double w;        // distance of corner 0 from the plane through the centre
    double vf[3];    // mean of the corners' v + dtn a
    bool sided;      // `side` is of this step
    sideframe side;  // the side test's part of the face
};

// Stiffness and capture depth of the process's faces from the geometry at
// the start.
struct facemeasure {
    double k, depth, area;
};

// The deepest start of a node inside the other body: the depth, the
// process that found it, the node and the element or face it is in.
struct overlap {
    double depth = 0.0;
    long long node = 0, element = 0;
};

}  // namespace

// Everything the contact keeps from one step to the next, in one object:
// built by prepare() and start(), renewed by the search, carried by the time
// loop through the `surface` handle.
struct state {
    bool ready = false;
    localexterior local;    // which faces of the process's elements no other one has
    std::vector<face> own;  // the process's exterior faces
    // Their stiffness per area of the node pressing (f K A / V, N/m^3),
    // capture depth (m) and area (m^2) at the start.
    std::vector<double> ownk, owndepth, ownarea;
    // With erosion, every face of every element may come to the surface:
    // all are measured on the deck geometry, element by element, six each.
    std::vector<facemeasure> everyface;
    std::vector<double> offsets;  // per local node, starting depth followed
    std::vector<double> holds;    // per local node, the face holding it (holdcode)
    std::vector<double> force;    // per local node, contact force of the step
    // per "forc" record, the force of the step on its first set from its
    // second, x y z, over the nodes this process counts
    std::vector<double> setforce;
    double margin = 0.0, reach = 0.0;    // search margin and ghost reach, m
    double spent = 0.0;                  // margin used up by updates since the last search, m
    std::vector<std::uint64_t> allowed;  // per material set (1..64), the sets it may touch
    bool everyset = true;                // no "part"/"pair": every set touches every set
    std::vector<double> pairfactor;      // per pair of sets (65 x 65), psca over scal

    std::vector<snode> nodes;                    // sorted by whole-model number
    std::vector<sface> faces;                    // sorted by element and side in the whole model
    std::vector<std::vector<double>> sendstate;  // per process, the states sent there each step
    std::vector<int> cstart, clist;              // per node, candidate faces
    std::vector<int> nfstart, nflist;            // per node, its own faces
    std::vector<std::vector<int>> sendnodes;     // per process, local nodes sent there
    std::vector<std::vector<int>> recvnodes;     // per process, entries of `nodes` (-1 skip)
    std::vector<pairing> pairs;                  // per node seen, its face for the step
    std::vector<faceframe> frames;               // per face, its frame of the step
    std::vector<long long> framestep;            // per face, the step its frame is of
    long long stepcount = 0;                     // steps through apply()
    std::vector<double> counted;                 // per local node, 1 where the process counts it
    statistics counters{};
    bool warnedstep = false;
    bool searchedinstep = false;  // the surface was rebuilt after erosion in this step
    std::string stiffpair;        // the first pair whose spring needed a shorter step, in words
};

namespace {

// The stop depth of a pair, as a fraction of the face's capture depth (half
// its element's thickness).
constexpr double stopfraction = 0.005;

// The state of local node k from the process's arrays, written into s
// (inlined: the per-step refresh packs it straight into the messages).
[[gnu::always_inline]] inline void loadstate(const state& st, int k, nodestate& s) {
    const std::size_t i = 3 * static_cast<std::size_t>(k);
    s.m = particledata::mp[static_cast<std::size_t>(k)];
    for (int c = 0; c < 3; ++c) {
        s.x[c] = particledata::pos[i + c];
        s.v[c] = particledata::vel[i + c];
        // Before the node update acc holds the summed forces.
        s.a[c] = s.m != 0.0 ? particledata::acc[i + c] / s.m : 0.0;
    }
    s.offset = st.offsets[static_cast<std::size_t>(k)];
    s.hold = st.holds[static_cast<std::size_t>(k)];
}

nodestate localstate(const state& st, int k) {
    nodestate s{};
    loadstate(st, k, s);
    return s;
}

std::uint64_t bit(int set) { return set >= 1 && set <= 64 ? std::uint64_t{1} << (set - 1) : 0; }

void setparts(state& st) {
    const contactcontrol& c = elementdata::contact;
    st.everyset = c.parts.empty() && c.pairs.empty();
    st.allowed.assign(65, 0);
    std::uint64_t in = 0;
    for (const int p : c.parts) in |= bit(p);
    for (const int p : c.parts) st.allowed[static_cast<std::size_t>(p)] |= in;
    for (const auto& pr : c.pairs) {
        st.allowed[static_cast<std::size_t>(pr[0])] |= bit(pr[1]);
        st.allowed[static_cast<std::size_t>(pr[1])] |= bit(pr[0]);
    }
    // The faces' stiffness holds scal's scale; a pair of sets with its own
    // scales it by the ratio.
    st.pairfactor.assign(std::size_t{65} * 65, 1.0);
    for (const auto& ps : c.pairscales) {
        const auto a = static_cast<std::size_t>(ps[0]), b = static_cast<std::size_t>(ps[1]);
        st.pairfactor[65 * a + b] = st.pairfactor[65 * b + a] = ps[2] / c.scale;
    }
}

// The scale factor of the spring between node `s` (the lowest set of its
// faces) and a face of set `part`.
double springfactor(const state& st, const snode& s, int part) {
    if (s.parts == 0 || part < 1 || part > 64) return 1.0;
    int set = 1;
    for (std::uint64_t p = s.parts; (p & 1) == 0; p >>= 1) set += 1;
    return st.pairfactor[65 * static_cast<std::size_t>(set) + static_cast<std::size_t>(part)];
}

bool touches(const state& st, const snode& s, const sface& f) {
    if (st.everyset) return true;
    if (f.part < 1 || f.part > 64) return false;
    return (st.allowed[static_cast<std::size_t>(f.part)] & s.parts) != 0;
}

// Unit normal of face `f` from its diagonals.
std::array<double, 3> facenormal(const state& st, const sface& f) {
    std::array<double, 3> m = diagonalcross(
        st.nodes[static_cast<std::size_t>(f.n[0])].x, st.nodes[static_cast<std::size_t>(f.n[1])].x,
        st.nodes[static_cast<std::size_t>(f.n[2])].x, st.nodes[static_cast<std::size_t>(f.n[3])].x);
    const double len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    if (len > 0.0)
        for (double& c : m) c = c / len;
    return m;
}

// The area node `s` presses with against a face of normal `n`: a quarter
// of each of its own faces, as far as that face looks against n. A uniform
// pressure then loads a face's corners, edges and middle nodes in
// proportion to their share of it.
double pressingarea(const state& st, const snode& s, const double n[3], double* most = nullptr) {
    const std::size_t i = static_cast<std::size_t>(&s - st.nodes.data());
    double a = 0.0;
    for (int j = st.nfstart[i]; j < st.nfstart[i + 1]; ++j) {
        const sface& f = st.faces[static_cast<std::size_t>(st.nflist[static_cast<std::size_t>(j)])];
        const std::array<double, 3> m = facenormal(st, f);
        const double c = -(m[0] * n[0] + m[1] * n[1] + m[2] * n[2]);
        if (c > 0.0) a += 0.25 * f.area * c;
        if (most && c > *most) *most = c;
    }
    return a;
}

void corners(const state& st, const sface& f, double xf[4][3]) {
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c) xf[k][c] = st.nodes[static_cast<std::size_t>(f.n[k])].x[c];
}

// The relative normal motion of pairing q of node s.
void relative(const state& st, const snode& s, pairing& q) {
    const sface& f = st.faces[static_cast<std::size_t>(q.face)];
    q.vn = 0.0;
    q.an = 0.0;
    for (int d = 0; d < 3; ++d) {
        double vf = 0.0, af = 0.0;
        for (int i = 0; i < 4; ++i) {
            const snode& c = st.nodes[static_cast<std::size_t>(f.n[i])];
            vf += q.p.shape[i] * c.v[d];
            af += q.p.shape[i] * c.a[d];
        }
        q.vn += (s.v[d] - vf) * q.p.normal[d];
        q.an += (s.a[d] - af) * q.p.normal[d];
    }
}

// The face seen with hold code `code`, -1 none.
int facebycode(const state& st, double code) {
    if (!(code >= 8.0)) return -1;
    const long long egid = static_cast<long long>(code / 8.0);
    const int side = static_cast<int>(code - 8.0 * static_cast<double>(egid));
    const auto it =
        std::lower_bound(st.faces.begin(), st.faces.end(), std::make_pair(egid, side),
                         [](const sface& f, const std::pair<long long, int>& k) {
                             return f.egid != k.first ? f.egid < k.first : f.side < k.second;
                         });
    return it != st.faces.end() && it->egid == egid && it->side == side
               ? static_cast<int>(it - st.faces.begin())
               : -1;
}

// The face's frame for the step: the plane through its centre along its
// unit normal, the corners' distance w from it and the mean velocity of its
// corners a step on (v + dtn a). Computed once a step for each face a node
// looks at; its part of the side test (sideof()) only once a node is near
// the face's plane.
const faceframe& frame(state& st, int fi, double dtn) {
    const std::size_t k = static_cast<std::size_t>(fi);
    faceframe& fr = st.frames[k];
    if (st.framestep[k] == st.stepcount) return fr;
    st.framestep[k] = st.stepcount;
    const sface& f = st.faces[k];
    double xf[4][3];
    corners(st, f, xf);
    const std::array<double, 3> n = facenormal(st, f);
    fr.sided = false;
    fr.w = 0.0;
    for (int c = 0; c < 3; ++c) {
        double vf = 0.0;
        for (int m = 0; m < 4; ++m) {
            const snode& q = st.nodes[static_cast<std::size_t>(f.n[m])];
            vf += 0.25 * (q.v[c] + dtn * q.a[c]);
        }
        fr.n[c] = n[c];
        fr.vf[c] = vf;
        fr.c[c] = 0.25 * (xf[0][c] + xf[1][c] + xf[2][c] + xf[3][c]);
        fr.w += (xf[0][c] - fr.c[c]) * n[c];
    }
    return fr;
}

// The side test's part of face fi for the step, whose frame() is taken.
const sideframe& sideof(state& st, int fi) {
    faceframe& fr = st.frames[static_cast<std::size_t>(fi)];
    if (!fr.sided) {
        double xf[4][3];
        corners(st, st.faces[static_cast<std::size_t>(fi)], xf);
        fr.side = sideframeof(xf);
        fr.sided = true;
    }
    return fr.side;
}

// The face a free node `s` comes into contact with, none if none: among its
// candidates that it is behind within the capture depth, or will be behind
// at t(n+1) by its motion without contact (the gap predicted with the next
// step `dtnext` and dt(n) `dtn`; both 0 at the start), the one its own
// faces are most turned against (the face it went through, not the side of
// the body whose plane it lies on); among nearly equal ones the nearest.
pairing capture(state& st, const snode& s, double dtnext, double dtn) {
    pairing best;
    const std::size_t i = static_cast<std::size_t>(&s - st.nodes.data());
    for (int j = st.cstart[i]; j < st.cstart[i + 1]; ++j) {
        const int fi = st.clist[static_cast<std::size_t>(j)];
        const sface& f = st.faces[static_cast<std::size_t>(fi)];
        const faceframe& fr = frame(st, fi, dtn);
        // The patch lies within its corners' distance w from the plane
        // through their centre: a node in front of that plane by more than
        // w plus what it closes in within the step is not at the face.
        double d = 0.0, closing = 0.0;
        for (int c = 0; c < 3; ++c) {
            d += (s.x[c] - fr.c[c]) * fr.n[c];
            closing += (s.v[c] + dtn * s.a[c] - fr.vf[c]) * fr.n[c];
        }
        const double w = fr.w;
        // (fmax without the library call: a NaN gives 0, as there.)
        const double ahead = dtnext * (-closing > 0.0 ? -closing : 0.0);
        if (d > std::fabs(w) * 1.000001 + 2.0 * ahead + 1e-300) continue;
        // The closest point of a pair taken lies on the patch, within
        // (1 + edgetolerance)^2 |w| of that plane, and the node no deeper
        // than the capture depth: a node off to the side is not at the face.
        const double above = d + 1.0405 * std::fabs(w);
        if (offface(sideof(st, fi), s.x, above > f.depth ? above : f.depth)) continue;
        double xf[4][3];
        corners(st, f, xf);
        pairing q;
        q.face = fi;
        q.p = project(s.x, xf);
        if (!q.p.inside || -q.p.gap > f.depth) continue;
        relative(st, s, q);
        if (!(q.p.gap < 0.0) && !(q.p.gap + dtnext * (q.vn + dtn * q.an) < 0.0)) continue;
        // A node whose own faces all stand square to the face (an edge
        // driven into the side of another body) is taken too, after any
        // that presses with an area; the stop holds it, the spring has no
        // area to act on.
        // A node on the line where the face meets the surface the node lies
        // on (a node of a plate beside the edge of a block sliding on it)
        // is not taken that way.
        double most = -1.0;
        q.area = pressingarea(st, s, q.p.normal, &most);
        if (!(q.area > 0.0) &&
            (!(most > -0.1) || !(std::fabs(q.p.xi) < 0.98 && std::fabs(q.p.eta) < 0.98)))
            continue;
        if (best.face < 0 || q.area > 1.01 * best.area ||
            (q.area >= 0.99 * best.area && q.p.gap > best.p.gap))
            best = q;
    }
    return best;
}

// The face of node `s` for the step. A node held by a face stays with it,
// however deep, while its closest point lies on the face; past the face's
// edge it goes to the neighbouring face that takes it, or stays if it has
// only slipped a little beyond the edge. It is let go once it is in front
// of the face and moving away from it.
pairing choose(state& st, const snode& s, double dtnext, double dtn) {
    const int h = facebycode(st, s.hold);
    if (h < 0) return capture(st, s, dtnext, dtn);
    pairing q;
    q.face = h;
    double xf[4][3];
    corners(st, st.faces[static_cast<std::size_t>(h)], xf);
    q.p = project(s.x, xf);
    if (!q.p.inside) {
        const pairing next = capture(st, s, dtnext, dtn);
        if (next.face >= 0) return next;
        if (!(std::fabs(q.p.xi) <= 1.5 && std::fabs(q.p.eta) <= 1.5)) return {};
    }
    relative(st, s, q);
    const double g = q.p.gap - s.offset;
    if (g > 0.0 && g + dtnext * (q.vn + dtn * q.an) > 0.0) return {};
    q.area = pressingarea(st, s, q.p.normal);
    return q;
}

// Stiffness per pressing area, capture depth and area of face `f` from the
// current positions.
facemeasure measure(const face& f) {
    const double* x = particledata::pos.data();
    const element& el = elementdata::element_list[static_cast<std::size_t>(f.element)];
    const material& mt = materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)];
    const double vol = materialdata::history_list[static_cast<std::size_t>(el.nhistory - 1)].vol0;
    const std::array<double, 3> n = diagonalcross(x, f.node);
    const double area = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double bulk = mt.young / (3.0 * (1.0 - 2.0 * mt.poisson));
    facemeasure m{};
    m.k = vol > 0.0 ? elementdata::contact.scale * bulk * area / vol : 0.0;
    m.area = area;
    // Half the element's thickness behind the face, but no more than half
    // the face's width, so that a slender element does not reach far along
    // its neighbours.
    m.depth = area > 0.0 ? 0.5 * std::fmin(vol / area, std::sqrt(area)) : 0.0;
    return m;
}

void facestiffness(state& st) {
    st.ownk.assign(st.own.size(), 0.0);
    st.owndepth.assign(st.own.size(), 0.0);
    st.ownarea.assign(st.own.size(), 0.0);
    for (std::size_t i = 0; i < st.own.size(); ++i) {
        const facemeasure m = st.everyface.empty()
                                  ? measure(st.own[i])
                                  : st.everyface[6 * static_cast<std::size_t>(st.own[i].element) +
                                                 static_cast<std::size_t>(st.own[i].side)];
        st.ownk[i] = m.k;
        st.owndepth[i] = m.depth;
        st.ownarea[i] = m.area;
    }
}

// The margin of the search and the reach of the ghosts, from the faces of
// the whole model at the start.
void setmargins(state& st) {
    double thin = 1e300, deep = 0.0, wide = 0.0;
    const double* x = particledata::pos.data();
    for (std::size_t i = 0; i < st.own.size(); ++i) {
        thin = std::fmin(thin, 2.0 * st.owndepth[i]);
        deep = std::fmax(deep, st.owndepth[i]);
        box b = emptybox();
        for (const int k : st.own[i].node) enclose(b, x + 3 * static_cast<std::ptrdiff_t>(k));
        for (int c = 0; c < 3; ++c) wide = std::fmax(wide, b.hi[c] - b.lo[c]);
    }
    thin = globalmin(thin);
    deep = globalmax(deep);
    wide = globalmax(wide);
    // The search is redone once some node has moved half the margin: a
    // margin of the thinnest element keeps the searches apart by as many
    // steps as a node takes to cross it, while a face turns by at most about
    // a radian between two searches, well inside the turn the candidates'
    // facing filter allows for.
    st.margin = thin < 1e300 ? thin : 0.0;
    // A ghost node can choose a face of a local node only from faces within
    // two face sizes, capture depths and margins of it.
    st.reach = 2.0 * (2.0 * wide + deep + st.margin);
}

// The record of the process's exterior face i.
facerecord ownrecord(const state& st, std::size_t i) {
    const face& f = st.own[i];
    const element& el = elementdata::element_list[static_cast<std::size_t>(f.element)];
    facerecord r{};
    r.egid = globalelement(f.element);
    r.side = f.side;
    for (int c = 0; c < 4; ++c) r.gnode[c] = globalnode(f.node[c]);
    for (int c = 0; c < 8; ++c) r.enode[c] = globalnode(el.node[c] - 1);
    r.k = st.ownk[i];
    r.depth = st.owndepth[i];
    r.part = el.mat;
    r.area = st.ownarea[i];
    return r;
}

// A node sent with the ghosts: its number, then its state.
struct ghostnode {
    long long gid;
    nodestate s;
    template <class IO, class R>
    static constexpr void fields(IO& io, R& r) {
        io(r.gid);
        nodestate::fields(io, r.s);
    }
};
constexpr std::size_t nodedoubles = recordsize(ghostnode{});
void packnode(const state& st, std::vector<double>& out, int k) {
    pack(out, ghostnode{globalnode(k), localstate(st, k)});
}

// The process's own surface nodes, in local order.
std::vector<int> ownsurfacenodes(const state& st) {
    std::vector<int> mine;
    for (const face& f : st.own)
        for (const int k : f.node) mine.push_back(k);
    std::sort(mine.begin(), mine.end());
    mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
    return mine;
}

// Ghosts: what lies near each other process's surface goes there (the nodes
// sent are kept in sendnodes); returns what each process sent here.
std::vector<std::vector<double>> exchangeghosts(state& st, const std::vector<int>& mine) {
    const int np = commnodes::nprocs;
    const int me = commnodes::myid;
    const double* x = particledata::pos.data();
    std::vector<std::vector<double>> got(static_cast<std::size_t>(np));
    st.sendnodes.assign(static_cast<std::size_t>(np), {});
    if (np > 1) {
        box b = emptybox();
        for (const int k : mine) enclose(b, x + 3 * static_cast<std::ptrdiff_t>(k));
        const std::vector<box> boxes = gatherboxes(b);
        std::vector<std::vector<double>> out(static_cast<std::size_t>(np));
        std::vector<box> fb(st.own.size(), emptybox());
        for (std::size_t i = 0; i < st.own.size(); ++i)
            for (const int k : st.own[i].node)
                enclose(fb[i], x + 3 * static_cast<std::ptrdiff_t>(k));
        std::vector<char> mark(static_cast<std::size_t>(particledata::nb_particle), 0);
        // Whatever goes to q lies in this process's box: the processes
        // whose boxes lie within reach of each other exchange, and only they.
        std::vector<char> partner(static_cast<std::size_t>(np), 0);
        for (int q = 0; q < np; ++q)
            partner[static_cast<std::size_t>(q)] = static_cast<char>(
                q != me && overlaps(boxes[static_cast<std::size_t>(me)],
                                    boxes[static_cast<std::size_t>(q)], st.reach));
        for (int q = 0; q < np; ++q) {
            if (!partner[static_cast<std::size_t>(q)]) continue;
            const box& bq = boxes[static_cast<std::size_t>(q)];
            if (bq.lo[0] > bq.hi[0]) continue;
            std::vector<double>& o = out[static_cast<std::size_t>(q)];
            std::vector<int>& sent = st.sendnodes[static_cast<std::size_t>(q)];
            std::vector<double> fpart;
            for (std::size_t i = 0; i < st.own.size(); ++i)
                if (overlaps(fb[i], bq, st.reach)) {
                    pack(fpart, ownrecord(st, i));
                    for (const int k : st.own[i].node) mark[static_cast<std::size_t>(k)] = 1;
                }
            for (const int k : mine) {
                box p = emptybox();
                enclose(p, x + 3 * static_cast<std::ptrdiff_t>(k));
                if (mark[static_cast<std::size_t>(k)] || overlaps(p, bq, st.reach))
                    sent.push_back(k);
                mark[static_cast<std::size_t>(k)] = 0;
            }
            if (sent.empty() && fpart.empty()) continue;
            o.push_back(static_cast<double>(sent.size()));
            for (const int k : sent) packnode(st, o, k);
            o.insert(o.end(), fpart.begin(), fpart.end());
        }
        got = sendpartners(out, partner);
    }
    return got;
}

// The nodes seen, own and received, in whole-model order (recvnodes maps
// each received one to its place); localat maps a local node to its place.
void gathernodes(state& st, const std::vector<int>& mine,
                 const std::vector<std::vector<double>>& got, std::vector<int>& localat) {
    const int np = commnodes::nprocs;
    const int me = commnodes::myid;
    // Own ones first where both come.
    struct entry {
        long long gid;
        int proc;   // -1 own
        int index;  // local node, or position in that process's list
    };
    std::vector<entry> all;
    for (const int k : mine) all.push_back({globalnode(k), -1, k});
    for (int q = 0; q < np; ++q) {
        if (q == me) continue;
        const std::vector<double>& g = got[static_cast<std::size_t>(q)];
        if (g.empty()) continue;
        const int n = static_cast<int>(g[0]);
        for (int i = 0; i < n; ++i)
            all.push_back(
                {static_cast<long long>(g[1 + static_cast<std::size_t>(i) * nodedoubles]), q, i});
    }
    std::sort(all.begin(), all.end(), [](const entry& a, const entry& b) {
        return a.gid != b.gid ? a.gid < b.gid : a.proc < b.proc;
    });
    st.nodes.clear();
    st.recvnodes.assign(static_cast<std::size_t>(np), {});
    for (int q = 0; q < np; ++q)
        if (q != me && !got[static_cast<std::size_t>(q)].empty())
            st.recvnodes[static_cast<std::size_t>(q)].assign(
                static_cast<std::size_t>(got[static_cast<std::size_t>(q)][0]), -1);
    localat.assign(static_cast<std::size_t>(particledata::nb_particle), -1);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const entry& e = all[i];
        if (i > 0 && all[i - 1].gid == e.gid) continue;  // a second copy of a node
        snode s{};
        s.gid = e.gid;
        if (e.proc < 0) {
            s.local = e.index;
            static_cast<nodestate&>(s) = localstate(st, e.index);
            localat[static_cast<std::size_t>(e.index)] = static_cast<int>(st.nodes.size());
        } else {
            s.local = -1;
            ghostnode g{};
            unpack(&got[static_cast<std::size_t>(e.proc)]
                       [1 + static_cast<std::size_t>(e.index) * nodedoubles],
                   g);
            static_cast<nodestate&>(s) = g.s;
            st.recvnodes[static_cast<std::size_t>(e.proc)][static_cast<std::size_t>(e.index)] =
                static_cast<int>(st.nodes.size());
        }
        for (int c = 0; c < 3; ++c) s.xs[c] = s.x[c];
        st.nodes.push_back(s);
    }
}

// The faces seen, own and received, in whole-model order; a received face
// with a corner not among the nodes seen is left out.
void gatherfaces(state& st, const std::vector<std::vector<double>>& got,
                 const std::vector<int>& localat) {
    const int np = commnodes::nprocs;
    const int me = commnodes::myid;
    // Every copy of a node received from two processes is refreshed from
    // the first one listed.
    const auto byglobal = [&st](long long gid) {
        const auto it = std::lower_bound(st.nodes.begin(), st.nodes.end(), gid,
                                         [](const snode& s, long long g) { return s.gid < g; });
        return it != st.nodes.end() && it->gid == gid ? static_cast<int>(it - st.nodes.begin())
                                                      : -1;
    };

    st.faces.clear();
    for (std::size_t i = 0; i < st.own.size(); ++i) {
        sface f{};
        static_cast<facerecord&>(f) = ownrecord(st, i);
        for (int c = 0; c < 4; ++c) f.n[c] = localat[static_cast<std::size_t>(st.own[i].node[c])];
        st.faces.push_back(f);
    }
    for (int q = 0; q < np; ++q) {
        if (q == me) continue;
        const std::vector<double>& g = got[static_cast<std::size_t>(q)];
        if (g.empty()) continue;
        std::size_t at = 1 + static_cast<std::size_t>(g[0]) * nodedoubles;
        for (; at + facedoubles <= g.size(); at += facedoubles) {
            sface f{};
            unpack(&g[at], static_cast<facerecord&>(f));
            bool ok = true;
            for (int c = 0; c < 4; ++c) {
                f.n[c] = byglobal(f.gnode[c]);
                ok = ok && f.n[c] >= 0;
            }
            if (ok) st.faces.push_back(f);
        }
    }
    // Faces in whole-model order, so that ties between faces break alike on
    // every process.
    std::sort(st.faces.begin(), st.faces.end(), [](const sface& a, const sface& b) {
        return a.egid != b.egid ? a.egid < b.egid : a.side < b.side;
    });
}

// The faces of each node seen (nfstart, nflist) and the parts it belongs to.
void nodefaces(state& st) {
    for (snode& s : st.nodes) s.parts = 0;
    st.nfstart.assign(st.nodes.size() + 1, 0);
    for (const sface& f : st.faces)
        for (const int k : f.n) {
            st.nodes[static_cast<std::size_t>(k)].parts |= bit(f.part);
            st.nfstart[static_cast<std::size_t>(k) + 1] += 1;
        }
    for (std::size_t i = 0; i < st.nodes.size(); ++i) st.nfstart[i + 1] += st.nfstart[i];
    st.nflist.assign(static_cast<std::size_t>(st.nfstart.back()), 0);
    {
        std::vector<int> at(st.nfstart.begin(), st.nfstart.end() - 1);
        for (std::size_t i = 0; i < st.faces.size(); ++i)
            for (const int k : st.faces[i].n)
                st.nflist[static_cast<std::size_t>(at[static_cast<std::size_t>(k)]++)] =
                    static_cast<int>(i);
    }
}

// Face i's box at the present positions, widened by its capture depth and
// the margin: a node outside it cannot reach the face before the nodes
// have closed in by the margin.
bin searchbox(const state& st, std::size_t i) {
    box b = emptybox();
    for (const int k : st.faces[i].n) enclose(b, st.nodes[static_cast<std::size_t>(k)].x);
    const double pad = st.faces[i].depth + st.margin;
    bin out{};
    for (int c = 0; c < 3; ++c) {
        out.lo[c] = b.lo[c] - pad;
        out.hi[c] = b.hi[c] + pad;
    }
    return out;
}

// Whether node i lists face fi, whose widened box is b: the node lies in
// the box, its sets may touch the face's, the face is not one of its own
// elements, and some own face of the node is turned against it (`normal`
// gives each face's unit normal).
bool listed(const state& st, std::size_t i, int fi, const bin& b,
            const std::vector<std::array<double, 3>>& normal) {
    const snode& s = st.nodes[i];
    const sface& f = st.faces[static_cast<std::size_t>(fi)];
    bool in = true;
    for (int c = 0; c < 3; ++c) in = in && s.x[c] >= b.lo[c] && s.x[c] <= b.hi[c];
    if (!in || !touches(st, s, f)) return false;
    bool mine8 = false;
    for (const long long e : f.enode) mine8 = mine8 || e == s.gid;
    if (mine8) return false;
    // A node whose own faces all look the way this face looks (the
    // neighbours on a flat surface) cannot press on it before the surface
    // turns far beyond what it does between two searches.
    const std::array<double, 3>& n = normal[static_cast<std::size_t>(fi)];
    for (int j = st.nfstart[i]; j < st.nfstart[i + 1]; ++j) {
        const std::array<double, 3>& m =
            normal[static_cast<std::size_t>(st.nflist[static_cast<std::size_t>(j)])];
        if (-(m[0] * n[0] + m[1] * n[1] + m[2] * n[2]) > -0.1) return true;
    }
    return false;
}

// Candidates: the faces whose box, widened by their capture depth and the
// margin, holds the node.
void findcandidates(state& st) {
    std::vector<bin> fb(st.faces.size());
    for (std::size_t i = 0; i < st.faces.size(); ++i) fb[i] = searchbox(st, i);
    const grid g = bingrid(fb);
    // Every face's normal once, not again for each node near it.
    std::vector<std::array<double, 3>> normal(st.faces.size());
    for (std::size_t i = 0; i < st.faces.size(); ++i) normal[i] = facenormal(st, st.faces[i]);
    st.cstart.assign(st.nodes.size() + 1, 0);
    st.clist.clear();
    std::vector<int> hits;
    for (std::size_t i = 0; i < st.nodes.size(); ++i) {
        hits.clear();
        g.query(st.nodes[i].x, hits);
        for (const int fi : hits)
            if (listed(st, i, fi, fb[static_cast<std::size_t>(fi)], normal)) st.clist.push_back(fi);
        std::sort(st.clist.begin() + st.cstart[i], st.clist.end());
        st.cstart[i + 1] = static_cast<int>(st.clist.size());
    }
}

// The nodes and faces this process sees, and the faces of each node.
void gathersurface(state& st) {
    const std::vector<int> mine = ownsurfacenodes(st);
    const std::vector<std::vector<double>> got = exchangeghosts(st, mine);
    std::vector<int> localat;
    gathernodes(st, mine, got, localat);
    gatherfaces(st, got, localat);
    nodefaces(st);
}

void searched(state& st) {
    st.frames.assign(st.faces.size(), faceframe{});
    st.framestep.assign(st.faces.size(), -1);
    st.counters.surfacenodes = static_cast<long long>(st.nodes.size());
    st.counters.surfacefaces = static_cast<long long>(st.faces.size());
    st.counters.candidates = static_cast<long long>(st.clist.size());
}

// Rebuilds the nodes and faces this process sees and their candidates.
void search(state& st) {
    gathersurface(st);
    findcandidates(st);
    st.spent = 0.0;
    st.counters.searches += 1;
    searched(st);
}

// The surface again after elements have eroded, searching only where it has
// changed. The last search's lists stay good while the nodes close in by
// less than the margin since then: the nodes have closed in by `moved` so
// far, which is spent from the margin left to the next search. A node that
// is new to the surface, or whose own faces have changed, is listed afresh
// against every face; every other node keeps its list, less the faces gone,
// and is checked against the faces new to the surface. Where that would
// cost more than a search, or too little margin would be left, the search
// runs instead.
void erodedsearch(state& st, double moved) {
    if (st.spent + moved > 0.5 * st.margin) {
        search(st);
        return;
    }
    std::vector<long long> oldgid(st.nodes.size());
    for (std::size_t i = 0; i < st.nodes.size(); ++i) oldgid[i] = st.nodes[i].gid;
    std::vector<std::pair<long long, int>> oldface(st.faces.size());
    for (std::size_t i = 0; i < st.faces.size(); ++i)
        oldface[i] = {st.faces[i].egid, st.faces[i].side};
    const std::vector<int> oldstart = std::move(st.cstart), oldlist = std::move(st.clist);
    const std::vector<int> oldnfstart = std::move(st.nfstart);
    gathersurface(st);
    const std::size_t nn = st.nodes.size(), nf = st.faces.size();

    // Both face lists are in whole-model order, and so are both node lists.
    std::vector<int> facenow(oldface.size(), -1);
    std::vector<char> seen(nf, 0);
    for (std::size_t a = 0, b = 0; a < oldface.size() && b < nf;) {
        const std::pair<long long, int> k{st.faces[b].egid, st.faces[b].side};
        if (oldface[a] < k) {
            a += 1;
        } else if (k < oldface[a]) {
            b += 1;
        } else {
            facenow[a++] = static_cast<int>(b);
            seen[b++] = 1;
        }
    }
    std::vector<int> nodebefore(nn, -1);
    for (std::size_t a = 0, b = 0; a < oldgid.size() && b < nn;) {
        if (oldgid[a] < st.nodes[b].gid) {
            a += 1;
        } else if (st.nodes[b].gid < oldgid[a]) {
            b += 1;
        } else {
            nodebefore[b++] = static_cast<int>(a++);
        }
    }
    // A node's own faces are the same when it has as many as before and
    // every one of them was seen before (its corners do not change).
    std::vector<char> fresh(nn, 0);
    std::size_t nfresh = 0;
    for (std::size_t i = 0; i < nn; ++i) {
        const int j = nodebefore[i];
        bool same = j >= 0 && st.nfstart[i + 1] - st.nfstart[i] ==
                                  oldnfstart[static_cast<std::size_t>(j) + 1] -
                                      oldnfstart[static_cast<std::size_t>(j)];
        for (int e = st.nfstart[i]; e < st.nfstart[i + 1] && same; ++e)
            same = seen[static_cast<std::size_t>(st.nflist[static_cast<std::size_t>(e)])] != 0;
        fresh[i] = static_cast<char>(same ? 0 : 1);
        nfresh += fresh[i];
    }
    std::vector<int> added;
    for (std::size_t b = 0; b < nf; ++b)
        if (!seen[b]) added.push_back(static_cast<int>(b));
    // A box test costs a small part of what a node's search does. (The
    // margin spent stays the same on every process: when the next search
    // comes is decided alike everywhere.)
    if ((nfresh * nf + nn * added.size()) > 64 * (nn + nf)) {
        findcandidates(st);
        st.spent += moved;
        st.counters.searches += 1;
        searched(st);
        return;
    }
    std::vector<bin> fb(nf);
    for (std::size_t i = 0; i < nf; ++i) fb[i] = searchbox(st, i);
    std::vector<std::array<double, 3>> normal(nf);
    for (std::size_t i = 0; i < nf; ++i) normal[i] = facenormal(st, st.faces[i]);
    st.cstart.assign(nn + 1, 0);
    st.clist.clear();
    for (std::size_t i = 0; i < nn; ++i) {
        if (fresh[i]) {
            for (std::size_t fi = 0; fi < nf; ++fi)
                if (listed(st, i, static_cast<int>(fi), fb[fi], normal))
                    st.clist.push_back(static_cast<int>(fi));
        } else {
            const auto j = static_cast<std::size_t>(nodebefore[i]);
            for (int e = oldstart[j]; e < oldstart[j + 1]; ++e) {
                const int now =
                    facenow[static_cast<std::size_t>(oldlist[static_cast<std::size_t>(e)])];
                if (now >= 0) st.clist.push_back(now);
            }
            bool more = false;
            for (const int fi : added)
                if (listed(st, i, fi, fb[static_cast<std::size_t>(fi)], normal)) {
                    st.clist.push_back(fi);
                    more = true;
                }
            if (more) std::sort(st.clist.begin() + st.cstart[i], st.clist.end());
        }
        st.cstart[i + 1] = static_cast<int>(st.clist.size());
    }
    st.spent += moved;
    st.counters.updates += 1;
    searched(st);
}

// Positions, velocities and masses of the nodes seen, from this process's
// arrays and from the processes that sent ghosts; true when the nodes may
// have closed in far enough since the last search to need a new one
// (`moved`, closing() over the job).
bool refresh(state& st, double moved) {
    for (snode& s : st.nodes)
        if (s.local >= 0) loadstate(st, s.local, s);
    if (moved > st.margin - st.spent) return true;
    const int np = commnodes::nprocs;
    if (np <= 1) return false;
    std::vector<std::vector<double>>& out = st.sendstate;
    out.resize(static_cast<std::size_t>(np));
    for (int q = 0; q < np; ++q) {
        const std::vector<int>& to = st.sendnodes[static_cast<std::size_t>(q)];
        std::vector<double>& o = out[static_cast<std::size_t>(q)];
        o.resize(statedoubles * to.size());
        for (std::size_t j = 0; j < to.size(); ++j) {
            nodestate s;
            loadstate(st, to[j], s);
            packat(&o[statedoubles * j], s);
        }
    }
    std::vector<std::size_t> incount(static_cast<std::size_t>(np));
    for (int q = 0; q < np; ++q)
        incount[static_cast<std::size_t>(q)] =
            statedoubles * st.recvnodes[static_cast<std::size_t>(q)].size();
    const std::vector<std::vector<double>> got = sendknown(out, incount);
    for (int q = 0; q < np; ++q) {
        if (q == commnodes::myid) continue;
        const std::vector<int>& to = st.recvnodes[static_cast<std::size_t>(q)];
        const std::vector<double>& g = got[static_cast<std::size_t>(q)];
        for (std::size_t i = 0; i < to.size() && statedoubles * (i + 1) <= g.size(); ++i)
            if (to[i] >= 0)
                unpack(&g[statedoubles * i],
                       static_cast<nodestate&>(st.nodes[static_cast<std::size_t>(to[i])]));
    }
    return false;
}

// The natural axis and its sign of each side of a hexahedron (hexfaces).
constexpr int sideaxis[6][2] = {{2, -1}, {2, 1}, {1, -1}, {0, 1}, {1, 1}, {0, -1}};

// The width of a hexahedron with corners x along its natural axis: between
// the centres of the two faces across it.
double across(const double x[8][3], int axis) {
    double hi[3] = {0.0, 0.0, 0.0}, lo[3] = {0.0, 0.0, 0.0};
    for (int side = 0; side < 6; ++side) {
        if (sideaxis[side][0] != axis) continue;
        double* c = sideaxis[side][1] > 0 ? hi : lo;
        for (const int k : hexfaces[side])
            for (int d = 0; d < 3; ++d) c[d] += 0.25 * x[k][d];
    }
    return std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                     (hi[2] - lo[2]) * (hi[2] - lo[2]));
}

// Seen nodes that start inside a local element that is not one of their
// own and that their sets may touch, deeper than `within` the element's
// surface (natural coordinates): their numbers, and the deepest.
std::vector<long long> insideelements(state& st, double within, overlap& deepest) {
    const int ne = elementdata::nb_element;
    // Per local element, its exterior faces as bits by side.
    std::vector<unsigned char> exterior(static_cast<std::size_t>(ne), 0);
    for (const face& f : st.own)
        exterior[static_cast<std::size_t>(f.element)] |= static_cast<unsigned char>(1 << f.side);
    const double* x = particledata::pos.data();
    std::vector<bin> boxes(static_cast<std::size_t>(ne));
    std::vector<int> which(static_cast<std::size_t>(ne));
    std::size_t n = 0;
    for (int e = 0; e < ne; ++e) {
        if (failuredata::anyeroded && failuredata::eroded[static_cast<std::size_t>(e)]) continue;
        const element& el = elementdata::element_list[static_cast<std::size_t>(e)];
        bin b{{1e300, 1e300, 1e300}, {-1e300, -1e300, -1e300}};
        for (const int k : el.node)
            for (int c = 0; c < 3; ++c) {
                b.lo[c] = std::fmin(b.lo[c], x[3 * (k - 1) + c]);
                b.hi[c] = std::fmax(b.hi[c], x[3 * (k - 1) + c]);
            }
        boxes[n] = b;
        which[n++] = e;
    }
    boxes.resize(n);
    const grid g = bingrid(boxes);
    std::vector<long long> found;
    std::vector<int> hits;
    for (const snode& s : st.nodes) {
        hits.clear();
        g.query(s.x, hits);
        for (const int h : hits) {
            const bin& b = boxes[static_cast<std::size_t>(h)];
            bool in = true;
            for (int c = 0; c < 3; ++c) in = in && s.x[c] >= b.lo[c] && s.x[c] <= b.hi[c];
            const element& el = elementdata::element_list[static_cast<std::size_t>(
                which[static_cast<std::size_t>(h)])];
            if (!in ||
                (!st.everyset && (el.mat < 1 || el.mat > 64 ||
                                  (st.allowed[static_cast<std::size_t>(el.mat)] & s.parts) == 0)))
                continue;
            double xe[8][3];
            bool corner = false;
            for (int k = 0; k < 8; ++k) {
                corner = corner || globalnode(el.node[k] - 1) == s.gid;
                for (int c = 0; c < 3; ++c) xe[k][c] = x[3 * (el.node[k] - 1) + c];
            }
            double r[3];
            if (corner || !naturalcoordinates(xe, s.x, r)) continue;
            // How far inside the body's surface, in natural coordinates:
            // from the element's exterior faces (an element with none lies
            // a whole width inside).
            const int e = which[static_cast<std::size_t>(h)];
            double depth = 2.0, width = 0.0;
            for (int side = 0; side < 6; ++side) {
                if (!(exterior[static_cast<std::size_t>(e)] & (1 << side))) continue;
                const int axis = sideaxis[side][0], sign = sideaxis[side][1];
                const double d = 1.0 - sign * r[axis];
                if (d < depth) {
                    depth = d;
                    width = across(xe, axis);
                }
            }
            // On a face shared with a neighbour the node is inside too.
            const double lim = 1.0 + 1e-9;
            if (!(std::fabs(r[0]) <= lim && std::fabs(r[1]) <= lim && std::fabs(r[2]) <= lim) ||
                !(depth > within))
                continue;
            found.push_back(s.gid);
            if (width == 0.0)
                width = std::fmin(across(xe, 0), std::fmin(across(xe, 1), across(xe, 2)));
            const double below = 0.5 * depth * width;
            if (below > deepest.depth) {
                deepest.depth = below;
                deepest.node = s.gid;
                deepest.element = globalelement(which[static_cast<std::size_t>(h)]);
            }
            break;
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// The deepest of all processes' (collective).
overlap deepestofall(const overlap& mine) {
    if (commnodes::nprocs <= 1) return mine;
    struct {
        double depth;
        int rank;
    } in{mine.depth, commnodes::myid}, out{};
    MPI_Allreduce(&in, &out, 1, MPI_DOUBLE_INT, MPI_MAXLOC, MPI_COMM_WORLD);
    overlap o = mine;
    long long ids[2] = {mine.node, mine.element};
    MPI_Bcast(ids, 2, MPI_LONG_LONG, out.rank, MPI_COMM_WORLD);
    o.depth = out.depth;
    o.node = ids[0];
    o.element = ids[1];
    return o;
}

// How many different numbers the processes' lists hold (collective).
long long distinct(const std::vector<long long>& mine) {
    if (commnodes::nprocs <= 1) return static_cast<long long>(mine.size());
    const int np = commnodes::nprocs;
    int n = static_cast<int>(mine.size());
    std::vector<int> counts(static_cast<std::size_t>(np)), at(static_cast<std::size_t>(np), 0);
    MPI_Allgather(&n, 1, MPI_INT, counts.data(), 1, MPI_INT, MPI_COMM_WORLD);
    for (int q = 1; q < np; ++q)
        at[static_cast<std::size_t>(q)] =
            at[static_cast<std::size_t>(q) - 1] + counts[static_cast<std::size_t>(q) - 1];
    std::vector<long long> all(static_cast<std::size_t>(at.back() + counts.back()));
    MPI_Allgatherv(mine.data(), n, MPI_LONG_LONG, all.data(), counts.data(), at.data(),
                   MPI_LONG_LONG, MPI_COMM_WORLD);
    std::sort(all.begin(), all.end());
    return static_cast<long long>(std::unique(all.begin(), all.end()) - all.begin());
}

// Nodes that start inside another body. Within the stop depth of a face
// (rounding, a mesh drawn touching) each is held where it starts, its
// depth followed as it leaves; any deeper, behind a face or inside an
// element beyond the faces' reach, stops the run: pushing a body out of
// another makes energy, and leaving it there would let the bodies pass.
void startoverlaps(state& st) {
    std::vector<long long> shallow, deep;
    overlap most, mostdeep;
    for (const snode& s : st.nodes) {
        const pairing q = capture(st, s, 0.0, 0.0);
        if (q.face < 0) continue;
        const sface& f = st.faces[static_cast<std::size_t>(q.face)];
        const bool within = -q.p.gap <= stopfraction * f.depth;
        if (s.local >= 0 && within) st.offsets[static_cast<std::size_t>(s.local)] = q.p.gap;
        (within ? shallow : deep).push_back(s.gid);
        overlap& o = within ? most : mostdeep;
        if (-q.p.gap > o.depth) o = {-q.p.gap, s.gid, f.egid};
    }
    for (snode& s : st.nodes)
        if (s.local >= 0) s.offset = st.offsets[static_cast<std::size_t>(s.local)];
    // Beyond the faces' reach only the elements tell; a node within the
    // stop depth of an element's surface is not counted there.
    overlap inner;
    std::vector<long long> inside = insideelements(st, stopfraction, inner);
    for (const long long g : shallow)
        inside.erase(std::remove(inside.begin(), inside.end(), g), inside.end());
    deep.insert(deep.end(), inside.begin(), inside.end());
    std::sort(deep.begin(), deep.end());
    deep.erase(std::unique(deep.begin(), deep.end()), deep.end());
    if (inner.depth > mostdeep.depth) mostdeep = inner;
    const long long ndeep = distinct(deep);
    const overlap worst = deepestofall(mostdeep);
    const auto metres = [](double v) {
        std::string d;
        records::put_e(d, v, 10, 3);
        return d.erase(0, d.find_first_not_of(' '));
    };
    if (ndeep > 0)
        errorstop::stop(
            "*** Error *** contact: " + std::to_string(ndeep) +
            " node(s) start inside another body deeper than a quarter of a per cent of its "
            "elements' thickness, the deepest by " +
            metres(worst.depth) + " m (node " + std::to_string(worst.node) + " in element " +
            std::to_string(worst.element) +
            "); move the bodies apart (hexdyn-mesh merge --offset) or mesh them "
            "without overlap");
    const long long nshallow = distinct(shallow);
    const overlap first = deepestofall(most);
    if (nshallow > 0 && commnodes::myid == 0)
        errorstop::writeline(
            " *** Warning *** contact: " + std::to_string(nshallow) +
            " node(s) start behind a face, the deepest by " + metres(first.depth) + " m (node " +
            std::to_string(first.node) + ", face of element " + std::to_string(first.element) +
            "); within a quarter of a per cent of the element's thickness, each is held "
            "where it starts and let go as it leaves");
}

}  // namespace

surface::surface() : impl(std::make_unique<state>()) {}
surface::~surface() = default;
surface::surface(surface&&) noexcept = default;
surface& surface::operator=(surface&&) noexcept = default;

void prepare(surface& c) {
    state& st = *c;
    st.everyface.clear();
    if (failuredata::on) {
        st.everyface.resize(6 * static_cast<std::size_t>(elementdata::nb_element));
        for (int e = 0; e < elementdata::nb_element; ++e) {
            const element& el = elementdata::element_list[static_cast<std::size_t>(e)];
            for (int sd = 0; sd < 6; ++sd) {
                face f{};
                for (int i = 0; i < 4; ++i) f.node[i] = el.node[hexfaces[sd][i]] - 1;
                f.element = e;
                f.side = sd;
                st.everyface[6 * static_cast<std::size_t>(e) + static_cast<std::size_t>(sd)] =
                    measure(f);
            }
        }
    }
    st.own = exteriorfaces(st.local);
    facestiffness(st);
    st.offsets.assign(static_cast<std::size_t>(particledata::nb_particle), 0.0);
    st.holds.assign(static_cast<std::size_t>(particledata::nb_particle), 0.0);
    st.ready = true;
}

namespace {
// The contact's section of a checkpoint: the work of the contact forces,
// then per node of the process the starting depth followed, then the code of
// the face that held it.
template <class W, class S>
struct section {
    W& work;
    S& st;
    template <class IO, class R>
    static constexpr void fields(IO& io, R& r) {
        io(r.work);
        io(r.st.offsets);
        io(r.st.holds);
    }
};
}  // namespace

std::vector<double> saved(const surface& c, double work) {
    std::vector<double> out;
    pack(out, section<const double, const state>{work, *c});
    return out;
}

std::size_t savedsize(const surface& c) {
    const double work = 0.0;
    return recordsize(section<const double, const state>{work, *c});
}

double restore(surface& c, const std::vector<double>& d) {
    double work = 0.0;
    section<double, state> s{work, *c};
    unpack(d.data(), s);
    return work;
}

void rebuild(surface& c, double moved) {
    state& st = *c;
    st.own = exteriorfaces(st.local);
    facestiffness(st);
    erodedsearch(st, moved);
    st.searchedinstep = true;
}

void start(surface& c, bool fresh) {
    state& st = *c;
    setparts(st);
    if (!st.ready) prepare(c);
    // A restored run that has lost elements sees the faces behind them
    // (collective: decided on the count of the whole model).
    if (failuredata::nerodedjob > 0) {
        st.own = exteriorfaces(st.local);
        facestiffness(st);
    }
    st.force.assign(3 * static_cast<std::size_t>(particledata::nb_particle), 0.0);
    st.counted = commnodes::ownednodes();
    setmargins(st);
    search(st);
    if (!fresh) return;

    startoverlaps(st);
}

void motion(const surface& c, double out[motionvalues]) {
    const state& st = *c;
    // Nothing seen yet: below any displacement.
    for (int c = 0; c < motionvalues; ++c) out[c] = -1e300;
    const double* x = particledata::pos.data();
    for (const snode& s : st.nodes) {
        if (s.local < 0) continue;
        for (int c = 0; c < 3; ++c) {
            const double d = x[3 * static_cast<std::ptrdiff_t>(s.local) + c] - s.xs[c];
            // The largest each way; a NaN is passed over, as fmax would.
            if (d > out[c]) out[c] = d;
            if (-d > out[3 + c]) out[3 + c] = -d;
        }
    }
}

double closing(const double largest[motionvalues]) {
    // Two displacements differ along an axis by at most the spread of all
    // of them along it (the largest one way plus the largest the other).
    double spread = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double w = std::fmax(0.0, largest[c] + largest[3 + c]);
        spread += w * w;
    }
    return std::sqrt(spread);
}

void apply(surface& cs, double moved) {
    state& st = *cs;
    // The surface rebuilt after erosion in this step was searched from the
    // positions of this step: nothing has moved since.
    if (st.searchedinstep) moved = 0.0;
    st.searchedinstep = false;
    if (refresh(st, moved)) search(st);
    const contactcontrol& c = elementdata::contact;
    const bool friction = c.mus > 0.0;
    const double dtnext = simulation::dtk1;
    const double dtn = 0.5 * (simulation::dtk + simulation::dtk1);
    std::fill(st.force.begin(), st.force.end(), 0.0);
    double* fc = st.force.data();
    st.setforce.assign(3 * c.forces.size(), 0.0);
    double sumnormal = 0.0, sumfriction = 0.0;

    // Every node seen first finds its face, so that a pair can tell whether
    // its mirror image (the face's nearest corner held by a face of this
    // node, as where two meshes meet node to node) acts as well.
    // (A node without a face is told by its face alone.)
    st.pairs.resize(st.nodes.size());
    st.stepcount += 1;
    for (std::size_t i = 0; i < st.nodes.size(); ++i) {
        const snode& s = st.nodes[i];
        if (st.cstart[i] == st.cstart[i + 1] && facebycode(st, s.hold) < 0)
            st.pairs[i].face = -1;
        else
            st.pairs[i] = choose(st, s, dtnext, dtn);
    }

    for (std::size_t i = 0; i < st.nodes.size(); ++i) {
        const snode& s = st.nodes[i];
        const pairing& q = st.pairs[i];
        const projection& p = q.p;
        const int fi = q.face;
        // A node a face takes hold of (or takes over from its neighbour)
        // deeper than it can have moved towards it in the last step came in
        // unseen (past an edge, from a face that lost it): it is loaded only
        // from the depth it could have reached, so that the spring gives
        // back no energy it never took. That depth, like a starting one,
        // follows the node out as it leaves.
        double offset = s.offset;
        if (fi >= 0) {
            const sface& f = st.faces[static_cast<std::size_t>(fi)];
            if (s.hold != holdcode(f.egid, f.side))
                offset = std::fmin(offset, p.gap + 2.0 * std::fmax(0.0, -q.vn) * simulation::dtk);
            offset = std::fmin(0.0, std::fmax(offset, p.gap));
        }
        if (s.local >= 0) {
            st.offsets[static_cast<std::size_t>(s.local)] = fi < 0 ? 0.0 : offset;
            st.holds[static_cast<std::size_t>(s.local)] =
                fi < 0 ? 0.0
                       : holdcode(st.faces[static_cast<std::size_t>(fi)].egid,
                                  st.faces[static_cast<std::size_t>(fi)].side);
        }
        if (fi < 0) continue;
        const sface& f = st.faces[static_cast<std::size_t>(fi)];
        double mf = 0.0;
        int nearest = 0;
        for (int k = 0; k < 4; ++k) {
            mf += p.shape[k] * st.nodes[static_cast<std::size_t>(f.n[k])].m;
            if (p.shape[k] > p.shape[nearest]) nearest = k;
        }
        const double meff = s.m > 0.0 && mf > 0.0 ? s.m * mf / (s.m + mf) : 0.0;
        // The mirror pair pushes this node with the share N_s of its face
        // at the corner's point, and this pair reaches the corner with N_c:
        // where both are whole (node on node) each pair takes half.
        const pairing& mirror = st.pairs[static_cast<std::size_t>(f.n[nearest])];
        double overlap = 0.0;
        if (mirror.face >= 0)
            for (int k = 0; k < 4; ++k)
                if (static_cast<std::size_t>(
                        st.faces[static_cast<std::size_t>(mirror.face)].n[k]) == i)
                    overlap = p.shape[nearest] * mirror.p.shape[k];
        const double weight = 1.0 - 0.5 * overlap;
        const double k = f.k * q.area * springfactor(st, s, f.part);
        const double g = p.gap - offset;
        const double gnext = g + dtnext * (q.vn + dtn * q.an);
        const double fn =
            normalforce(g, gnext, k, meff, stopfraction * f.depth, weight, dtnext, dtn);
        if (!(fn > 0.0)) continue;
        double F[3] = {fn * p.normal[0], fn * p.normal[1], fn * p.normal[2]};
        if (friction && dtn > 0.0) {
            double vr[3];
            for (int d = 0; d < 3; ++d) {
                double vf = 0.0;
                for (int n = 0; n < 4; ++n)
                    vf += p.shape[n] * st.nodes[static_cast<std::size_t>(f.n[n])].v[d];
                vr[d] = s.v[d] - vf;
            }
            contact::friction(vr, p.normal, fn, c.mus, c.mud, c.decay, weight * meff, dtn, F);
            if (s.local >= 0 && st.counted[static_cast<std::size_t>(s.local)] != 0.0) {
                const double t[3] = {F[0] - fn * p.normal[0], F[1] - fn * p.normal[1],
                                     F[2] - fn * p.normal[2]};
                sumfriction += std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
            }
        }
        if (s.local >= 0 && st.counted[static_cast<std::size_t>(s.local)] != 0.0) sumnormal += fn;
        if (!st.warnedstep && meff > 0.0 && k > 0.0 && s.local >= 0 &&
            dtnext > 2.0 * std::sqrt(meff / (2.0 * k))) {
            st.warnedstep = true;
            std::string need;
            records::put_e(need, 2.0 * std::sqrt(meff / (2.0 * k)), 10, 3);
            need.erase(0, need.find_first_not_of(' '));
            std::uint64_t sets = s.parts;
            int from = 0;
            while (sets != 0 && (sets & 1) == 0) {
                sets >>= 1;
                from += 1;
            }
            st.stiffpair = "the contact spring of node " + std::to_string(s.gid) +
                           " (material set " + std::to_string(from + 1) +
                           ") on the face of element " + std::to_string(f.egid) +
                           " (material set " + std::to_string(f.part) + ") needs a step of " +
                           need + " s; lower the penalty scale (scal in cont)";
            std::string step;
            records::put_e(step, dtnext, 10, 3);
            step.erase(0, step.find_first_not_of(' '));
            errorstop::writeline(" *** Warning *** step " + std::to_string(simulation::istep) +
                                 ": the contact stiffness at node " + std::to_string(s.gid) +
                                 " needs a step of " + need + " s, shorter than the step " + step +
                                 " s; lower the penalty scale (scal in cont)");
        }
        st.counters.pairs += s.local >= 0 ? 1 : 0;
        // The node takes F, the face's corners -F: a pair adds to the force
        // on set S1 from S2 with the sign of the side S1 is on. Each pair
        // counts once in the model, on the process that counts its node.
        if (s.local >= 0 && st.counted[static_cast<std::size_t>(s.local)] != 0.0)
            for (std::size_t r = 0; r < c.forces.size(); ++r) {
                const int on = c.forces[r][0], from = c.forces[r][1];
                const bool nodeon = ((s.parts >> (on - 1)) & 1U) != 0 && f.part == from;
                const bool faceon = ((s.parts >> (from - 1)) & 1U) != 0 && f.part == on;
                const double sign = (nodeon ? 1.0 : 0.0) - (faceon ? 1.0 : 0.0);
                if (sign != 0.0)
                    for (int d = 0; d < 3; ++d)
                        st.setforce[3 * r + static_cast<std::size_t>(d)] += sign * F[d];
            }
        if (s.local >= 0)
            for (int d = 0; d < 3; ++d) fc[3 * static_cast<std::ptrdiff_t>(s.local) + d] += F[d];
        for (int n = 0; n < 4; ++n) {
            const int l = st.nodes[static_cast<std::size_t>(f.n[n])].local;
            if (l < 0) continue;
            for (int d = 0; d < 3; ++d)
                fc[3 * static_cast<std::ptrdiff_t>(l) + d] -= p.shape[n] * F[d];
        }
    }
    double* a = particledata::acc.data();
    for (std::size_t i = 0; i < st.force.size(); ++i) a[i] += fc[i];
    simulation::contactnormal = sumnormal;
    simulation::contactfriction = sumfriction;
}

const std::vector<double>& forces(const surface& c) { return (*c).force; }

std::vector<double> setforces(const surface& c) {
    const state& st = *c;
    if (st.setforce.size() != 3 * elementdata::contact.forces.size())
        return std::vector<double>(3 * elementdata::contact.forces.size(), 0.0);
    return st.setforce;
}

statistics stats(const surface& c) {
    const state& st = *c;
    statistics s = st.counters;
    s.margin = st.margin;
    s.spent = st.spent;
    return s;
}

std::vector<std::array<long long, 2>> candidatepairs(const surface& c) {
    const state& st = *c;
    std::vector<std::array<long long, 2>> out;
    for (std::size_t i = 0; i + 1 < st.cstart.size(); ++i)
        for (int j = st.cstart[i]; j < st.cstart[i + 1]; ++j) {
            const sface& f =
                st.faces[static_cast<std::size_t>(st.clist[static_cast<std::size_t>(j)])];
            out.push_back({st.nodes[i].gid, 8 * f.egid + f.side});
        }
    return out;
}

std::string stiffness(const surface& c) { return (*c).stiffpair; }

}  // namespace contact
