// hexdyn-mesh: writes a complete one-process input deck for a box, a solid
// cylinder, a square tube or a Gmsh hexahedral mesh, or joins such decks into one model of
// several bodies.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "formats/cli.hpp"
#include "formats/deck.hpp"
#include "material/catalog.hpp"
#include "mesh/bodies.hpp"
#include "mesh/generators.hpp"
#include "mesh/gmsh.hpp"
#include "mesh/orientation.hpp"
#include "model/curvevariables.hpp"
#include "parallel/commtable.hpp"

namespace {

using formats::Usage;

const std::string kHelp = std::string(
    R"(usage: hexdyn-mesh box      --nx N --ny N --nz N --lx L --ly L --lz L [--origin X,Y,Z] [options]
       hexdyn-mesh cylinder --radius R --length L --ncore N --nlayers N --nalong N [options]
       hexdyn-mesh tube     --side C --thickness T --length L --nwall N --nside N --nalong N
                            [options]
       hexdyn-mesh gmsh     FILE.msh [--scale S] [options]
       hexdyn-mesh merge    DECK1 DECK2 [DECK3 ...] [--offset K=DX,DY,DZ]... [-o FILE]
                            [--contact on|off] [--comm]

Writes a complete input deck for one process (default file "a").

Meshes
  box        nx x ny x nz hexahedra filling [x0, x0+lx] x [y0, y0+ly] x [z0, z0+lz].
             Components: 1 all nodes, 2 face z = zmin, 3 face z = zmax,
             4 face x = xmin, 5 face x = xmax, 6 face y = ymin, 7 face y = ymax.
  cylinder   solid cylinder along z, base at z = 0, axis at x = y = 0. The
             cross-section is an O-grid: a square core of half-width R/2 with
             ncore x ncore elements, and nlayers rings of 4 ncore elements out
             to the circle; nalong elements along the axis.
             Components: 1 all nodes, 2 bottom face (z = 0), 3 top face
             (z = L), 4 outer lateral surface.
  tube       thin-walled square tube along z, base at z = 0, axis at x = y =
             0: side C through the middle of the wall (C - T to C + T
             across), wall T, length L; nwall elements through the wall,
             nside along each side, nalong along the axis (the corner
             elements are trapezoids between the diagonals).
             Components: 1 all nodes, 2 bottom end (z = 0), 3 top end
             (z = L), 4 outer surface, 5 inner surface.
  gmsh       a Gmsh ASCII mesh (format 4.1 or 2.2) of 8-node hexahedra. Points,
             lines, triangles and quadrangles only carry physical groups; other
             volume elements are rejected. Every physical volume is a part: a
             material set of its own, numbered 1, 2, ... in increasing order
             of the volume tag; every hexahedron must belong to exactly one
             physical volume. Component 1 is all nodes; every physical group
             (volumes included: the nodes of the part) becomes a further
             component, numbered 2, 3, ... in increasing order of the group
             tag (equal tags: lower dimension first), named as the group;
             the lists are printed. Two physical volumes of one name are
             refused (an option naming it could reach only one); a name that
             groups of different dimensions share is refused where an option
             names it (give the component number). Nodes are renumbered 1..N
             in Gmsh tag order (nodes of no hexahedron are dropped); mirrored
             hexahedra are turned over. --scale S multiplies every
             coordinate (0.001 for a mesh drawn in millimetres).
  box, cylinder and tube elements get material set 1.
  merge      joins one-process decks written by hexdyn-mesh, one body each,
             into one deck (see "Several bodies" below).

Options (a value with blanks must be quoted)
  -o, --output FILE        deck file to write (default "a")
  --comm                   also write "Comm" for a one-process run beside it
  --title TEXT             title of the run
  --endtime T              end time (required)
  --outtime T              time between outputs (default endtime/10)
  --report N               steps between progress lines (default 100)
  --dtscale S              time-step scale factor (solver default 0.9)
  --hourglass M,Q          hourglass method (0 none, 1 standard,
                           2 Flanagan-Belytschko) and coefficient (default
                           2,0.1: the standard control, what a deck without
                           "hour" gets, fails the patch test on distorted
                           meshes)
  --checkpoint N|off       write a checkpoint every N steps ("chkp"; the run
                           continues after a stop with "hexdyn --restart");
                           default off
  --jaumann on|off         Jaumann stress rotation (solver default on)
  --midg on|off            strain increment and spin from the mid-step
                           geometry, so that a rigid rotation does not strain
                           the body (default on; solver default off)
  --stable on|off          the step bounded by the free element's highest
                           frequency with the bulk and hourglass viscosities,
                           stable on meshes one element thick ("stab";
                           default on; solver default off)
  --vmis on|off            von Mises equivalent stress (shear components
                           weighted 3, the same yield whatever the mesh's
                           orientation) in elas, pla1, pla2 and john ("vmis";
                           solver default off; the later models always)
  --cons on|off            john's plastic increment on its hardening curve
                           with the rate term, and plastic strain for pla1
                           ("cons"; solver default off; jcth always)
  --corr on|off            the corrected formulation: stab, midg, vmis and
                           cons on unless set apart ("corr"; default on;
                           solver default off)
  --math on|off            the solver's own pow, log and exp, the same bits
                           on every machine, the returns onto the hardening
                           curves in the SIMD lanes ("math"; default on;
                           solver default off: libm)
  --fields T|off           time between the solver's field output (compressed
                           VTK files in field/ and field.pvd; default: the
                           output interval); "off" writes no field output
  --energy on|off          the solver's global energy balance energy.dat
                           (default on)
  --material "MODEL C..."  the material of every part (required unless each
                           part has its own), one of
)" + catalog::constantlines(29) +
    R"(  --material NAME="MODEL C..."
                           the material of the physical volume NAME (gmsh;
                           repeatable)
  --seos "C0 S GAMMA0"     Mie-Gruneisen equation of state of every part
  --seos NAME="C0 S GAMMA0"
                           ... of the physical volume NAME only (repeatable)
  --velocity C,VX,VY,VZ    initial velocity of the nodes of component C
  --load C,FX,FY,FZ        force on every node of component C
                           (both repeatable; applied in order, the last wins).
                           C is a component number or name: a face of the
                           box or cylinder (below), "all", or the name of a
                           Gmsh physical group; "C=VX,VY,VZ" reads the same
                           (--velocity projectile=0,0,-300)
  --rigid DIR,COORD        rigid plane normal to axis |DIR| (1 x, 2 y, 3 z) at
                           COORD; the sign of DIR picks the side it holds back
  --bulk Q1,Q2|on|off      artificial bulk viscosity, linear and quadratic
                           coefficients (default on, with 0.06,1.5); "off"
                           writes none
  --fix TARGET,AXES        hold the nodes of TARGET along AXES (any of x, y,
                           z, e.g. "xy"): velocity and acceleration zero.
                           TARGET is a component number, a face of the box
                           (xmin, xmax, ymin, ymax, zmin, zmax), of the
                           cylinder (bottom, top, lateral), of the tube
                           (bottom, top, outer, inner), "all", or the
                           name of a Gmsh physical group (repeatable)
  --prescribe TARGET=AXIS,KIND,S[,T1,F1,T2,F2...]
                           drive the nodes of TARGET along AXIS (x, y or z):
                           KIND v prescribes the velocity S f(t), d the
                           displacement S f(t) from the mesh position. f is
                           the table T1,F1,... when given, else 1 for a
                           velocity and t / end time for a displacement
                           (S at the end); each writes its own "tfun" and a
                           "move" record (repeatable; a direction is held by
                           --fix or driven, not both)
  --rigid-body NAME[,VX,VY,VZ,WX,WY,WZ[,HX,HY,HZ,HR]]
                           the elements of the physical volume NAME ("all"
                           for a box, cylinder or tube) move as one rigid
                           body, its centre at velocity V, spinning at W
                           about it; H 1 holds the centre's velocity along
                           x, y, z at V and (HR) its angular momentum, as a
                           quarter model on symmetry planes needs ("rigd"
                           record; repeatable)
  --wall SHAPE,V1,...[,edge=EX,EY,EZ,LA,LB][,leng=L][,insi][,move=VX,VY,VZ]
         [,fric=MU][,comp=TARGET]
                           a rigid wall the nodes may not pass, one wall of
                           the "wall" block (repeatable, in order): SHAPE
                           plan (or plane) PX,PY,PZ,NX,NY,NZ: a point and the
                           normal towards the body; cyli (cylinder)
                           PX,PY,PZ,AX,AY,AZ,R: a point of the axis, its
                           direction and the radius; sphe (sphere)
                           CX,CY,CZ,R. edge: a plane only, the rectangle with
                           corner P, LA along E and LB along N x E; leng: a
                           cylinder only, from P over L along A; insi: the
                           body inside the cylinder or sphere; move: constant
                           velocity; fric: Coulomb coefficient (0..10); comp:
                           hold only the nodes of TARGET (a component number
                           or name, as for --fix)
  --reaction TARGET        write the force the constraints (--fix,
                           --prescribe, --rigid) put on the nodes of TARGET
                           to forces.dat ("reac" record; repeatable)
  --contact on|off         penalty contact between the exterior faces of
                           the model, every material set with every one
                           ("cont" block with the solver's defaults; default
                           off, on for merge). Without it a mesh of separate
                           bodies (pieces that share no node, as two Gmsh
                           volumes apart) gets a warning naming them: they
                           would pass through one another; "--contact off"
                           silences it
  --time T0,F0,T1,F1,...   load factor table; its last time must lie beyond
                           the end time. Default with loads: factor 1 over the run.
  --curve NAME[,N]         result curve (repeatable, at most 10): a curve
                           variable (listed below) at element or node N
                           (default 1), or an energy of the process
  --options FILE           read further options from FILE: one "key value" per
                           line (key without the leading dashes, value not
                           quoted), blank lines and lines starting with # ignored
  -h, --help               this text

  An option given again replaces its earlier value: the last one wins, on
  the command line and in options files alike (a command-line option after
  --options FILE overrides the file's). For --material NAME=, --seos NAME=
  and --fix TARGET this holds per NAME or TARGET; --velocity and --load add
  records that apply in order, so that the last one wins on every node as
  well; every --curve adds a curve. In merge, -o, --contact and --offset K
  (per deck K) alike.

Several bodies
  hexdyn-mesh merge -o OUT DECK1 DECK2 ... joins one-process decks into one.
  Body K (its deck the K-th named) is moved by --offset K=DX,DY,DZ
  (repeatable, default none). Nodes, elements and material sets follow body
  by body. Component 1 of the joined deck is all nodes; the components of
  body K follow, shifted by a constant (printed), its component 1 (all of
  its nodes) first: a body whose component 1 is not all of its nodes gets
  such a component in front. Held components ("fixd"), loads, initial
  velocities and curves move with their body; an energy curve is kept once.
  Run control, the rigid plane and the title come from DECK1, the time table
  from the first deck that has one. Failure records ("fail") follow their
  material sets; "step" acts on the whole model and is kept once (decks
  that give it differently are refused). A body's own contact block is
  carried: the sets it puts in contact within the body ("part", "pair"),
  its pair scales ("psca"), its "scal" and "fric" (decks that give different
  ones are refused). The joined deck adds contact between the bodies, every
  set of one against every set of another, unless given --contact off; with
  no "part" or "pair" in the bodies' blocks that is the plain block of every
  set against every one, else the pairs are written out.
  --comm writes "Comm" beside it.

Units
  A warning (on standard error; the deck is written all the same) says when
  the mesh and the material data look like different units, as for a mesh
  drawn in millimetres with SI material data: every density is above 100
  (SI, kg/m^3), but the mesh read in metres is more than 100 m across, or
  its step estimate (shortest element edge over the wave speed sqrt(E/rho))
  is above 1e-4 s, or the model weighs more than 100 t (density times
  volume) and the end time takes fewer than 1000 such steps.
)");
// The help text closed by the paragraphs of the material words and of the
// curve variables.
const std::string kHelpText = std::string(kHelp) + catalog::rateshelp() + curvevariables::help();

