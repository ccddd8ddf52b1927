// Global model data of one process.
//
// Every quantity of a run lives in one of nine modules (namespaces). Arrays are
// allocated once, when the deck gives their size, and stay until the process
// ends. Storage is 0-based; numbers read from the deck (node, element,
// material, component, history index) are 1-based, so node k of the deck is
// entry k-1 of the node arrays. Node arrays hold x, y, z of one node next to
// each other: component i (0..2) of node k (1-based) is pos[3*(k-1)+i].
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Element record: corners in the hexahedron's corner order.
struct element {
    int node[8];   // node numbers (1-based) of corners 1-8
    int mat;       // material set (1-based entry of mat_list)
    int nhistory;  // history record (1-based entry of history_list)
};

// Material record, one per material set. SI units throughout.
struct material {
    // model: 1 elastic, 2 perfectly plastic, 3 linear hardening, 4 Johnson-Cook,
    // 5 Johnson-Cook with thermal softening, 6 power-law hardening, 7 Voce hardening
    int mtype;
    int etype;         // equation of state: 0 none (linear pressure), 1 Gruneisen
    double density;    // initial density rho0, kg/m^3
    double young;      // Young's modulus E, Pa
    double poisson;    // Poisson's ratio nu
    double wavespeed;  // elastic wave speed used by the critical step and the hourglass forces, m/s
    double yield0;     // initial yield stress, Pa (Johnson-Cook A)
    double tangmod;    // tangent modulus of linear hardening, Pa
    double bjc;        // Johnson-Cook hardening modulus B, Pa
    double njc;        // Johnson-Cook hardening exponent n
    double cjc;        // Johnson-Cook strain-rate coefficient C
    // Thermal softening (model 5): flow stress times 1 - T*^m, T* = (T - Troom)
    // / (Tmelt - Troom) in [0, 1]; the temperature rises by beta x plastic work
    // / (rho cp). The rate term of model 5 is ln(rate / ratejc).
    double mjc;     // thermal softening exponent m
    double tmelt;   // melting temperature, K
    double troom;   // room (initial) temperature, K
    double cpjc;    // specific heat cp, J/(kg K)
    double betajc;  // share of the plastic work that turns into heat (Taylor-Quinney)
    double ratejc;  // reference strain rate of model 5, 1/s
    // Voce hardening (model 7): yield stress yield0 + vocq (1 - exp(-vocc eps_p)).
    double vocq;  // saturation stress Q, Pa
    double vocc;  // saturation rate C
    // Gruneisen equation of state of this set ("seos", etype 1): rho0 C0^2,
    // rho0 C0^2 (2S-1), rho0 C0^2 (S-1)(3S-1) (Pa) and rho0 gamma0 (kg/m^3)
    double c1eos, c2eos, c3eos, c4eos;
};

// History record, one per element: the element's state carried from step to
// step. Stress components are ordered xx, yy, zz, yz, zx, xy.
struct history {
    double vol0;   // volume at input, m^3
    double sig_y;  // current yield stress, Pa
    double sm;     // mean stress (tension positive), Pa
    double seqv;   // von Mises equivalent stress, Pa
    double sd[6];  // deviatoric stress, Pa
    double epeff;  // effective plastic strain
    // Specific internal energy (J/kg), accumulated from the element's own
    // strain-energy increments and handed to the Gruneisen equation of state.
    double eint;
    // Artificial bulk viscosity of the last element pass (pressure, positive in
    // compression), Pa; its work against the next step's volume change is
    // counted in the internal energy.
    double q;
    double temp;  // temperature, K (model 5 only)
};

// The fields of `history` in their order, "name" for a double and "name:n"
// for an array of n: the layout a checkpoint records with the records. A
// field added to `history` is added here too (the checkpoint's reader counts
// these against the size of the record and does not build otherwise), and
// a checkpoint of another layout is then refused by name.
inline constexpr char historylayout[] = "vol0 sig_y sm seqv sd:6 epeff eint q temp";

// One point of the load time function.
struct tmpoint {
    double time;   // s
    double value;  // load factor
};

