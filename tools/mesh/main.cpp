// hexdyn-mesh: writes a complete one-process input deck for a box, a solid
// cylinder or a Gmsh hexahedral mesh.
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "formats/cli.hpp"
#include "formats/deck.hpp"
#include "material/catalog.hpp"
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
       hexdyn-mesh gmsh     FILE.msh [options]

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
  gmsh       a Gmsh ASCII mesh (format 4.1 or 2.2) of 8-node hexahedra. Points,
             lines, triangles and quadrangles only carry physical groups; other
             volume elements are rejected. Every physical group becomes a
             component, numbered 1, 2, ... in increasing order of the group
             tag (equal tags: lower dimension first); the list is printed.
             Nodes are renumbered 1..N in Gmsh tag order (nodes of no
             hexahedron are dropped); mirrored hexahedra are turned over.
  All elements get material set 1.

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
  --fields T|off           time between the solver's field output (compressed
                           VTK files in field/ and field.pvd; default: the
                           output interval); "off" writes no field output
  --energy on|off          the solver's global energy balance energy.dat
                           (default on)
  --material "MODEL C..."  material set 1 (required), one of
)" + catalog::constantlines(29) +
    R"(  --seos "C0 S GAMMA0"     Mie-Gruneisen equation of state for material 1
  --velocity C,VX,VY,VZ    initial velocity of the nodes of component C
  --load C,FX,FY,FZ        force on every node of component C
                           (both repeatable; applied in order, the last wins)
  --rigid DIR,COORD        rigid plane normal to axis |DIR| (1 x, 2 y, 3 z) at
                           COORD; the sign of DIR picks the side it holds back
  --bulk Q1,Q2|on|off      artificial bulk viscosity, linear and quadratic
                           coefficients (default on, with 0.06,1.5); "off"
                           writes none
  --fix TARGET,AXES        hold the nodes of TARGET along AXES (any of x, y,
                           z, e.g. "xy"): velocity and acceleration zero.
                           TARGET is a component number, a face of the box
                           (xmin, xmax, ymin, ymax, zmin, zmax), of the
                           cylinder (bottom, top, lateral), "all", or the
                           name of a Gmsh physical group (repeatable)
  --time T0,F0,T1,F1,...   load factor table; its last time must lie beyond
                           the end time. Default with loads: factor 1 over the run.
  --curve NAME[,N]         result curve (repeatable, at most 10): a curve
                           variable (listed below) at element or node N
                           (default 1), or an energy of the process
  --options FILE           read further options from FILE: one "key value" per
                           line (key without the leading dashes, value not
                           quoted), blank lines and lines starting with # ignored
  -h, --help               this text
)");
// The help text closed by the paragraphs of the material words and of the
// curve variables.
const std::string kHelpText = std::string(kHelp) + catalog::rateshelp() + curvevariables::help();

struct Settings {
    std::string kind;  // box, cylinder, gmsh
    std::string mshfile;
    mesh::BoxParams box;
    mesh::CylinderParams cyl;
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
    std::optional<formats::RigidPlane> rigid;
    std::optional<std::vector<formats::TimePoint>> timetable;
    bool fields = true, energy = true;
    std::optional<double> fieldtime;
    std::optional<formats::Material> material;
    std::optional<formats::Seos> seos;
    std::optional<formats::Bulk> bulk = formats::Bulk{};
    std::vector<std::pair<std::string, std::array<int, 3>>> fixes;  // target, axes
    std::vector<formats::VectorRecord> loads, velocities;
    std::vector<std::pair<int, int>> curves;  // option, element (0: not given)
    int options_depth = 0;
};

bool takes_value(const std::string& key) { return key != "comm" && key != "help"; }

formats::VectorRecord vector_record(const std::string& key, const std::string& v) {
    std::vector<double> x = formats::parse_reals(v, "--" + key);
    if (x.size() != 4) throw Usage("--" + key + " needs C,X,Y,Z (4 values), got \"" + v + "\"");
    if (x[0] != std::floor(x[0]) || x[0] < 1 || x[0] > 1e9)
        throw Usage("--" + key + ": component \"" + formats::split_list(v)[0] +
                    "\" is not a positive integer");
    formats::VectorRecord r;
    r.comp = true;
    r.id = static_cast<int>(x[0]);
    r.v = {x[1], x[2], x[3]};
    return r;
}