// A vector for the nodes of a component given by number or name.
struct Targeted {
    std::string target;
    std::array<double, 3> v{};
};

struct Settings {
    std::string kind;  // box, cylinder, tube, gmsh
    std::string mshfile;
    mesh::BoxParams box;
    mesh::CylinderParams cyl;
    mesh::TubeParams tube;
    std::map<std::string, bool> given;  // geometry options given
    std::string output = "a";
    bool comm = false;
    std::optional<std::string> title;
    std::optional<double> endtime, outtime, dtscale;
    std::optional<int> report;
    std::optional<formats::Hourglass> hourglass = formats::Hourglass{2, 0.1};
    std::optional<int> checkpoint;
    std::optional<bool> jaumann;
    std::optional<bool> midstep = true;
    std::optional<bool> stable = true;
    std::optional<bool> vonmises, consistent;
    std::optional<bool> corrected = true;
    std::optional<bool> solvermath = true;
    std::optional<formats::RigidPlane> rigid;
    std::optional<std::vector<formats::TimePoint>> timetable;
    bool fields = true, energy = true;
    std::optional<double> fieldtime;
    std::optional<double> scale;
    std::optional<formats::Material> material;  // of every part without its own
    std::vector<std::pair<std::string, formats::Material>> part_materials;  // volume name, material
    std::optional<formats::Seos> seos;
    std::vector<std::pair<std::string, formats::Seos>> part_seos;
    std::optional<bool> contact;  // unset: off, with a warning for separate bodies
    std::optional<formats::Bulk> bulk = formats::Bulk{};
    std::vector<std::pair<std::string, std::array<int, 3>>> fixes;  // target, axes
    // --prescribe: target, its record (component 0 until the mesh names it)
    // and its function's table (empty: the default)
    struct Prescribed {
        std::string target;
        formats::Drive drive;
        std::vector<formats::TimePoint> table;
    };
    std::vector<Prescribed> prescribed;
    std::vector<std::string> reactions;  // --reaction targets
    // --wall: the wall (its component unset) and the target of its comp=
    std::vector<std::pair<formats::Wall, std::string>> walls;
    // --rigid-body: physical volume name ("all" for a box, cylinder or tube) and
    // its velocity and angular velocity
    std::vector<std::pair<std::string, std::array<double, 10>>> bodies;
    std::vector<Targeted> loads, velocities;
    std::vector<std::pair<int, int>> curves;  // option, element (0: not given)
    int options_depth = 0;
};