// Rigid plane normal to a coordinate axis.
struct rigidplane {
    // Axis |dir| (1 x, 2 y, 3 z); dir > 0 keeps the nodes on the side of larger
    // coordinates, dir < 0 on the side of smaller ones; 0 no plane.
    int dir;
    double coord;  // position of the plane on that axis, m
};

// Artificial bulk viscosity ("bulk"): q = rho (Q2^2 l^2 (tr D)^2 - Q1 l c tr D)
// in compression, l the element length of the step, c its wave speed.
struct bulkviscosity {
    bool on;    // switched on by "bulk"
    double q1;  // linear coefficient Q1
    double q2;  // quadratic coefficient Q2
};

// Nodes of a component held in chosen directions ("fixd"): velocity and
// acceleration set to zero in the node update.
struct fixity {
    int comp;     // component (1-based)
    int axis[3];  // 1: held along x, y, z
};

// A component driven along one axis ("move C A K F S"): its nodes follow the
// velocity S f(t) (K "v") or the displacement S f(t) from their deck
// position (K "d"), f the time function F.
struct drive {
    int comp;      // component (1-based)
    int axis;      // 0 x, 1 y, 2 z
    bool disp;     // true: a displacement, false: a velocity
    int func;      // time function (1-based)
    double scale;  // S: m/s or m per unit of the function
};

// Penalty contact between the exterior faces of the model ("cont" block).
struct contactcontrol {
    bool on;       // a "cont" block was given
    double scale;  // penalty scale f of the stiffness f K A^2 / V ("scal", default 0.1)
    // Coulomb friction ("fric"): mu = mud + (mus - mud) exp(-decay |v_t|)
    double mus, mud, decay;
    // Material sets in contact with one another ("part"), and pairs of sets
    // in contact only with each other ("pair"); both empty: every set with
    // every set
    std::vector<int> parts;
    std::vector<std::array<int, 2>> pairs;
    // Penalty scales of pairs of sets in place of `scale` ("psca S1 S2 F"):
    // S1, S2 and F
    std::vector<std::array<double, 3>> pairscales;
    // Contact forces written to forces.dat ("forc S1 S2"): on set S1 from S2
    std::vector<std::array<int, 2>> forces;
};

// Failure criteria of one material set ("fail" block); an element whose
// damage reaches 1 or that meets a criterion is eroded.
struct failurecriteria {
    // Johnson-Cook damage ("jc"): D = sum of d eps_p / eps_f with
    // eps_f = [D1 + D2 exp(D3 sigma*)] [1 + D4 ln rate*] [1 + D5 T*]
    bool jc;
    double d1, d2, d3, d4, d5;
    double epsmax;    // effective plastic strain limit ("epsp"), 0 none
    double prinmax;   // largest principal strain limit ("prin"), 0 none
    double tension;   // mean stress limit in tension ("spal", Pa), 0 none
    double shearmax;  // largest engineering shear strain limit ("shea"), 0 none
    // Critical damage Dc of Johnson-Cook damage coupled to the flow stress,
    // which is scaled by 1 - Dc D; 0 uncoupled
    double dcrit;
};

struct hourglasscontrol {
    int method;   // 0 none, 1 standard, 2 Flanagan-Belytschko
    double coef;  // hourglass coefficient Q (control off at or below 1e-6)
};

namespace simulation {
extern std::array<char, 256> title;  // title line of the deck ("sovr" record), blank padded
extern double currenttime;           // time t(n) at the start of the current step, s
extern double endtime;               // end time of the run ("endt"), s
extern int istep;                    // number of the current step, from 1
extern double dtk;                   // step just taken, dt(n-1/2), s
extern double dtk1;  // step about to be taken, dt(n+1/2), s (1e6 before the element pass sets it)
extern double dtk1old;     // last scaled step, limits the growth of the next to 5 %, s
extern double dtscale;     // safety factor on the critical step ("dtsc", default 0.9)
extern double engkinetic;  // kinetic energy of the process's nodes at the start of the step, J
extern double engstrain;   // strain energy accumulated by the process's elements, J
// Energy balance ("ebal on"), accumulated over whole steps t(n-1/2)..t(n+1/2)
// from the process's own share of the nodal forces and reduced over the
// processes at output times:
extern double engexternal;   // work done by the nodal loads, J
extern double enghourglass;  // work of the hourglass forces (negative: they dissipate), J
extern double engplane;      // work of the constraints (rigid plane, held components), J
extern double engcontact;    // work of the contact forces (negative: stored or dissipated), J
extern double engmotion;     // work done on the model by the driven components ("move"), J
// Sums over the contact pairs of the step whose pressing node the process
// counts: their normal forces and the magnitudes of their friction forces, N
extern double contactnormal, contactfriction;
// Stable step for every mesh ("stab on"): the element step bounds the highest
// frequency of the free element, with the hourglass viscosity
extern bool stablestep;
extern int checkpointsteps;  // steps between two checkpoints ("chkp"), 0 none
}  // namespace simulation