void read_options_file(const std::string& path, Settings& s);

void apply(Settings& s, const std::string& key, const std::string& v) {
    auto real = [&](const char* what) { return formats::parse_real(v, std::string("--") + what); };
    auto integer = [&](const char* what) {
        return formats::parse_int(v, std::string("--") + what);
    };
    const bool geometry_box = key == "nx" || key == "ny" || key == "nz" || key == "lx" ||
                              key == "ly" || key == "lz" || key == "origin";
    const bool geometry_cyl =
        key == "radius" || key == "length" || key == "ncore" || key == "nlayers" || key == "nalong";
    if (geometry_box && s.kind != "box") throw Usage("--" + key + " applies to box meshes only");
    if (geometry_cyl && s.kind != "cylinder")
        throw Usage("--" + key + " applies to cylinder meshes only");
    if (geometry_box || geometry_cyl) s.given[key] = true;

    if (key == "nx")
        s.box.nx = integer("nx");
    else if (key == "ny")
        s.box.ny = integer("ny");
    else if (key == "nz")
        s.box.nz = integer("nz");
    else if (key == "lx")
        s.box.lx = real("lx");
    else if (key == "ly")
        s.box.ly = real("ly");
    else if (key == "lz")
        s.box.lz = real("lz");
    else if (key == "origin") {
        std::vector<double> o = formats::parse_reals(v, "--origin");
        if (o.size() != 3) throw Usage("--origin needs X,Y,Z");
        s.box.origin = {o[0], o[1], o[2]};
    } else if (key == "radius")
        s.cyl.radius = real("radius");
    else if (key == "length")
        s.cyl.length = real("length");
    else if (key == "ncore")
        s.cyl.ncore = integer("ncore");
    else if (key == "nlayers")
        s.cyl.nlayers = integer("nlayers");
    else if (key == "nalong")
        s.cyl.nalong = integer("nalong");
    else if (key == "output" || key == "o") {
        if (v.empty()) throw Usage("--output needs a file name");
        s.output = v;
    } else if (key == "comm")
        s.comm = true;
    else if (key == "title")
        s.title = v;
    else if (key == "endtime") {
        s.endtime = real("endtime");
        if (*s.endtime < 0) throw Usage("--endtime must not be negative");
    } else if (key == "outtime") {
        s.outtime = real("outtime");
        if (!(*s.outtime > 0)) throw Usage("--outtime must be positive");
    } else if (key == "report") {
        s.report = integer("report");
        if (*s.report < 1) throw Usage("--report must be at least 1");
    } else if (key == "dtscale") {
        s.dtscale = real("dtscale");
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
            s.checkpoint = integer("checkpoint");
            if (*s.checkpoint < 1) throw Usage("--checkpoint must be at least 1 step, or off");
        }
    } else if (key == "jaumann" || key == "midg" || key == "stable") {
        if (v != "on" && v != "off") throw Usage("--" + key + " takes on or off");
        std::optional<bool>& sw = key == "jaumann" ? s.jaumann
                                  : key == "midg"  ? s.midstep
                                                   : s.stable;
        sw = v == "on";
    } else if (key == "fields") {
        s.fields = v != "off";
        if (s.fields) {
            s.fieldtime = real("fields");
            if (*s.fieldtime < 0) throw Usage("--fields must not be negative");
        }
    } else if (key == "energy") {
        if (v != "on" && v != "off") throw Usage("--energy takes on or off");
        s.energy = v == "on";
    } else if (key == "material") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.empty()) throw Usage("--material needs a model and its constants");
        const catalog::model* row = formats::material_model(w[0]);
        if (!row)
            throw Usage("--material: unknown model \"" + w[0] + "\" (" + catalog::wordlist(", ") +
                        ")");
        const int n = static_cast<int>(row->constants.size());
        formats::Material m;
        m.model = row->word;
        if (static_cast<int>(w.size()) - 1 != n)
            throw Usage("--material " + m.model + " needs " + std::to_string(n) +
                        " constants, got " + std::to_string(w.size() - 1));
        for (size_t i = 1; i < w.size(); ++i)
            m.reals.push_back(formats::parse_real(w[i], "--material"));
        if (!(m.reals[0] > 0)) throw Usage("--material: the density must be positive");
        if (!(m.reals[1] > 0)) throw Usage("--material: Young's modulus must be positive");
        if (!(m.reals[2] > -1.0 && m.reals[2] < 0.5))
            throw Usage("--material: Poisson's ratio must lie in (-1, 0.5)");
        if (n > 3 && !(m.reals[3] > 0))
            throw Usage("--material: the yield stress must be positive");
        for (size_t i = 0; i < m.reals.size(); ++i) {
            const catalog::constant& c = row->constants[i];
            if (!catalog::valid(c, m.reals[i]))
                throw Usage(std::string("--material: ") + c.what + " must be " + c.rule);
        }
        s.material = m;
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
    } else if (key == "fix") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.size() != 2 || w[0].empty() || w[1].empty())
            throw Usage("--fix needs TARGET,AXES (e.g. xmin,x)");
        std::array<int, 3> axes{};
        for (char c : w[1]) {
            if (c < 'x' || c > 'z')
                throw Usage("--fix: axes are any of x, y, z, not \"" + w[1] + "\"");
            axes[static_cast<size_t>(c - 'x')] = 1;
        }
        s.fixes.emplace_back(w[0], axes);
    } else if (key == "seos") {
        std::vector<double> x = formats::parse_reals(v, "--seos");
        if (x.size() != 3) throw Usage("--seos needs C0 S GAMMA0");
        if (!(x[0] > 0)) throw Usage("--seos: the bulk sound speed must be positive");
        s.seos = formats::Seos{1, 1, x[0], x[1], x[2]};
    } else if (key == "velocity") {
        s.velocities.push_back(vector_record(key, v));
    } else if (key == "load") {
        s.loads.push_back(vector_record(key, v));
    } else if (key == "rigid") {
        std::vector<std::string> w = formats::split_list(v);
        if (w.size() != 2) throw Usage("--rigid needs DIR,COORD");
        formats::RigidPlane r;
        r.dir = formats::parse_int(w[0], "--rigid direction");
        r.coord = formats::parse_real(w[1], "--rigid coordinate");
        if (r.dir == 0 || r.dir < -3 || r.dir > 3)
            throw Usage("--rigid direction must be one of -3..-1, 1..3");
        s.rigid = r;
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
    } else if (key == "options") {
        if (s.options_depth > 8) throw Usage("--options files nest too deeply");
        ++s.options_depth;
        read_options_file(v, s);
        --s.options_depth;
    } else {
        throw Usage("unknown option --" + key);
    }
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