bool takes_value(const std::string& key) { return key != "comm" && key != "help"; }

// Splits "TARGET,V1,...,Vn" into the target and its last n words; commas,
// blanks and "=" separate the words, and the target is all the text before
// them, so that a group name may hold blanks ("side x=0,0,0,-10").
std::pair<std::string, std::vector<std::string>> target_and_values(const std::string& v, size_t n) {
    auto sep = [](char c) { return c == ',' || c == ' ' || c == '\t' || c == '='; };
    std::vector<std::string> values;
    size_t end = v.size();
    while (values.size() < n) {
        while (end > 0 && sep(v[end - 1])) --end;
        size_t b = end;
        while (b > 0 && !sep(v[b - 1])) --b;
        if (b == end) break;
        values.insert(values.begin(), v.substr(b, end - b));
        end = b;
    }
    while (end > 0 && sep(v[end - 1])) --end;
    const size_t b = v.find_first_not_of(" \t");
    return {b < end ? v.substr(b, end - b) : std::string(), values};
}

Targeted vector_record(const std::string& key, const std::string& v) {
    const auto [target, values] = target_and_values(v, 3);
    if (target.empty() || values.size() != 3)
        throw Usage("--" + key + " needs C,X,Y,Z (4 values), got \"" + v + "\"");
    Targeted r{target, {}};
    for (size_t i = 0; i < 3; ++i) r.v[i] = formats::parse_real(values[i], "--" + key);
    return r;
}

// "TARGET=AXIS,KIND,S[,T1,F1,...]" of --prescribe.
Settings::Prescribed prescribed(const std::string& v) {
    size_t cut = v.find('=');
    if (cut == std::string::npos) cut = v.find(',');
    const std::string usage = "--prescribe needs TARGET=AXIS,KIND,S[,T1,F1,...], got \"" + v + "\"";
    if (cut == std::string::npos) throw Usage(usage);
    Settings::Prescribed p;
    const std::vector<std::string> target = formats::split_list(v.substr(0, cut));
    const std::vector<std::string> w = formats::split_list(v.substr(cut + 1));
    if (target.size() != 1 || w.size() < 3 || (w.size() - 3) % 2 != 0) throw Usage(usage);
    p.target = target[0];
    if (w[0].size() != 1 || w[0][0] < 'x' || w[0][0] > 'z')
        throw Usage("--prescribe: the axis is x, y or z, not \"" + w[0] + "\"");
    p.drive.axis = w[0][0] - 'x' + 1;
    if (w[1] != "v" && w[1] != "d")
        throw Usage("--prescribe: the kind is v (velocity) or d (displacement), not \"" + w[1] +
                    "\"");
    p.drive.disp = w[1] == "d";
    p.drive.scale = formats::parse_real(w[2], "--prescribe scale");
    for (size_t i = 3; i < w.size(); i += 2) {
        const double t = formats::parse_real(w[i], "--prescribe time");
        if (!p.table.empty() && t < p.table.back().time)
            throw Usage("--prescribe: the times must not decrease");
        p.table.push_back({t, formats::parse_real(w[i + 1], "--prescribe value")});
    }
    if (p.table.size() == 1) throw Usage("--prescribe: a table needs at least 2 points");
    return p;
}

// "NAME=TEXT" as the name and the text (after the last "="), or "" and the whole.
std::pair<std::string, std::string> named_value(const std::string& key, const std::string& v) {
    const size_t eq = v.rfind('=');
    if (eq == std::string::npos) return {std::string(), v};
    const std::vector<std::string> name = formats::split_list(v.substr(0, eq));
    if (name.empty()) throw Usage("--" + key + " NAME=...: no name before \"=\"");
    const size_t b = v.find_first_not_of(" \t");
    std::string n = v.substr(b, eq - b);
    n.erase(n.find_last_not_of(" \t") + 1);
    return {n, v.substr(eq + 1)};
}

formats::Material parse_material(const std::string& v) {
    std::vector<std::string> w = formats::split_list(v);
    if (w.empty()) throw Usage("--material needs a model and its constants");
    const catalog::model* row = formats::material_model(w[0]);
    if (!row)
        throw Usage("--material: unknown model \"" + w[0] + "\" (" + catalog::wordlist(", ") + ")");
    const int n = static_cast<int>(row->constants.size());
    formats::Material m;
    m.model = row->word;
    if (static_cast<int>(w.size()) - 1 != n)
        throw Usage("--material " + m.model + " needs " + std::to_string(n) + " constants, got " +
                    std::to_string(w.size() - 1));
    for (size_t i = 1; i < w.size(); ++i)
        m.reals.push_back(formats::parse_real(w[i], "--material"));
    if (!(m.reals[0] > 0)) throw Usage("--material: the density must be positive");
    if (!(m.reals[1] > 0)) throw Usage("--material: Young's modulus must be positive");
    if (!(m.reals[2] > -1.0 && m.reals[2] < 0.5))
        throw Usage("--material: Poisson's ratio must lie in (-1, 0.5)");
    if (n > 3 && !(m.reals[3] > 0)) throw Usage("--material: the yield stress must be positive");
    for (size_t i = 0; i < m.reals.size(); ++i) {
        const catalog::constant& c = row->constants[i];
        if (!catalog::valid(c, m.reals[i]))
            throw Usage(std::string("--material: ") + c.what + " must be " + c.rule);
    }
    return m;
}