namespace particledata {
extern int nb_particle;          // number of nodes of this process
extern std::vector<double> pos;  // 3 x nb_particle, node positions x,y,z, m
// 3 x nb_particle, node velocities, m/s (at half steps in the loop)
extern std::vector<double> vel;
// 3 x nb_particle, nodal forces (N) during the pass, then accelerations (m/s^2)
extern std::vector<double> acc;
// 3 x nb_particle, nodal loads (N), scaled by the load time function
extern std::vector<double> fp;
extern std::vector<double> mp;  // nb_particle, lumped nodal masses, kg
// nb_particle, 1 where this process counts the node in global sums (it is the
// lowest-numbered process that holds it), else 0; set after input when an
// energy balance is written
extern std::vector<double> owned;
// 3 x nb_particle, hourglass forces of the process's elements (N), kept only
// for the energy balance (which zeroes them once it has taken their work);
// empty otherwise
extern std::vector<double> fhg;
// nb_particle, time function of each node's load (1-based); empty when every
// load follows function 1 (the "time" table)
extern std::vector<int> fpfunc;
// nb_particle, number of each node in the whole model ("glob", written by the
// partition tool); empty when the deck is the whole model
extern std::vector<int> global;
}  // namespace particledata

namespace elementdata {
extern int nb_element;                     // number of elements of this process
extern std::vector<element> element_list;  // nb_element element records
extern bool element_list_allocated;        // element_list has been sized ("nbel")
extern int nb_comp;                        // number of node components (named node sets)
extern std::vector<int> complen;           // nb_comp, number of nodes in each component
// nb_comp x nb_particle, node numbers of each component:
// compmember(c, i) is stored at compmember[(c-1)*nb_particle + (i-1)]
extern std::vector<int> compmember;
extern bool comp_allocated;           // complen and compmember have been sized ("ncom")
extern rigidplane plane;              // the rigid plane ("rigi"), dir 0 when there is none
extern std::vector<fixity> fixities;  // held components ("fixd"), in deck order
extern double eledistortion;          // smallest distortion ratio of the last element pass
// Strain increment and spin from the gradient of the mid-step geometry
// x(n-1/2) = x(n) - dt(n-1/2)/2 v(n-1/2) instead of x(n), "midg on/off"
extern bool midstep;
// nb_element, number of each element in the whole model ("glob"); empty when
// the deck is the whole model
extern std::vector<int> global;
extern contactcontrol contact;  // penalty contact ("cont"), off by default
}  // namespace elementdata

