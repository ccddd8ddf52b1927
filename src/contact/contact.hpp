// Contact between the exterior faces of the model ("cont").
//
// Every node of the exterior surface is checked against every exterior face
// that is not a face of one of its own elements, so two bodies, and a body
// folding onto itself, push back wherever a node has gone behind a face. A
// free node is taken hold of by a face it is behind (within the face's
// capture depth, half its element's thickness) or will be behind at t(n+1)
// by its motion without contact; it stays with that face, however deep,
// until it is in front of it and moving away, and goes over to the
// neighbouring face past an edge. The held face is named by its element and
// side, so it survives a new search, a restart and the ghost exchange.
//
// The normal force of a pair is the larger of the penalty spring k |g|,
//
//   k = f K A_s A / V
//
// (K the bulk modulus of the face's element, A the face's area and V its
// element's volume at the start, A_s the area the node presses with, f the
// penalty scale "scal", 0.1) and the stop: the force that holds the gap
// predicted for t(n+1) without contact at the stop depth, a quarter of a
// per cent of the element's thickness (a node already deeper is taken back
// by a tenth of its excess a step). With the pair's effective mass m and the
// steps a force F moves that gap by F dt(n) dt(n+1/2) / m, so the stop needs
// no stiffness and no shorter step and holds at any closing speed; it takes
// approach velocity away and gives back no more than the slow return of an
// excess depth. Where the pair's mirror image acts too (the face's nearest
// corner held by a face of this node, the two reaching each other with
// shape weights N_c and N_s) the pair takes 1 - N_c N_s / 2 of it: half
// where two meshes meet node to node. A pair whose spring would need a step
// shorter than the one taken is reported once.
//
// Coulomb friction ("fric") opposes the tangential relative velocity with
// mu |F_n|, mu = mu_d + (mu_s - mu_d) exp(-decay |v_t|), never more than
// the force that stops the sliding within the step.
//
// Nodes that start inside another body stop the run, unless within the stop
// depth of a face: those are reported and held where they start, their
// depth followed as they leave.
//
// The search bins the faces (their boxes widened by the capture depth and
// a margin) on a grid and lists, per node, the faces near it; it is redone
// when some node has moved by half the margin since, so the lists always
// hold every face a node can touch, and the forces do not depend on when the
// search ran. After an erosion only the nodes and faces the erosion changed
// are searched; the closing-in up to then is spent from the margin left to
// the next search. On several processes each process sends the surface
// nodes and faces near another's surface (by boxes) to that process only;
// every process that holds a node forms its whole contact force, adding the
// terms of the pairs in the order of the whole-model numbers of their
// nodes, so the force is the same whatever the partition.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace contact {

// Everything the contact keeps from one step to the next: the surface, the
// search's lists, the faces holding the nodes, the starting depths followed,
// the step's forces. Held by the time loop (a restart fills it from the
// checkpoint before the loop starts) and passed to every call below; a new
// one knows no surface.
struct state;
class surface {
  public:
    surface();
    ~surface();
    surface(surface&&) noexcept;
    surface& operator=(surface&&) noexcept;
    state& operator*() const { return *impl; }

  private:
    std::unique_ptr<state> impl;
};

// Builds the surface and the first search (collective, after the input or
// the checkpoint). A fresh run also finds the nodes that start behind a
// face and reports them.
void start(surface& c, bool fresh);

// How far the process's surface nodes have moved since the last search, from
// the positions x(n): the largest displacement along each axis and the
// largest against it (m; -1e300 without surface nodes), which the step's
// reduction turns into the spread of the displacements over the job.
constexpr int motionvalues = 6;
void motion(const surface& c, double out[motionvalues]);

// How far two surface nodes of the job can have closed in on each other
// since the last search, from the largest values of motion() over all
// processes: the spread of their displacements (m). A body that moves as a
// whole adds nothing to it beyond its share of the spread.
double closing(const double largest[motionvalues]);

// Adds the contact forces at t(n) to the summed nodal forces (acc, before
// they become accelerations), with the velocities v(n-1/2) for friction
// (collective, every step after the force exchange). `moved` is closing()
// of the step's reduction: a new search is due when a node and a face can
// have closed in by the margin.
void apply(surface& c, double moved);

// The contact force on each node of the process from the last apply
// (3 x nb_particle, N).
const std::vector<double>& forces(const surface& c);
// The contact force of the last apply on the first set of each "forc"
// record from its second (x y z per record, N), summed over the pairs
// whose node this process counts.
std::vector<double> setforces(const surface& c);

// Builds the process's exterior surface and the stiffness of its faces
// from the positions of the deck (collective): start() does it unless a
// restart has done it before loading the checkpoint's positions.
void prepare(surface& c);

// The surface again after elements have eroded: the faces of the elements
// still in the model, and the candidates of the nodes and faces that have
// changed (collective). `moved` is closing() of the step's reduction.
void rebuild(surface& c, double moved);

// The checkpoint's section of the contact: the work of the contact forces
// (`work`), then per node of the process the starting depth still followed
// (0 none) and the face that held it in the last step (8 times its
// element's number in the whole model plus its side, 0 none). savedsize()
// is its length once prepare() has run; restore() loads it and returns the
// work.
std::vector<double> saved(const surface& c, double work);
std::size_t savedsize(const surface& c);
double restore(surface& c, const std::vector<double>& section);

// Counters for benchmarks and tests.
struct statistics {
    long long searches;                    // searches run
    long long updates;                     // searches only where erosion changed the surface
    long long pairs;                       // node-face pairs in contact summed over the steps
    long long surfacenodes, surfacefaces;  // on this process, ghosts included
    long long candidates;                  // listed node-face pairs of the last search
    double margin;                         // how far nodes may close in between searches, m
    double spent;                          // of it, used up by updates since the last search, m
};
statistics stats(const surface& c);

// The listed node-face pairs of this process: each node's whole-model
// number and 8 times its face's element's whole-model number plus its side,
// in the order of the nodes and, per node, of the faces.
std::vector<std::array<long long, 2>> candidatepairs(const surface& c);

// The first pair of this process whose spring needed a shorter step than
// the one taken, in words naming the node, the face, their material sets
// and what to do; empty if none.
std::string stiffness(const surface& c);

}  // namespace contact