// "SHAPE,V1,...[,KEY=V1,...][,insi]" of --wall: the shape's values, then the
// records that complete the wall by the words of the deck's wall block, each
// once. The component named by comp= is returned to be found in the mesh.
std::pair<formats::Wall, std::string> wall_option(const std::string& v) {
    const std::vector<std::string> w = formats::split_list(v);
    const std::string usage =
        "--wall needs plan,PX,PY,PZ,NX,NY,NZ, cyli,PX,PY,PZ,AX,AY,AZ,R or sphe,CX,CY,CZ,R, then "
        "any of edge=, leng=, insi, move=, fric=, comp=; got \"" +
        v + "\"";
    if (w.empty()) throw Usage(usage);
    formats::Wall wall;
    std::size_t values = 0;
    if (w[0] == "plan" || w[0] == "plane") {
        wall.shape = 1;
        values = 6;
    } else if (w[0] == "cyli" || w[0] == "cylinder") {
        wall.shape = 2;
        values = 7;
    } else if (w[0] == "sphe" || w[0] == "sphere") {
        wall.shape = 3;
        values = 4;
    } else {
        throw Usage("--wall: the shape is plan, cyli or sphe (plane, cylinder, sphere), not \"" +
                    w[0] + "\"");
    }
    // The words after the shape: the shape's values, then groups that begin
    // with KEY=.
    std::vector<std::pair<std::string, std::vector<std::string>>> groups{{w[0], {}}};
    for (std::size_t i = 1; i < w.size(); ++i) {
        const std::size_t eq = w[i].find('=');
        if (eq != std::string::npos)
            groups.push_back({w[i].substr(0, eq), {w[i].substr(eq + 1)}});
        else if (w[i] == "insi" || w[i] == "inside")
            groups.push_back({"insi", {}});
        else
            groups.back().second.push_back(w[i]);
    }
    const auto reals = [&](const std::string& key, const std::vector<std::string>& words,
                           std::size_t n) {
        if (words.size() != n)
            throw Usage("--wall: " + key + " takes " + std::to_string(n) + " value" +
                        (n == 1 ? "" : "s") + ", got " + std::to_string(words.size()) + " in \"" +
                        v + "\"");
        std::vector<double> x;
        for (const std::string& word : words)
            x.push_back(formats::parse_real(word, "--wall " + key));
        return x;
    };
    const std::vector<double> shape = reals(w[0], groups[0].second, values);
    wall.point = {shape[0], shape[1], shape[2]};
    if (wall.shape != 3) wall.direction = {shape[3], shape[4], shape[5]};
    if (wall.shape != 1) wall.radius = shape[values - 1];
    std::string comp;
    std::vector<std::string> seen;
    for (std::size_t g = 1; g < groups.size(); ++g) {
        const auto& [key, words] = groups[g];
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            throw Usage("--wall: " + key + " given twice (a wall takes one)");
        seen.push_back(key);
        if (key == "edge") {
            const std::vector<double> e = reals(key, words, 5);
            wall.edge = std::array<double, 5>{e[0], e[1], e[2], e[3], e[4]};
        } else if (key == "leng" || key == "length") {
            wall.length = reals(key, words, 1)[0];
        } else if (key == "insi") {
            wall.inside = true;
        } else if (key == "move") {
            const std::vector<double> m = reals(key, words, 3);
            wall.move = std::array<double, 3>{m[0], m[1], m[2]};
        } else if (key == "fric") {
            wall.friction = reals(key, words, 1)[0];
        } else if (key == "comp") {
            if (words.size() != 1)
                throw Usage("--wall: comp takes one component, got \"" + v + "\"");
            comp = words[0];
        } else {
            throw Usage("--wall: unknown record \"" + key +
                        "\" (edge, leng, insi, move, fric or comp)");
        }
    }
    return {wall, comp};
}

bool switch_value(const std::string& key, const std::string& v) {
    if (v != "on" && v != "off") throw Usage("--" + key + " takes on or off");
    return v == "on";
}

void read_options_file(const std::string& path, Settings& s);

// The mesh size options: --nx ... --origin of a box, --radius ... --nalong of a
// cylinder, --side ... --nalong of a tube, --scale of a Gmsh mesh. Each is refused for the other kinds; the
// box and cylinder ones are noted in `given` for the check of missing ones.
// False if `key` is none of them.
bool apply_geometry(Settings& s, const std::string& key, const std::string& v) {
    const bool geometry_box = key == "nx" || key == "ny" || key == "nz" || key == "lx" ||
                              key == "ly" || key == "lz" || key == "origin";
    const bool both = key == "length" || key == "nalong";
    const bool geometry_cyl = key == "radius" || key == "ncore" || key == "nlayers";
    const bool geometry_tube =
        key == "side" || key == "thickness" || key == "nwall" || key == "nside";
    if (geometry_box && s.kind != "box") throw Usage("--" + key + " applies to box meshes only");
    if (geometry_cyl && s.kind != "cylinder")
        throw Usage("--" + key + " applies to cylinder meshes only");
    if (geometry_tube && s.kind != "tube") throw Usage("--" + key + " applies to tube meshes only");
    if (both && s.kind != "cylinder" && s.kind != "tube")
        throw Usage("--" + key + " applies to cylinder and tube meshes only");
    if (geometry_box || geometry_cyl || geometry_tube || both) s.given[key] = true;
    if (s.kind == "tube") {
        if (key == "side")
            s.tube.side = formats::parse_real(v, "--" + key);
        else if (key == "thickness")
            s.tube.thickness = formats::parse_real(v, "--" + key);
        else if (key == "length")
            s.tube.length = formats::parse_real(v, "--" + key);
        else if (key == "nwall")
            s.tube.nwall = formats::parse_int(v, "--" + key);
        else if (key == "nside")
            s.tube.nside = formats::parse_int(v, "--" + key);
        else if (key == "nalong")
            s.tube.nalong = formats::parse_int(v, "--" + key);
        if (geometry_tube || both) return true;
    }

    const std::string what = "--" + key;
    if (key == "nx")
        s.box.nx = formats::parse_int(v, what);
    else if (key == "ny")
        s.box.ny = formats::parse_int(v, what);
    else if (key == "nz")
        s.box.nz = formats::parse_int(v, what);
    else if (key == "lx")
        s.box.lx = formats::parse_real(v, what);
    else if (key == "ly")
        s.box.ly = formats::parse_real(v, what);
    else if (key == "lz")
        s.box.lz = formats::parse_real(v, what);
    else if (key == "origin") {
        std::vector<double> o = formats::parse_reals(v, "--origin");
        if (o.size() != 3) throw Usage("--origin needs X,Y,Z");
        s.box.origin = {o[0], o[1], o[2]};
    } else if (key == "radius")
        s.cyl.radius = formats::parse_real(v, what);
    else if (key == "length")
        s.cyl.length = formats::parse_real(v, what);
    else if (key == "ncore")
        s.cyl.ncore = formats::parse_int(v, what);
    else if (key == "nlayers")
        s.cyl.nlayers = formats::parse_int(v, what);
    else if (key == "nalong")
        s.cyl.nalong = formats::parse_int(v, what);
    else if (key == "scale") {
        if (s.kind != "gmsh") throw Usage("--scale applies to gmsh meshes only");
        s.scale = formats::parse_real(v, what);
        if (!(*s.scale > 0)) throw Usage("--scale must be positive");
    } else
        return false;
    return true;
}

