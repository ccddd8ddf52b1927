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
    int node[8];
    int mat;
    int nhistory;
};

// Material record, one per material set.
struct material {
    int mtype;
    int etype;
    double density;
    double young;
    double poisson;
    double wavespeed;
    double yield0;
    double tangmod;
    double bjc;
    double njc;
    double cjc;
};

// History record, one per element: the element's state carried from step to
// step. `eint` is the element's specific internal energy (energy per unit
// mass), accumulated from its own strain-energy increments and handed to the
// Gruneisen equation of state.
struct history {
    double vol0;
    double sig_y;
    double sm;
    double seqv;
    double sd[6];
    double epeff;
    double eint;
};

struct tmpoint {
    double time;
    double value;
};

struct rigidplane {
    int dir;
    double coord;
};

struct hourglasscontrol {
    int method;
    double coef;
};

namespace simulation {
extern std::array<char, 256> title;
extern double currenttime;
extern double endtime;
extern int istep;
extern double dtk;
extern double dtk1;
extern double dtk1old;
extern double dtscale;
extern double engkinetic;
extern double engstrain;
}  // namespace simulation

namespace particledata {
extern int nb_particle;
extern std::vector<double> pos;
extern std::vector<double> vel;
extern std::vector<double> acc;
extern std::vector<double> fp;
extern std::vector<double> mp;
}  // namespace particledata

namespace elementdata {
extern int nb_element;
extern std::vector<element> element_list;
extern bool element_list_allocated;
extern int nb_comp;
extern std::vector<int> complen;
// compmember(c, i) is stored at compmember[(c-1)*nb_particle + (i-1)]
extern std::vector<int> compmember;
extern bool comp_allocated;
extern rigidplane plane;
extern double eledistortion;
}  // namespace elementdata

namespace materialdata {
extern int nb_mat;
extern std::vector<material> mat_list;
extern bool mat_list_allocated;
extern std::vector<history> history_list;
extern bool history_allocated;
extern int lenhistorylist;
extern bool jaum;
extern hourglasscontrol hourglass;
extern double c1eosg, c2eosg, c3eosg, c4eosg;

// Working variables of the constitutive update (loaded per element).
extern int etype_;
extern double den0_, young_, poisson_, yield0_, tangmod_, sig_y_, epeff_;
extern double g2, k3, plamod, sm, seqv;
extern double sd[6];
extern double sig[6];
}  // namespace materialdata

namespace timefunctiondata {
extern int lentmfunction;
extern std::vector<tmpoint> tmfunction;
extern bool tmfunction_allocated;
}  // namespace timefunctiondata

namespace dataout {
extern double outtimestep;
extern double reportsteps;
extern int ncurves;
extern std::array<int, 10> curveoption;
extern std::array<int, 10> curvepoint;
// deck line of each curve record, for the element-range check after input
extern std::array<int, 10> curveline;
extern const std::array<std::array<char, 4>, 8> outputname;
extern int npts;
extern int nres;
}  // namespace dataout

namespace commnodes {
extern int nprocs;
extern int myid;
extern int ncomde;
// comnode(p, j) is stored at comnode[(p-1)*ncomde + (j-1)]
extern std::vector<int> comnode;
extern std::vector<int> mycnode;
}  // namespace commnodes

namespace ffi {
extern int ior;
extern int iores;
extern int iow1;
extern int iow2;
extern std::string fileinp;
extern std::array<char, 256> sss;
extern std::array<std::array<char, 20>, 15> cmd_line;
extern int line_nb;
extern int nb_read;
extern int nb_word;
}  // namespace ffi

namespace model {
// Restores every module variable to its load-time value and frees all
// arrays. (process::reset in control/process.hpp also closes the files and
// forgets what the deck has given.)
void reset();
}  // namespace model