namespace materialdata {
extern int nb_mat;                         // number of material sets
extern std::vector<material> mat_list;     // nb_mat material records
extern bool mat_list_allocated;            // mat_list has been sized ("nmat")
extern std::vector<history> history_list;  // one history record per element
extern bool history_allocated;             // history_list has been sized
extern int lenhistorylist;                 // history records handed out so far
extern bool jaum;                   // rotate the stress with the spin (Jaumann rate), "jaum on/off"
extern hourglasscontrol hourglass;  // hourglass method and coefficient ("hour")
extern bulkviscosity bulk;          // artificial bulk viscosity ("bulk"), off by default
// Plastic formulation: "vmis on" weighs the shear components of the
// equivalent stress 3 (von Mises, the same in every frame) in elas, pla1,
// pla2 and john, which otherwise weigh them 1.5 (the later models always
// weigh them 3); "cons on" returns john onto its hardening curve with its
// rate term at the end of the step and records the plastic strain of pla1.
extern bool vonmises;
extern bool consistent;
// "math on": every pow, log and exp of the element pass and the material
// models is the solver's own (numerics/ownmath.hpp, the same bits on every
// machine and SIMD width) instead of libm's.
extern bool solvermath;

// Working variables of the constitutive update, loaded per element from its
// material and history records and written back after the update.
extern int etype_;       // equation of state of the element's material
extern double den0_;     // initial density, kg/m^3
extern double young_;    // Young's modulus, Pa
extern double poisson_;  // Poisson's ratio
extern double yield0_;   // initial yield stress, Pa
extern double tangmod_;  // tangent modulus, Pa
extern double sig_y_;    // current yield stress, Pa
extern double epeff_;    // effective plastic strain
extern double g2;        // 2G, twice the shear modulus, Pa
extern double k3;        // 3K, three times the bulk modulus, Pa
extern double plamod;    // plastic modulus E Et / (E - Et) of linear hardening, Pa
extern double sm;        // mean stress, Pa
extern double seqv;      // von Mises equivalent stress, Pa
extern double sd[6];     // deviatoric stress xx, yy, zz, yz, zx, xy, Pa
extern double sig[6];    // total stress at the start of the update, same order, Pa
}  // namespace materialdata

namespace timefunctiondata {
extern int lentmfunction;                // number of points of the load time function
extern std::vector<tmpoint> tmfunction;  // lentmfunction points (time, factor), in time order
extern bool tmfunction_allocated;        // tmfunction has been sized ("time")
// The further time functions ("tfun F N"): entry F-1 holds the points of
// function F (entry 0 stays empty, function 1 being tmfunction); empty
// entries for the numbers the deck does not give
extern std::vector<std::vector<tmpoint>> functions;
// Value of each function at the start of the step, entry F-1 for function F
// (sized only when some load follows a function other than 1)
extern std::vector<double> current;
}  // namespace timefunctiondata

namespace motiondata {
extern std::vector<drive> drives;  // driven components ("move"), in deck order
// Some process of the job drives a component (set before the loop): the
// energy balance then has its motion column
extern bool driven;
// 3 x nb_particle, deck coordinates of the nodes, m (kept only when a
// component is driven by a displacement)
extern std::vector<double> origin;
// Components whose constraint force is written to forces.dat ("reac C [N]"):
// the component (0: none of its nodes on this process) and the number its
// columns are named by
extern std::vector<int> reactcomp, reactname;
// 3 x nb_particle, force the constraints (rigid plane, "fixd", "move") put on
// each node component in the last node update, N (sized only with "reac")
extern std::vector<double> reaction;
extern int nforces;  // records written to forces.dat so far
}  // namespace motiondata

// A rigid body ("rigd"): a material set whose elements move as one. The same
// on every process; the state is that after the last node update.
struct rigidbody {
    int set;              // material set (1-based)
    double v0[3], w0[3];  // initial velocity of the centre, m/s, and angular velocity, rad/s
    int hold[4];          // 1: the centre's velocity along x, y, z stays v0; the angular momentum
                          // takes no moment (last)
    double mass;          // sum of the lumped masses of its nodes, kg
    double jbody[3][3];   // inertia about the centre in the body frame (deck axes), kg m^2
    double jinv[3][3];    // its inverse
    double origin[3];     // centre of mass in the deck geometry, m
    double centre[3];     // centre of mass x_c(n+1), m
    double vel[3];        // velocity of the centre v_c(n+1/2), m/s
    double q[4];          // rotation from the deck orientation, unit quaternion (w, x, y, z)
    double spin[3];       // angular momentum about the centre, spatial axes, n+1/2, kg m^2/s
    double omega[3];      // angular velocity of the node velocities of n+1/2, rad/s
};

namespace rigiddata {
extern std::vector<rigidbody> bodies;  // rigid bodies in deck order
extern std::vector<int> setbody;       // nb_mat, body (1-based) of each material set, 0 none
extern std::vector<int> nodebody;      // nb_particle, body (1-based) of each node, 0 none
// the records of the elements outside the rigid sets, in element order (the element pass runs
// over them while no element has eroded)
extern std::vector<element> deformable;
extern double step;   // shortest step of the rigid elements in the deck geometry, s (1e6 none)
extern int nrecords;  // records written to rigid.dat so far
}  // namespace rigiddata