// The run control: end time, step, hourglass control, stress rotation, bulk
// viscosity, contact and checkpoints. False if `key` is none of them.
bool apply_control(Settings& s, const std::string& key, const std::string& v) {
    const std::string what = "--" + key;
    if (key == "endtime") {
        s.endtime = formats::parse_real(v, what);
        if (*s.endtime < 0) throw Usage("--endtime must not be negative");
    } else if (key == "dtscale") {
        s.dtscale = formats::parse_real(v, what);
        if (!(*s.dtscale > 0)) throw Usage("--dtscale must be positive");
    } else if (key == "hourglass") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.size() != 2) throw Usage("--hourglass needs METHOD,COEF");
        formats::Hourglass h;
        h.method = formats::parse_int(w[0], "--hourglass method");
        h.coef = formats::parse_real(w[1], "--hourglass coefficient");
        if (h.method < 0 || h.method > 2) throw Usage("--hourglass method must be 0, 1 or 2");
        if (h.coef < 0) throw Usage("--hourglass coefficient must not be negative");
        s.hourglass = h;
    } else if (key == "checkpoint") {
        if (v == "off") {
            s.checkpoint.reset();
        } else {
            s.checkpoint = formats::parse_int(v, what);
            if (*s.checkpoint < 1) throw Usage("--checkpoint must be at least 1 step, or off");
        }
    } else if (key == "jaumann" || key == "midg" || key == "stable" || key == "vmis" ||
               key == "cons" || key == "corr" || key == "math") {
        if (v != "on" && v != "off") throw Usage("--" + key + " takes on or off");
        std::optional<bool>& sw = key == "jaumann" ? s.jaumann
                                  : key == "midg"  ? s.midstep
                                  : key == "vmis"  ? s.vonmises
                                  : key == "cons"  ? s.consistent
                                  : key == "corr"  ? s.corrected
                                  : key == "math"  ? s.solvermath
                                                   : s.stable;
        sw = v == "on";
    } else if (key == "contact") {
        s.contact = switch_value(key, v);
    } else if (key == "bulk") {
        if (v == "off") {
            s.bulk.reset();
        } else if (v == "on") {
            s.bulk = formats::Bulk{};
        } else {
            std::vector<double> x = formats::parse_reals(v, "--bulk");
            if (x.size() != 2) throw Usage("--bulk needs Q1,Q2, on or off");
            if (!(x[0] >= 0) || !(x[1] >= 0))
                throw Usage("--bulk: the coefficients must not be negative");
            s.bulk = formats::Bulk{x[0], x[1]};
        }
    } else
        return false;
    return true;
}

// What the run writes: the deck file, "Comm", the title, the output and
// progress intervals, field output, the energy balance and result curves.
// False if `key` is none of them.
bool apply_output(Settings& s, const std::string& key, const std::string& v) {
    const std::string what = "--" + key;
    if (key == "output" || key == "o") {
        if (v.empty()) throw Usage("--output needs a file name");
        s.output = v;
    } else if (key == "comm")
        s.comm = true;
    else if (key == "title")
        s.title = v;
    else if (key == "outtime") {
        s.outtime = formats::parse_real(v, what);
        if (!(*s.outtime > 0)) throw Usage("--outtime must be positive");
    } else if (key == "report") {
        s.report = formats::parse_int(v, what);
        if (*s.report < 1) throw Usage("--report must be at least 1");
    } else if (key == "fields") {
        s.fields = v != "off";
        if (s.fields) {
            s.fieldtime = formats::parse_real(v, what);
            if (*s.fieldtime < 0) throw Usage("--fields must not be negative");
        }
    } else if (key == "energy") {
        if (v != "on" && v != "off") throw Usage("--energy takes on or off");
        s.energy = v == "on";
    } else if (key == "curve") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.empty() || w.size() > 2) throw Usage("--curve needs NAME[,ELEMENT]");
        const int opt = formats::curve_option(w[0]);
        if (opt < 0)
            throw Usage("--curve: unknown variable \"" + w[0] + "\" (" + curvevariables::names() +
                        ")");
        const int el = w.size() == 2 ? formats::parse_int(w[1], "--curve element") : 0;
        if (w.size() == 2 && el < 1) throw Usage("--curve element must be at least 1");
        if (s.curves.size() >= 10) throw Usage("at most 10 curves");
        s.curves.push_back({opt, el});
    } else
        return false;
    return true;
}

// An option given again for the same name replaces what it gave before (the
// last one wins, as for every other option): the entry moves to the end.
template <class T>
void replace_named(std::vector<std::pair<std::string, T>>& list, const std::string& name,
                   const T& value) {
    std::erase_if(list, [&name](const auto& entry) { return entry.first == name; });
    list.emplace_back(name, value);
}

// The model on the mesh: materials and equations of state (of every part or
// of one named volume), held nodes, initial velocities, loads with their time
// table, and the rigid plane. False if `key` is none of them.
bool apply_model(Settings& s, const std::string& key, const std::string& v) {
    if (key == "material") {
        const auto [name, text] = named_value(key, v);
        const formats::Material m = parse_material(text);
        if (name.empty())
            s.material = m;
        else
            replace_named(s.part_materials, name, m);
    } else if (key == "seos") {
        const auto [name, text] = named_value(key, v);
        std::vector<double> x = formats::parse_reals(text, "--seos");
        if (x.size() != 3) throw Usage("--seos needs C0 S GAMMA0");
        if (!(x[0] > 0)) throw Usage("--seos: the bulk sound speed must be positive");
        const formats::Seos e{1, 1, x[0], x[1], x[2]};
        if (name.empty())
            s.seos = e;
        else
            replace_named(s.part_seos, name, e);
    } else if (key == "fix") {
        const auto [target, w] = target_and_values(v, 1);
        if (target.empty() || w.size() != 1) throw Usage("--fix needs TARGET,AXES (e.g. xmin,x)");
        std::array<int, 3> axes{};
        for (char c : w[0]) {
            if (c < 'x' || c > 'z')
                throw Usage("--fix: axes are any of x, y, z, not \"" + w[0] + "\"");
            axes[static_cast<size_t>(c - 'x')] = 1;
        }
        replace_named(s.fixes, target, axes);
    } else if (key == "prescribe") {
        s.prescribed.push_back(prescribed(v));
    } else if (key == "rigid-body") {
        const std::size_t words = formats::split_list(v).size();
        const bool still = words == 1;
        const auto [target, w] =
            still ? std::pair(formats::split_list(v)[0], std::vector<std::string>{})
                  : target_and_values(v, words >= 11 ? 10 : 6);
        if (target.empty() || (w.size() != 0 && w.size() != 6 && w.size() != 10))
            throw Usage(
                "--rigid-body needs NAME, NAME,VX,VY,VZ,WX,WY,WZ or "
                "NAME,VX,VY,VZ,WX,WY,WZ,HX,HY,HZ,HR");
        std::array<double, 10> motion{};
        for (std::size_t i = 0; i < w.size(); ++i) {
            motion[i] = formats::parse_real(w[i], "--rigid-body");
            if (i >= 6 && motion[i] != 0.0 && motion[i] != 1.0)
                throw Usage("--rigid-body: a hold is 0 (free) or 1 (held), not \"" + w[i] + "\"");
        }
        replace_named(s.bodies, target, motion);
    } else if (key == "wall") {
        s.walls.push_back(wall_option(v));
    } else if (key == "reaction") {
        const std::vector<std::string> w = formats::split_list(v);
        if (w.size() != 1) throw Usage("--reaction needs one TARGET");
        s.reactions.push_back(w[0]);
    } else if (key == "velocity") {
        s.velocities.push_back(vector_record(key, v));
    } else if (key == "load") {
        s.loads.push_back(vector_record(key, v));
    } else if (key == "time") {
        std::vector<double> x = formats::parse_reals(v, "--time");
        if (x.empty() || x.size() % 2 != 0) throw Usage("--time needs pairs T,F");
        std::vector<formats::TimePoint> t;
        for (size_t i = 0; i < x.size(); i += 2) {
            if (!t.empty() && x[i] < t.back().time)
                throw Usage("--time: the times must not decrease");
            t.push_back({x[i], x[i + 1]});
        }
        s.timetable = t;
    } else if (key == "rigid") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.size() != 2) throw Usage("--rigid needs DIR,COORD");
        formats::RigidPlane r;
        r.dir = formats::parse_int(w[0], "--rigid direction");
        r.coord = formats::parse_real(w[1], "--rigid coordinate");
        if (r.dir == 0 || r.dir < -3 || r.dir > 3)
            throw Usage("--rigid direction must be one of -3..-1, 1..3");
        s.rigid = r;
    } else
        return false;
    return true;
}