void require(const Settings& s, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (!s.given.count(k)) throw Usage(std::string("missing --") + k);
}

int run(int argc, char** argv) {
    if (argc < 2) throw Usage("no mesh kind given (box, cylinder or gmsh)");
    const std::string first = argv[1];
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (formats::asks_help(a, kHelpText.c_str())) return 0;
    }
    Settings s;
    s.kind = first;
    int i = 2;
    if (s.kind == "gmsh") {
        if (argc < 3 || argv[2][0] == '-')
            throw Usage("gmsh needs the mesh file: hexdyn-mesh gmsh FILE.msh");
        s.mshfile = argv[2];
        i = 3;
    } else if (s.kind != "box" && s.kind != "cylinder") {
        throw Usage("unknown mesh kind \"" + s.kind + "\" (box, cylinder or gmsh)");
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

    formats::Deck d;
    std::vector<std::pair<std::string, int>> names = {{"all", 1}};
    if (s.kind == "box") {
        names.insert(
            names.end(),
            {{"zmin", 2}, {"zmax", 3}, {"xmin", 4}, {"xmax", 5}, {"ymin", 6}, {"ymax", 7}});
        require(s, {"nx", "ny", "nz", "lx", "ly", "lz"});
        mesh::make_box(s.box, d);
    } else if (s.kind == "cylinder") {
        require(s, {"radius", "length", "ncore", "nlayers", "nalong"});
        mesh::make_cylinder(s.cyl, d);
        names.insert(names.end(), {{"bottom", 2}, {"top", 3}, {"lateral", 4}});
    } else {
        names.clear();
        const mesh::ImportReport rep = mesh::import_file(s.mshfile, d);
        std::printf("%s: Gmsh format %s, %d hexahedra, %d nodes", s.mshfile.c_str(),
                    rep.version.c_str(), rep.hexahedra, d.nnodes());
        if (rep.flipped) std::printf(", %d mirrored hexahedra turned over", rep.flipped);
        if (rep.dropped_nodes)
            std::printf(", %d nodes of no hexahedron dropped", rep.dropped_nodes);
        std::printf("\n");
        static const char* const dims[4] = {"point", "curve", "surface", "volume"};
        for (const mesh::Group& g : rep.groups)
            std::printf("component %d: %s group %d \"%s\", %d nodes\n", g.component,
                        dims[g.dim & 3], g.tag, g.name.c_str(), g.nodes);
        if (rep.groups.empty()) std::printf("no physical groups: no components\n");
        for (const mesh::Group& g : rep.groups)
            if (!g.name.empty()) names.emplace_back(g.name, g.component);
    }

    if (!s.endtime) throw Usage("missing --endtime");
    if (!s.material) throw Usage("missing --material");
    if (s.title) {
        d.title = s.title;
    } else if (s.kind == "box") {
        d.title = "box " + std::to_string(s.box.nx) + "x" + std::to_string(s.box.ny) + "x" +
                  std::to_string(s.box.nz);
    } else if (s.kind == "cylinder") {
        d.title = "cylinder " + std::to_string(s.cyl.ncore) + "/" + std::to_string(s.cyl.nlayers) +
                  "/" + std::to_string(s.cyl.nalong);
    } else {
        d.title = "gmsh " + std::filesystem::path(s.mshfile).filename().string();
    }
    d.endtime = *s.endtime;
    d.outtime = s.outtime ? *s.outtime : (*s.endtime > 0 ? *s.endtime / 10 : 1.0);
    d.report = s.report ? *s.report : 100;
    d.dtscale = s.dtscale;
    d.hourglass = s.hourglass;
    d.checkpoint = s.checkpoint;
    d.jaumann = s.jaumann;
    d.midstep = s.midstep;
    d.stable = s.stable;
    d.rigid = s.rigid;
    if (s.fields) d.fieldtime = s.fieldtime ? *s.fieldtime : *d.outtime;
    if (s.energy) d.energy = true;
    d.materials = {*s.material};
    if (s.seos) d.seos = {*s.seos};
    for (const auto& set : {&s.loads, &s.velocities})
        for (const formats::VectorRecord& r : *set)
            if (r.id > d.ncomponents())
                throw Usage((set == &s.loads ? "--load" : "--velocity") +
                            std::string(": component ") + std::to_string(r.id) +
                            " does not exist (the mesh has " + std::to_string(d.ncomponents()) +
                            ")");
    d.loads = s.loads;
    d.velocities = s.velocities;
    d.bulk = s.bulk;
    for (const auto& [target, axes] : s.fixes) {
        int c = 0;
        for (const auto& [name, comp] : names)
            if (name == target) {
                c = comp;
                break;
            }
        if (c == 0) {
            if (target.find_first_not_of("0123456789") != std::string::npos || target.size() > 9)
                throw Usage("--fix: no face or group named \"" + target + "\"");
            c = std::stoi(target);
        }
        if (c < 1 || c > d.ncomponents())
            throw Usage("--fix: component " + std::to_string(c) + " does not exist (the mesh has " +
                        std::to_string(d.ncomponents()) + ")");
        d.fixities.push_back({c, axes});
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
    // Every element must face the right way for the solver.
    for (int e = 1; e <= d.nelements(); ++e) {
        if (!(mesh::signed_volume(d, e) > 0.0))
            throw formats::Error("element " + std::to_string(e) + " has a non-positive Jacobian");
        const mesh::Fold f = mesh::fold(d, e);
        if (f.corner)
            throw formats::Error("element " + std::to_string(e) +
                                 " is folded or degenerate at corner " + std::to_string(f.corner) +
                                 " (corner Jacobian " + mesh::jacobian_text(f.det) + ")");
    }

    formats::write_deck(d, s.output);
    if (s.comm) {
        std::filesystem::path p = std::filesystem::path(s.output).parent_path() / "Comm";
        formats::write_text_file(p.string(),
                                 commnodes::commtext(0, {{}}));  // one process, no shared node
    }
    std::printf("wrote %s: %d nodes, %d elements, %d components\n", s.output.c_str(), d.nnodes(),
                d.nelements(), d.ncomponents());
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return formats::guarded_main("hexdyn-mesh", run, argc, argv); }