namespace dataout {
extern double outtimestep;               // interval between output times ("outt"), s
extern double reportsteps;               // steps between progress lines ("repo")
extern int ncurves;                      // number of curves (at most 10)
extern std::array<int, 10> curveoption;  // variable of each curve: entry of curvevariables::table
extern std::array<int, 10> curvepoint;   // element or node of each curve (none for an energy)
// deck line of each curve record, for the range check after input
extern std::array<int, 10> curveline;
// deck coordinate of the node of each displacement curve along its axis
// (set once the deck has been read), m
extern std::array<double, 10> curveorigin;
extern int npts;          // records written to the curve file so far
extern int nres;          // zones written to the animation file so far
extern double fieldstep;  // interval between field outputs ("fout"), s; below 0 none
extern int nfield;        // field outputs written so far
extern bool energyon;     // write the global energy balance ("ebal on")
extern int nenergy;       // records written to the energy file so far
}  // namespace dataout

namespace failuredata {
extern bool on;                                // a "fail" block was given
extern std::vector<failurecriteria> criteria;  // nb_mat, the criteria of each material set
extern double stepfraction;  // erode elements whose step falls below this share of the shortest
                             // initial element step ("step"), 0 none
extern std::vector<double> damage;   // nb_element, damage of each element (1 when eroded)
extern std::vector<char> eroded;     // nb_element, 1 for an eroded element
extern std::vector<element> active;  // the records of the elements not eroded, in element order
extern bool anyeroded;               // some element of the process has eroded (active is in use)
extern int neroded;                  // elements of the process eroded so far
extern int nerodedjob;               // elements of the whole model eroded so far
extern double engeroded;  // work the process's eroded elements had absorbed when removed, J
// Per history record, the factor 1 - Dc D on the flow stress of an element
// whose damage D is coupled to its stress (critical damage Dc of "jc");
// empty when no set couples its damage.
extern std::vector<double> weakening;
}  // namespace failuredata

namespace commnodes {
extern int nprocs;  // number of MPI processes
extern int myid;    // rank of this process, from 0
// Stop signal of this process (0 none), sent with the step in every
// exchange, and the largest over the job after the last exchange.
extern int stopflag;
extern int stopjob;
extern bool sparse;  // "Comm" lists neighbours (sparse) instead of slots of every process
// Dense "Comm": the summed exchange over every slot of the model.
extern int ncomde;                // number of shared-node slots in "Comm"
extern std::vector<int> mycnode;  // ncomde, local node of each slot on this process (0 none)
// Line of "Comm" of each value of mycnode (dense) or of each entry of nbnode (sparse):
extern std::vector<int> commline;
// Sparse "Comm": the exchange with neighbours only.
extern std::vector<int> nbproc;  // neighbour processes, increasing
extern std::vector<int>
    nbstart;  // nbproc.size()+1: entries of nbproc[i] are nbstart[i]..nbstart[i+1]-1
extern std::vector<int> nbnode;  // local node of each entry, in the order the neighbour sends
// Sums at the shared nodes in process order: sumnode[s] is a local node, its
// terms are sumterm[sumstart[s]..sumstart[s+1]-1], -1 for this process's own
// value, else the entry whose received value is added.
extern std::vector<int> sumnode;
extern std::vector<int> sumstart;
extern std::vector<int> sumterm;
}  // namespace commnodes

namespace ffi {
extern int ior;                    // unit number of the deck (11)
extern int iores;                  // unit number of the echo file (13)
extern int iow1;                   // unit number of the animation file (14)
extern int iow2;                   // unit number of the curve file (15)
extern std::string fileinp;        // deck name of this process, padded with blanks to 100
extern std::array<char, 256> sss;  // current deck line, cleaned, blank padded
// words of the current line, first 20 characters each
extern std::array<std::array<char, 20>, 15> cmd_line;
extern int line_nb;  // number of the current deck line, from 1
extern int nb_read;  // words of the current line handed out so far
extern int nb_word;  // words of the current line not handed out yet
}  // namespace ffi

namespace model {
// Restores every module variable to its load-time value and frees all
// arrays. (process::reset in control/process.hpp also closes the files and
// forgets what the deck has given.)
void reset();
}  // namespace model