// Applies one option `--key=v`, from the command line or an options file.
void apply(Settings& s, const std::string& key, const std::string& v) {
    if (apply_geometry(s, key, v) || apply_control(s, key, v) || apply_output(s, key, v) ||
        apply_model(s, key, v))
        return;
    if (key != "options") throw Usage("unknown option --" + key);
    if (s.options_depth > 8) throw Usage("--options files nest too deeply");
    ++s.options_depth;
    read_options_file(v, s);
    --s.options_depth;
}

void read_options_file(const std::string& path, Settings& s) {
    std::ifstream in(path);
    if (!in) throw formats::Error("cannot open options file \"" + path + "\"");
    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos || line[b] == '#') continue;
        const size_t e = line.find_first_of(" \t", b);
        std::string key = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
        std::string value;
        if (e != std::string::npos) {
            const size_t vb = line.find_first_not_of(" \t", e);
            if (vb != std::string::npos) {
                value = line.substr(vb);
                value.erase(value.find_last_not_of(" \t") + 1);
            }
        }
        while (!key.empty() && key[0] == '-') key.erase(0, 1);
        try {
            if (takes_value(key) && value.empty()) throw Usage("--" + key + " needs a value");
            if (key == "help") throw Usage("help is not an option of an options file");
            apply(s, key, value);
        } catch (const Usage& u) {
            throw Usage(path + ":" + std::to_string(lineno) + ": " + u.what());
        }
    }
    if (in.bad()) throw formats::Error("cannot read options file \"" + path + "\"");
}

// The component a --load, --velocity or --fix names: a face or group name,
// else a number.
int component(const std::string& key, const std::string& target,
              const std::vector<std::pair<std::string, int>>& names, int ncomponents) {
    int found = 0;
    for (const auto& [name, comp] : names) {
        if (name != target || comp == found) continue;
        if (found)
            throw Usage("--" + key + ": \"" + target + "\" names two components, " +
                        std::to_string(found) + " and " + std::to_string(comp) +
                        " (physical groups of different dimensions share the name): give the "
                        "component number, or name the groups apart in Gmsh");
        found = comp;
    }
    if (found) return found;
    if (target.find_first_not_of("0123456789") != std::string::npos || target.size() > 9) {
        std::string known;
        for (const auto& nc : names) known += (known.empty() ? "" : ", ") + nc.first;
        throw Usage("--" + key + ": no face or group named \"" + target + "\" (names: " + known +
                    ")");
    }
    const int c = std::stoi(target);
    if (c < 1 || c > ncomponents)
        throw Usage("--" + key + ": component " + std::to_string(c) +
                    " does not exist (the mesh has " + std::to_string(ncomponents) + ")");
    return c;
}

// The material (and equation of state) of every material set: that given for
// its physical volume by name, else the one for every part.
void assign_materials(const Settings& s, const std::vector<mesh::Group>& parts, formats::Deck& d) {
    auto named = [&](const auto& list, const char* key) {
        for (const auto& entry : list) {
            const std::string& name = entry.first;
            if (std::none_of(parts.begin(), parts.end(),
                             [&](const mesh::Group& g) { return g.name == name; })) {
                std::string known;
                for (const mesh::Group& g : parts)
                    if (!g.name.empty()) known += (known.empty() ? "" : ", ") + g.name;
                throw Usage(std::string("--") + key + ": no physical volume named \"" + name +
                            "\"" + (known.empty() ? "" : " (volumes: " + known + ")"));
            }
        }
    };
    named(s.part_materials, "material");
    named(s.part_seos, "seos");
    d.materials.clear();
    d.seos.clear();
    for (const mesh::Group& g : parts) {
        const int set = static_cast<int>(d.materials.size()) + 1;
        auto find = [&](const auto& list) {
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const auto& p) { return p.first == g.name; });
            return it == list.end() || g.name.empty() ? nullptr : &it->second;
        };
        if (const formats::Material* m = find(s.part_materials))
            d.materials.push_back(*m);
        else if (s.material)
            d.materials.push_back(*s.material);
        else
            throw Usage("missing --material for physical volume " + std::to_string(g.tag) + " \"" +
                        g.name + "\" (material set " + std::to_string(set) + ")");
        const formats::Seos* e = find(s.part_seos);
        if (!e && s.seos) e = &*s.seos;
        if (e) {
            d.seos.push_back(*e);
            d.seos.back().set = set;
        }
    }
}

// Writes the deck (and a one-process "Comm" beside it), after the unit check.
void write(const formats::Deck& d, const std::string& output, bool comm) {
    const std::string units = mesh::unit_warning(d);
    if (!units.empty()) std::fprintf(stderr, "hexdyn-mesh: warning: %s\n", units.c_str());
    formats::write_deck(d, output);
    if (comm) {
        std::filesystem::path p = std::filesystem::path(output).parent_path() / "Comm";
        formats::write_text_file(p.string(),
                                 commnodes::commtext(0, {{}}));  // one process, no shared node
    }
    std::printf("wrote %s: %d nodes, %d elements, %d material set%s, %d components\n",
                output.c_str(), d.nnodes(), d.nelements(), static_cast<int>(d.materials.size()),
                d.materials.size() == 1 ? "" : "s", d.ncomponents());
}

void require(const Settings& s, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (!s.given.count(k)) throw Usage(std::string("missing --") + k);
}

// hexdyn-mesh merge DECK1 DECK2 ... [--offset K=DX,DY,DZ]... [-o OUT] [--contact on|off] [--comm]
int run_merge(int argc, char** argv) {
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::array<double, 3>>> moves;  // deck number as given
    std::string output = "a";
    bool contact = true, comm = false;
    for (int i = 2; i < argc; ++i) {
        formats::Arg a = formats::split_arg(argv[i]);
        auto value = [&] {
            if (!formats::take_value(a, i, argc, argv) || a.value.empty())
                throw Usage(a.key + " needs a value");
            return a.value;
        };
        if (a.key == "-o" || a.key == "--output") {
            output = value();
        } else if (a.key == "--offset") {
            const std::string v = value();
            const auto [deck, x] = target_and_values(v, 3);
            if (deck.empty() || x.size() != 3)
                throw Usage("--offset needs K=DX,DY,DZ, got \"" + v + "\"");
            std::array<double, 3> d{};
            for (size_t k = 0; k < 3; ++k) d[k] = formats::parse_real(x[k], "--offset");
            moves.emplace_back(deck, d);
        } else if (a.key == "--contact") {
            contact = switch_value("contact", value());
        } else if (a.key == "--comm") {
            comm = true;
        } else if (a.key.size() > 1 && a.key[0] == '-') {
            throw Usage("unknown option " + a.key + " of merge");
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() < 2) throw Usage("merge needs at least two decks");
    const int n = static_cast<int>(files.size());
    std::vector<std::array<double, 3>> offsets(files.size(), {0.0, 0.0, 0.0});
    for (const auto& [deck, d] : moves) {
        const int k = formats::parse_int(deck, "--offset deck number");
        if (k < 1 || k > n)
            throw Usage("--offset: deck " + std::to_string(k) + " outside 1.." + std::to_string(n));
        offsets[static_cast<size_t>(k - 1)] = d;
    }
    std::error_code ec;
    std::vector<formats::Deck> decks;
    for (const std::string& f : files) {
        if (std::filesystem::exists(output) && std::filesystem::equivalent(output, f, ec))
            throw formats::Error("the joined deck would overwrite the input deck " + f +
                                 "; choose another -o");
        decks.push_back(formats::read_deck(f));
    }
    mesh::Joined j = mesh::join_decks(decks, files, offsets, contact);
    for (const std::string& note : j.notes)
        std::fprintf(stderr, "hexdyn-mesh: warning: %s\n", note.c_str());
    for (size_t k = 0; k < j.bodies.size(); ++k) {
        const mesh::Body& b = j.bodies[k];
        std::printf(
            "body %d (%s): nodes %d..%d, elements %d..%d, material sets %d..%d, components "
            "%d..%d\n",
            static_cast<int>(k) + 1, files[k].c_str(), b.first_node, b.last_node, b.first_element,
            b.last_element, b.first_set, b.last_set, b.first_component, b.last_component);
    }
    write(j.deck, output, comm);
    return 0;
}

// The settings of "hexdyn-mesh KIND [FILE.msh] OPTIONS...": each option is
// "--key value", "--key=value" or "-o FILE"; --comm and --help take no value.
Settings read_command_line(int argc, char** argv) {
    Settings s;
    s.kind = argv[1];
    int i = 2;
    if (s.kind == "gmsh") {
        if (argc < 3 || argv[2][0] == '-')
            throw Usage("gmsh needs the mesh file: hexdyn-mesh gmsh FILE.msh");
        s.mshfile = argv[2];
        i = 3;
    } else if (s.kind != "box" && s.kind != "cylinder" && s.kind != "tube") {
        throw Usage("unknown mesh kind \"" + s.kind + "\" (box, cylinder, tube, gmsh or merge)");
    }
    for (; i < argc; ++i) {
        std::string a = argv[i];
        std::string key;
        if (a == "-o")
            key = "output";
        else if (a.size() > 2 && a.compare(0, 2, "--") == 0)
            key = a.substr(2);
        else
            throw Usage("unexpected argument \"" + a + "\"");
        std::string value;
        const size_t eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key.resize(eq);
        } else if (takes_value(key)) {
            if (i + 1 >= argc) throw Usage(a + " needs a value");
            value = argv[++i];
        }
        apply(s, key, value);
    }
    return s;
}

// What the options may call the mesh's parts and components.
struct MeshNames {
    std::vector<std::pair<std::string, int>> components{{"all", 1}};  // name, component
    std::vector<mesh::Group>
        parts;  // physical volume of each material set (box, cylinder, tube: one)
};

// Reads the Gmsh file into `d`, scales it, prints its components and material
// sets, and names them after the physical groups.
void import_gmsh(const Settings& s, formats::Deck& d, MeshNames& m) {
    const mesh::ImportReport rep = mesh::import_file(s.mshfile, d);
    m.parts.clear();
    if (s.scale)
        for (auto& x : d.nodes)
            for (double& c : x) c *= *s.scale;
    std::printf("%s: Gmsh format %s, %d hexahedra, %d nodes", s.mshfile.c_str(),
                rep.version.c_str(), rep.hexahedra, d.nnodes());
    if (rep.flipped) std::printf(", %d mirrored hexahedra turned over", rep.flipped);
    if (rep.dropped_nodes) std::printf(", %d nodes of no hexahedron dropped", rep.dropped_nodes);
    std::printf("\ncomponent 1: all nodes, %d nodes\n", d.nnodes());
    static const char* const dims[4] = {"point", "curve", "surface", "volume"};
    for (const mesh::Group& g : rep.groups)
        std::printf("component %d: %s group %d \"%s\", %d nodes\n", g.component, dims[g.dim & 3],
                    g.tag, g.name.c_str(), g.nodes);
    for (const mesh::Group& g : rep.groups) {
        if (!g.name.empty()) m.components.emplace_back(g.name, g.component);
        if (g.material == 0) continue;
        std::printf("material set %d: volume %d \"%s\", %d hexahedra\n", g.material, g.tag,
                    g.name.c_str(), g.elements);
        m.parts.push_back(g);
    }
}

// The nodes, elements and components of the box, cylinder or Gmsh mesh, and
// the names of its faces or groups.
MeshNames build_mesh(const Settings& s, formats::Deck& d) {
    MeshNames m;
    m.parts.resize(1);
    if (s.kind == "box") {
        m.components.insert(
            m.components.end(),
            {{"zmin", 2}, {"zmax", 3}, {"xmin", 4}, {"xmax", 5}, {"ymin", 6}, {"ymax", 7}});
        require(s, {"nx", "ny", "nz", "lx", "ly", "lz"});
        mesh::make_box(s.box, d);
    } else if (s.kind == "cylinder") {
        require(s, {"radius", "length", "ncore", "nlayers", "nalong"});
        mesh::make_cylinder(s.cyl, d);
        m.components.insert(m.components.end(), {{"bottom", 2}, {"top", 3}, {"lateral", 4}});
    } else if (s.kind == "tube") {
        require(s, {"side", "thickness", "length", "nwall", "nside", "nalong"});
        mesh::make_tube(s.tube, d);
        m.components.insert(m.components.end(),
                            {{"bottom", 2}, {"top", 3}, {"outer", 4}, {"inner", 5}});
    } else {
        import_gmsh(s, d, m);
    }
    return m;
}

// The title without --title: the mesh kind with its divisions, or the file name.
std::string default_title(const Settings& s) {
    if (s.kind == "box")
        return "box " + std::to_string(s.box.nx) + "x" + std::to_string(s.box.ny) + "x" +
               std::to_string(s.box.nz);
    if (s.kind == "cylinder")
        return "cylinder " + std::to_string(s.cyl.ncore) + "/" + std::to_string(s.cyl.nlayers) +
               "/" + std::to_string(s.cyl.nalong);
    if (s.kind == "tube")
        return "tube " + std::to_string(s.tube.nwall) + "/" + std::to_string(s.tube.nside) + "/" +
               std::to_string(s.tube.nalong);
    return "gmsh " + std::filesystem::path(s.mshfile).filename().string();
}

// The title, run control and output switches of the deck, after checking that
// the end time and a material are given.
void set_control(const Settings& s, formats::Deck& d) {
    if (!s.endtime) throw Usage("missing --endtime");
    if (!s.material && s.part_materials.empty()) throw Usage("missing --material");
    if (s.title)
        d.title = s.title;
    else
        d.title = default_title(s);
    d.endtime = *s.endtime;
    d.outtime = s.outtime ? *s.outtime : (*s.endtime > 0 ? *s.endtime / 10 : 1.0);
    d.report = s.report ? *s.report : 100;
    d.dtscale = s.dtscale;
    d.hourglass = s.hourglass;
    d.checkpoint = s.checkpoint;
    d.jaumann = s.jaumann;
    d.midstep = s.midstep;
    d.stable = s.stable;
    d.vonmises = s.vonmises;
    d.consistent = s.consistent;
    d.corrected = s.corrected;
    d.solvermath = s.solvermath;
    d.rigid = s.rigid;
    if (s.fields) d.fieldtime = s.fieldtime ? *s.fieldtime : *d.outtime;
    if (s.energy) d.energy = true;
}

// Materials, loads, initial velocities, bulk viscosity, contact, held nodes
// and the load time table (factor 1 over the run when loads come without one).
void set_model(const Settings& s, const MeshNames& m, formats::Deck& d) {
    assign_materials(s, m.parts, d);
    for (const auto& [key, from, to] : {std::tuple("load", &s.loads, &d.loads),
                                        std::tuple("velocity", &s.velocities, &d.velocities)})
        for (const Targeted& r : *from)
            to->push_back({true, component(key, r.target, m.components, d.ncomponents()), r.v});
    d.bulk = s.bulk;
    if (s.contact.value_or(false)) d.contact = formats::Contact{};
    for (const auto& [target, axes] : s.fixes)
        d.fixities.push_back({component("fix", target, m.components, d.ncomponents()), axes});
    // Each driven target follows a function of its own, numbered from 2.
    const double t1 = *s.endtime > 0 ? *s.endtime : 1.0;
    for (const Settings::Prescribed& p : s.prescribed) {
        formats::Function f;
        f.func = static_cast<int>(d.functions.size()) + 2;
        f.points = p.table;
        if (f.points.empty())
            f.points = p.drive.disp ? std::vector<formats::TimePoint>{{0.0, 0.0}, {2.0 * t1, 2.0}}
                                    : std::vector<formats::TimePoint>{{0.0, 1.0}, {2.0 * t1, 1.0}};
        if (!(f.points.back().time > *s.endtime))
            throw Usage("--prescribe: the last time must lie beyond the end time");
        formats::Drive r = p.drive;
        r.comp = component("prescribe", p.target, m.components, d.ncomponents());
        r.func = f.func;
        d.functions.push_back(std::move(f));
        d.drives.push_back(r);
    }
    for (const auto& [name, motion] : s.bodies) {
        int set = 0;
        std::string known;
        for (std::size_t i = 0; i < m.parts.size(); ++i) {
            const std::string& part = m.parts.size() == 1 && m.parts[i].name.empty()
                                          ? std::string("all")
                                          : m.parts[i].name;
            if (part == name) set = static_cast<int>(i) + 1;
            if (!part.empty()) known += (known.empty() ? "" : ", ") + part;
        }
        if (set == 0)
            throw Usage("--rigid-body: no physical volume named \"" + name + "\"" +
                        (known.empty() ? "" : " (volumes: " + known + ")"));
        formats::Body b;
        b.set = set;
        for (std::size_t i = 0; i < 3; ++i) {
            b.v[i] = motion[i];
            b.w[i] = motion[3 + i];
        }
        for (std::size_t i = 0; i < 4; ++i) b.hold[i] = motion[6 + i] != 0.0 ? 1 : 0;
        d.bodies.push_back(b);
    }
    for (const std::string& target : s.reactions) {
        const int c = component("reaction", target, m.components, d.ncomponents());
        d.reactions.push_back({c, c});
    }
    // The walls in the order given, each checked as the solver checks the
    // deck's records (the same messages, "wall N: ...").
    for (const auto& [given, target] : s.walls) {
        formats::Wall w = given;
        if (!target.empty()) w.comp = component("wall", target, m.components, d.ncomponents());
        if (!d.walls) d.walls.emplace();
        d.walls->push_back(w);
        const std::string fault =
            grammar::wallfault(w, static_cast<int>(d.walls->size()), d.ncomponents(), [](double x) {
                char text[32];
                std::snprintf(text, sizeof text, "%.9g", x);
                return std::string(text);
            });
        if (!fault.empty()) throw Usage("--" + fault);
    }
    if (s.timetable) {
        if (!(s.timetable->back().time > *s.endtime))
            throw Usage(
                "--time: the last time must lie beyond the end time (the run stops when the time "
                "reaches the last point)");
        d.timetable = s.timetable;
    } else if (!s.loads.empty()) {
        const double t1 = *s.endtime > 0 ? 2.0 * *s.endtime : 1.0;
        d.timetable = std::vector<formats::TimePoint>{{0.0, 1.0}, {t1, 1.0}};
    }
}

// The result curves; one at an element or node (1 unless given) needs it to
// exist.
void set_curves(const Settings& s, formats::Deck& d) {
    for (const auto& [opt, el] : s.curves) {
        const int e = el == 0 ? 1 : el;
        const bool atnode = formats::curve_at_node(opt);
        const int nb = atnode ? d.nnodes() : d.nelements();
        if ((atnode || formats::curve_at_element(opt)) && e > nb)
            throw Usage("--curve " + std::string(formats::curve_name(opt)) + ": " +
                        (atnode ? "node " : "element ") + std::to_string(e) +
                        " does not exist (the mesh has " + std::to_string(nb) + ")");
        d.curves.push_back({opt, e});
    }
}

// Every element must face the right way for the solver: a positive volume,
// and no corner folded over or collapsed.
void check_elements(const formats::Deck& d) {
    for (int e = 1; e <= d.nelements(); ++e) {
        if (!(mesh::signed_volume(d, e) > 0.0))
            throw formats::Error("element " + std::to_string(e) + " has a non-positive Jacobian");
        const mesh::Fold f = mesh::fold(d, e);
        if (f.corner)
            throw formats::Error("element " + std::to_string(e) +
                                 " is folded or degenerate at corner " + std::to_string(f.corner) +
                                 " (corner Jacobian " + mesh::jacobian_text(f.det) + ")");
    }
}

int run(int argc, char** argv) {
    if (argc < 2) throw Usage("no mesh kind given (box, cylinder, tube or gmsh)");
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (formats::asks_help(a, kHelpText.c_str())) return 0;
    }
    if (std::string(argv[1]) == "merge") return run_merge(argc, argv);
    const Settings s = read_command_line(argc, argv);
    formats::Deck d;
    const MeshNames names = build_mesh(s, d);
    set_control(s, d);
    set_model(s, names, d);
    set_curves(s, d);
    check_elements(d);
    if (!s.contact) {
        std::vector<std::string> set_names;
        for (const mesh::Group& g : names.parts) set_names.push_back(g.name);
        const std::string apart = mesh::contact_warning(d, "--contact", set_names);
        if (!apart.empty()) std::fprintf(stderr, "hexdyn-mesh: warning: %s\n", apart.c_str());
    }
    write(d, s.output, s.comm);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return formats::guarded_main("hexdyn-mesh", run, argc, argv); }
