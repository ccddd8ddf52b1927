#include "input/datain.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "element/cornerjacobians.hpp"
#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "failure/failtable.hpp"
#include "input/deckwords.hpp"
#include "input/ffi.hpp"
#include "input/grammar.hpp"
#include "input/resoption.hpp"
#include "input/vocabulary.hpp"
#include "material/catalog.hpp"
#include "material/constitution.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/curve.hpp"
#include "output/records.hpp"
#include "parallel/commnodes.hpp"
#include "rigid/rigid.hpp"
#include "walls/walls.hpp"

namespace datain {

namespace {

// What the deck has given so far, for the checks that keep every index
// inside its array.
std::vector<char> nodegiven;     // per node: coordinates given in "part"
std::vector<char> elementgiven;  // per element: record read in "elem"
std::vector<char> matdefined;    // per material set: record read in "mate"
bool seen_nbmp = false, seen_nbel = false, seen_nmat = false, seen_ncom = false, seen_time = false;
bool seen_cont = false, seen_glob = false, seen_fail = false, seen_wall = false;
// The records of the "fail" block, checked against the models of their sets
// once the whole deck is read.
std::vector<grammar::failurerecord> failurelist;
// The plastic formulation: "corr on" turns on every switch of it that the
// deck does not set itself, wherever the words stand.
std::optional<bool> corrected;
bool given_stab = false, given_midg = false, given_vmis = false, given_cons = false;

void correctedformulation() {
    if (!corrected.value_or(false)) return;
    if (!given_stab) simulation::stablestep = true;
    if (!given_midg) elementdata::midstep = true;
    if (!given_vmis) materialdata::vonmises = true;
    if (!given_cons) materialdata::consistent = true;
}

void say(const std::string& line) { errorstop::writeline(line); }

void once(bool& seen, const char* kw) {
    if (seen) inputerror(std::string("*** Error *** keyword \"") + kw + "\" given a second time");
    seen = true;
}

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// Deck line of each element record, for the checks made once the block is read.
std::vector<int> elementline;

// The first deck line that names each time function (loads, "move"), for the
// check that the deck gives it; the driven components as read, and the line
// of each, for the check against "fixd".
std::vector<std::pair<int, int>> functionuse;  // (function, line)
std::vector<grammar::driverecord> drivelist;
std::vector<int> driveline;
std::vector<grammar::fixityrecord> fixitylist;

void usefunction(int func) {
    for (const auto& [f, line] : functionuse)
        if (f == func) return;
    functionuse.emplace_back(func, ffi::line_nb);
}

// The time functions the loads and the driven components name are given, no
// direction of a node is driven twice or both held and driven; the deck
// coordinates of the nodes a displacement drives are kept.
void checkmotion() {
    for (const auto& [f, line] : functionuse) {
        const auto& fs = timefunctiondata::functions;
        const bool given =
            f == 1 ? seen_time
                   : static_cast<size_t>(f) <= fs.size() && !fs[static_cast<size_t>(f - 1)].empty();
        const std::string fault = grammar::functionfault(f, given);
        if (!fault.empty()) {
            errorstop::writeline(records::listed("input file error, line", line));
            errorstop::stop("*** Error *** " + fault);
        }
    }
    const size_t nn = count(particledata::nb_particle);
    const auto members = [nn](int c) {
        const size_t at = static_cast<size_t>(c - 1);
        const int* m = &elementdata::compmember[at * nn];
        return std::vector<int>(m, m + elementdata::complen[at]);
    };
    for (size_t k = 0; k < drivelist.size(); ++k) {
        const std::vector<grammar::driverecord> upto(drivelist.begin(),
                                                     drivelist.begin() + static_cast<long>(k) + 1);
        const std::string fault = grammar::drivefault(upto, fixitylist, members);
        if (!fault.empty()) {
            errorstop::writeline(records::listed("input file error, line", driveline[k]));
            errorstop::stop("*** Error *** " + fault);
        }
    }
    for (const drive& d : motiondata::drives)
        if (d.disp) motiondata::origin = particledata::pos;
}

}  // namespace

void resetinput() {
    std::vector<char>().swap(nodegiven);
    std::vector<char>().swap(elementgiven);
    std::vector<char>().swap(matdefined);
    std::vector<int>().swap(elementline);
    std::vector<std::pair<int, int>>().swap(functionuse);
    std::vector<grammar::driverecord>().swap(drivelist);
    std::vector<int>().swap(driveline);
    std::vector<grammar::fixityrecord>().swap(fixitylist);
    seen_nbmp = seen_nbel = seen_nmat = seen_ncom = seen_time = false;
    seen_cont = seen_glob = seen_fail = seen_wall = false;
    std::vector<grammar::failurerecord>().swap(failurelist);
    corrected.reset();
    given_stab = given_midg = given_vmis = given_cons = false;
    ffi::blocknote.clear();
}

void inputpara() {
    commnodes::readcomnode();
    ffi::openfile();
    // A size from the deck too large for memory ends the run with a message
    // naming the deck line, instead of an uncaught allocation failure.
    try {
        getdata();
    } catch (const std::bad_alloc&) {
        inputerror("*** Error *** not enough memory for the sizes given in the deck");
    } catch (const std::length_error&) {
        inputerror("*** Error *** not enough memory for the sizes given in the deck");
    }
    // Checks that need the whole deck.
    commnodes::checkcomnode();
    commnodes::matchneighbours();
    checkcurves();
    // A criterion that asks of its set's model what the model does not
    // offer (Johnson-Cook damage of another flow stress, a plastic strain
    // limit where no plastic strain is kept) could never act as given.
    for (const grammar::failurerecord& r : failurelist) {
        if (r.set < 1 || r.set > materialdata::nb_mat) continue;
        const material& m = materialdata::mat_list[static_cast<size_t>(r.set - 1)];
        const std::string fault =
            grammar::failuremodelfault(r, catalog::find(m.mtype), materialdata::consistent);
        if (!fault.empty()) {
            errorstop::writeline(records::listed("input file error, line", r.line));
            errorstop::stop("*** Error *** " + fault);
        }
    }
    checkmotion();
    // Contact between pieces of several processes pairs their copies of a
    // node by its number in the whole model.
    if (elementdata::contact.on && commnodes::nprocs > 1 && particledata::global.empty())
        errorstop::stop(
            "*** Error *** contact on several processes needs the numbers of the nodes and "
            "elements in the whole model (\"glob\", written by hexdyn-partition)");
    // The copies of a shared node must carry one global number and one place.
    commnodes::matchglobal();
    // Elements sized by "nbel" but never given (no "elem" block) would reach
    // the element pass with node and material number 0.
    for (size_t i = 0; i < elementgiven.size(); ++i) {
        if (!elementgiven[i])
            errorstop::stop("*** Error *** element " + std::to_string(i + 1) +
                            " was never given (elements 1.." +
                            std::to_string(elementdata::nb_element) + " must all be given)");
    }
    // The rigid bodies' masses and inertia from the lumped masses just formed.
    if (!rigiddata::bodies.empty()) rigid::prepare();
}

namespace {

// "nbmp": the node count and the node arrays.
void setnodecount() {
    once(seen_nbmp, "nbmp");
    const int n = in.count("node count", 5);
    particledata::nb_particle = n;
    say(records::listed("nb_particle = ", n));
    const size_t m = count(n);
    particledata::acc.assign(3 * m, 0.0);
    particledata::pos.assign(3 * m, 0.0);
    particledata::vel.assign(3 * m, 0.0);
    particledata::fp.assign(3 * m, 0.0);
    particledata::mp.assign(m, 0.0);
    nodegiven.assign(m, 0);
}

// "time": the points of the load time function.
void settimefunction() {
    once(seen_time, "time");
    const std::vector<grammar::timepoint> points = grammar::readtimefunction(in);
    timefunctiondata::lentmfunction = static_cast<int>(points.size());
    timefunctiondata::tmfunction.clear();
    for (const grammar::timepoint& p : points)
        timefunctiondata::tmfunction.push_back(tmpoint{p.time, p.value});
    timefunctiondata::tmfunction_allocated = true;
}

// "nmat": the count of material sets and their array.
void setmaterialcount() {
    once(seen_nmat, "nmat");
    const int n = in.count("material count", 5);
    materialdata::nb_mat = n;
    say(records::listed("nb_mat = ", n));
    materialdata::mat_list.assign(count(n), material{});
    materialdata::mat_list_allocated = true;
    matdefined.assign(count(n), 0);
}

// "ncom": the component count and the member lists.
void setcomponentcount() {
    once(seen_ncom, "ncom");
    const int n = in.count("component count", 1);
    elementdata::nb_comp = n;
    say(records::listed("nb_comp = ", n));
    if (particledata::nb_particle == 0)
        errorstop::stop("*** Error *** nb_particle must be defined first!");
    elementdata::complen.assign(count(n), 0);
    elementdata::compmember.assign(count(n) * count(particledata::nb_particle), 0);
    elementdata::comp_allocated = true;
}

// "curv": one more result curve.
void setcurve() {
    dataout::ncurves += 1;
    if (dataout::ncurves > 10) errorstop::stop("*** Error *** Too many curves defined !");
    const size_t i = static_cast<size_t>(dataout::ncurves - 1);
    dataout::curveline[i] = ffi::line_nb;
    dataout::curveoption[i] = setresoption();
    dataout::curvepoint[i] = grammar::readcurvepoint(in);
}

// "nbel": the element count and the element array.
void setelementcount() {
    once(seen_nbel, "nbel");
    const int n = in.count("element count", 10);
    elementdata::nb_element = n;
    say(records::listed("nb_element = ", n));
    elementdata::element_list.assign(count(n), element{});
    elementdata::element_list_allocated = true;
    elementgiven.assign(count(n), 0);
}

}  // namespace

namespace {

// The stop on a word that is no keyword (the keyword reader has named it):
// "error GetData", then what to do about it where that can be told. `after`
// is the keyword read before it.
[[noreturn]] void notakeyword(int after) {
    int count = 0;
    if (after == 10) count = materialdata::nb_mat;
    if (after == 11) count = particledata::nb_particle;
    if (after == 18) count = elementdata::nb_element;
    const std::string advice =
        grammar::keywordadvice(ffi::pendingword(), ffi::line_nb, after, count);
    errorstop::writeline(" error GetData");
    if (!advice.empty()) errorstop::writeline(" " + advice);
    errorstop::stop();
}

}  // namespace

void getdata() {
    int after = 0;  // the keyword read last
    for (;;) {
        const int k = ffi::keyword(vocabulary::keywords, vocabulary::nkeywords);
        if (k > 0) after = k;
        switch (k) {
            case 1:  // endi
                correctedformulation();
                return;
            case 2:  // sovr
                ffi::getstring(simulation::title);
                break;
            case 3: setnodecount(); break;
            case 4:  // repo
                dataout::reportsteps = static_cast<double>(ffi::getint());
                break;
            case 5: {  // hour
                const grammar::hourglassrecord h = grammar::readhourglass(in);
                materialdata::hourglass.method = h.method;
                materialdata::hourglass.coef = h.coef;
                break;
            }
            case 6: settimefunction(); break;
            case 7:  // endt
                simulation::endtime = static_cast<double>(ffi::getreal());
                say(records::listed("EndTime = ", simulation::endtime));
                break;
            case 8:  // outt
                dataout::outtimestep = static_cast<double>(ffi::getreal());
                break;
            case 9: setmaterialcount(); break;
            case 10: setmaterial(); break;
            case 11: setparticle(); break;
            case 12: materialdata::jaum = setonoff(); break;
            case 13: setcomponentcount(); break;
            case 14: setload(); break;
            case 15: setvelocity(); break;
            case 16: setcurve(); break;
            case 17: seteos(); break;
            case 18: elememtin(); break;
            case 19: setelementcount(); break;
            case 20: {  // rigi
                const grammar::rigidrecord r = grammar::readrigid(in);
                elementdata::plane.dir = r.dir;
                elementdata::plane.coord = r.coord;
                break;
            }
            case 21: simulation::dtscale = grammar::readdtscale(in); break;
            case 22: dataout::fieldstep = grammar::readfieldstep(in); break;
            case 23:  // ebal
                grammar::checkvalues(in, "ebal", 1, "ON or OFF");
                dataout::energyon = setonoff();
                break;
            case 24: simulation::checkpointsteps = grammar::readcheckpointsteps(in); break;
            case 25: setbulk(); break;
            case 26: setfixity(); break;
            case 27:  // stab
                grammar::checkvalues(in, "stab", 1, "ON or OFF");
                simulation::stablestep = setonoff();
                given_stab = true;
                break;
            case 28:  // midg
                grammar::checkvalues(in, "midg", 1, "ON or OFF");
                elementdata::midstep = setonoff();
                given_midg = true;
                break;
            case 29:  // cont
                once(seen_cont, "cont");
                setcontact();
                break;
            case 30:  // glob
                once(seen_glob, "glob");
                setglobal();
                break;
            case 31:  // fail
                once(seen_fail, "fail");
                setfailure();
                break;
            case 32:  // vmis
                grammar::checkvalues(in, "vmis", 1, "ON or OFF");
                materialdata::vonmises = setonoff();
                given_vmis = true;
                break;
            case 33:  // cons
                grammar::checkvalues(in, "cons", 1, "ON or OFF");
                materialdata::consistent = setonoff();
                given_cons = true;
                break;
            case 34:  // corr
                grammar::checkvalues(in, "corr", 1, "ON or OFF");
                corrected = setonoff();
                break;
            case 40:  // math
                grammar::checkvalues(in, "math", 1, "ON or OFF");
                materialdata::solvermath = setonoff();
                break;
            case 35:  // wall
                once(seen_wall, "wall");
                setwalls();
                break;
            case 36: setfunction(); break;
            case 37: setdrive(); break;
            case 38: setreaction(); break;
            case 39: setrigid(); break;
            default: notakeyword(after);
        }
    }
}

void setmaterial() {
    using materialdata::mat_list;
    using materialdata::nb_mat;
    if (nb_mat == 0) errorstop::stop("*** Error *** nb_mat must be defined in advance!");
    if (nb_mat < 0) return;
    int m = 0;
    do {
        const grammar::materialrecord rec = grammar::readmaterial(in, nb_mat);
        m = rec.set;
        material& r = mat_list[static_cast<size_t>(m - 1)];
        r.mtype = rec.model;
        const std::span<const catalog::constant> cs = catalog::models[rec.model - 1].constants;
        for (size_t i = 0; i < cs.size(); ++i) r.*cs[i].field = rec.reals[i];
        const double q =
            r.young * (1.0 - r.poisson) / ((1.0 + r.poisson) * (1.0 - 2.0 * r.poisson) * r.density);
        r.wavespeed = std::sqrt(q);
        matdefined[static_cast<size_t>(m - 1)] = 1;
    } while (m < nb_mat);
}

void setbulk() {
    const grammar::bulkrecord r = grammar::readbulk(in);
    materialdata::bulk = bulkviscosity{true, r.q1, r.q2};
}

void setfixity() {
    const grammar::fixityrecord r = grammar::readfixity(in, elementdata::nb_comp);
    elementdata::fixities.push_back(fixity{r.comp, {r.axis[0], r.axis[1], r.axis[2]}});
    fixitylist.push_back(r);
}

void setfunction() {
    grammar::functionrecord r = grammar::readfunction(in);
    auto& fs = timefunctiondata::functions;
    const size_t at = static_cast<size_t>(r.func - 1);
    if (fs.size() <= at) fs.resize(at + 1);
    if (!fs[at].empty())
        inputerror("*** Error *** tfun " + std::to_string(r.func) + " given a second time");
    for (const grammar::timepoint& p : r.points) fs[at].push_back(tmpoint{p.time, p.value});
}

void setdrive() {
    const grammar::driverecord r = grammar::readdrive(in, elementdata::nb_comp);
    usefunction(r.func);
    motiondata::drives.push_back(drive{r.comp, r.axis - 1, r.disp, r.func, r.scale});
    drivelist.push_back(r);
    driveline.push_back(ffi::line_nb);
}

void setreaction() {
    std::vector<grammar::reactionrecord> given;
    for (size_t k = 0; k < motiondata::reactcomp.size(); ++k)
        given.push_back({motiondata::reactcomp[k], motiondata::reactname[k]});
    const grammar::reactionrecord r = grammar::readreaction(in, elementdata::nb_comp);
    const std::string fault = grammar::reactiontwicefault(given, r.name);
    if (!fault.empty()) inputerror("*** Error *** " + fault);
    motiondata::reactcomp.push_back(r.comp);
    motiondata::reactname.push_back(r.name);
}

void setrigid() {
    std::vector<grammar::bodyrecord> given;
    for (const rigidbody& b : rigiddata::bodies) given.push_back({b.set, {}, {}});
    const grammar::bodyrecord r = grammar::readbody(in, materialdata::nb_mat);
    const std::string fault = grammar::bodytwicefault(given, r.set);
    if (!fault.empty()) inputerror("*** Error *** " + fault);
    rigidbody b{};
    b.set = r.set;
    for (int i = 0; i < 3; ++i) {
        b.v0[i] = r.v[i];
        b.w0[i] = r.w[i];
    }
    for (int i = 0; i < 4; ++i) b.hold[i] = r.hold[i];
    rigiddata::bodies.push_back(b);
}

void setcontact() {
    const grammar::contactblock b = grammar::readcontact(in, materialdata::nb_mat);
    contactcontrol& c = elementdata::contact;
    c.on = true;
    if (b.scale) c.scale = *b.scale;
    if (b.friction) {
        c.mus = b.friction->stat;
        c.mud = b.friction->dyn;
        c.decay = b.friction->decay;
    }
    for (const std::vector<int>& part : b.parts)
        c.parts.insert(c.parts.end(), part.begin(), part.end());
    c.pairs.insert(c.pairs.end(), b.pairs.begin(), b.pairs.end());
    for (const grammar::pairscale& p : b.pairscales)
        c.pairscales.push_back({static_cast<double>(p.a), static_cast<double>(p.b), p.scale});
    c.forces = b.forces;
}

// The walls with unit directions: a finite plane's edge taken in the plane.
void setwalls() {
    for (const grammar::wallrecord& r : grammar::readwalls(in, elementdata::nb_comp)) {
        walls::wall w;
        w.kind = r.shape == 1   ? walls::shape::plane
                 : r.shape == 2 ? walls::shape::cylinder
                                : walls::shape::sphere;
        w.point = r.point;
        if (r.shape != 3) w.normal = walls::scaled(r.direction, 1.0 / walls::length(r.direction));
        w.radius = r.radius;
        if (r.edge) {
            const walls::vec3 e{(*r.edge)[0], (*r.edge)[1], (*r.edge)[2]};
            const walls::vec3 inplane =
                walls::minus(e, walls::scaled(w.normal, walls::dot(e, w.normal)));
            w.edge = walls::scaled(inplane, 1.0 / walls::length(inplane));
            w.sizea = (*r.edge)[3];
            w.sizeb = (*r.edge)[4];
        }
        w.span = r.length.value_or(0.0);
        w.inside = r.inside;
        if (r.move) w.velocity = *r.move;
        w.mu = r.friction.value_or(0.0);
        w.comp = r.comp.value_or(0);
        walls::list.push_back(w);
    }
}

void setfailure() {
    failurelist = grammar::readfailure(in, materialdata::nb_mat);
    failuredata::on = true;
    failuredata::criteria.assign(count(materialdata::nb_mat), failurecriteria{});
    for (const grammar::failurerecord& r : failurelist) {
        const failtable::criterion& row = failtable::table[r.criterion - 1];
        if (!row.perset) {  // step: one fraction for every set
            failuredata::stepfraction = r.values[0];
            continue;
        }
        failurecriteria& c = failuredata::criteria[static_cast<size_t>(r.set - 1)];
        if (row.on) c.*row.on = true;
        for (size_t i = 0; i < row.values.size(); ++i) c.*row.values[i].field = r.values[i];
    }
    // Coupled damage is the Johnson-Cook damage's.
    for (size_t m = 0; m < failuredata::criteria.size(); ++m)
        if (failuredata::criteria[m].dcrit > 0.0 && !failuredata::criteria[m].jc)
            inputerror("*** Error *** fail: the critical damage (cdam) of material set " +
                       std::to_string(m + 1) + " needs its Johnson-Cook damage (jc)");
}

void setglobal() {
    grammar::readglobal(in, seen_nbmp && seen_nbel, particledata::nb_particle,
                        elementdata::nb_element, particledata::global, elementdata::global);
}

void seteos() {
    using namespace materialdata;
    const grammar::eosrecord e = grammar::readeos(in, nb_mat, matdefined);
    const int m = e.set;
    material& r = mat_list[static_cast<size_t>(m - 1)];
    r.etype = e.type;
    const double c0 = e.c0;
    const double s = e.s;
    const double gamma0 = e.gamma0;
    const double rho = r.density;
    // Each set keeps its own constants.
    r.c1eos = rho * (c0 * c0);
    r.c2eos = rho * (c0 * c0) * (2.0 * s - 1.0);
    r.c3eos = rho * (c0 * c0) * (s - 1.0) * (3.0 * s - 1.0);
    r.c4eos = rho * gamma0;
    if (!std::isfinite(r.c1eos) || !std::isfinite(r.c2eos) || !std::isfinite(r.c3eos) ||
        !std::isfinite(r.c4eos))
        inputerror("*** Error *** seos for material set " + std::to_string(m) +
                   ": the equation-of-state constants are not finite");
}

void setparticle() {
    using particledata::nb_particle;
    if (nb_particle == 0) errorstop::stop("*** Error *** nbmp must be defined in advance!");
    int n = 0;
    do {
        int c = 0;
        std::tie(n, c) = grammar::readnodenumbers(in, nb_particle, elementdata::nb_comp);
        if (c > 0) {
            int& len = elementdata::complen[static_cast<size_t>(c - 1)];
            if (len >= nb_particle)
                inputerror("*** Error *** component " + std::to_string(c) +
                           " would receive more than " + std::to_string(nb_particle) +
                           " members (nodes repeated in \"part\")");
            len += 1;
            elementdata::compmember[static_cast<size_t>(c - 1) * static_cast<size_t>(nb_particle) +
                                    static_cast<size_t>(len - 1)] = n;
        }
        const std::array<double, 3> x = grammar::readcoordinates(in);
        std::copy(x.begin(), x.end(), &particledata::pos[3 * static_cast<size_t>(n - 1)]);
        nodegiven[static_cast<size_t>(n - 1)] = 1;
    } while (n != nb_particle);
}

namespace {

// Shared body of the load and velocity blocks: "node" and "comp" records
// assign a vector to one node or to every member of a component.
void setnodalvectors(const char* kw, const char* block, std::vector<double>& target,
                     const char* badkeyword, bool loads) {
    using particledata::nb_particle;
    if (nb_particle == 0) errorstop::stop("*** Error *** nbmp must be defined !");
    while (const std::optional<grammar::vectorrecord> r = grammar::readvector(
               in, kw, nb_particle, elementdata::nb_comp, block, badkeyword, loads)) {
        // A load that follows another function than 1 gives every node its
        // own function; the last record that touches a node sets it.
        std::vector<int>& func = particledata::fpfunc;
        if (loads && r->func != 1) {
            usefunction(r->func);
            if (func.empty()) func.assign(count(nb_particle), 1);
        }
        const auto put = [&](int node) {
            std::copy(r->v.begin(), r->v.end(), &target[3 * static_cast<size_t>(node - 1)]);
            if (loads && !func.empty()) func[static_cast<size_t>(node - 1)] = r->func;
        };
        if (!r->comp) {
            put(r->id);
            continue;
        }
        const size_t c = static_cast<size_t>(r->id - 1);
        const int len = elementdata::complen[c];
        for (int j = 0; j < len; ++j)
            put(elementdata::compmember[c * static_cast<size_t>(nb_particle) +
                                        static_cast<size_t>(j)]);
    }
}

}  // namespace

void setload() {
    setnodalvectors(vocabulary::loadrecords, "load", particledata::fp, "error GetLoad", true);
}

void setvelocity() {
    setnodalvectors(vocabulary::velocityrecords, "velo", particledata::vel, "error GetVelocity",
                    false);
}

bool setonoff() { return grammar::readswitch(in); }

void elememtin() {
    using elementdata::element_list;
    using elementdata::nb_element;
    using materialdata::history_list;
    if (nb_element == 0) errorstop::stop("*** Error *** nbel must be defined in advance!");
    if (!materialdata::history_allocated) {
        history_list.assign(count(nb_element), history{});
        materialdata::history_allocated = true;
        materialdata::inithistory();
        elementline.assign(count(nb_element), 0);
    }
    int e = 0;
    do {
        const grammar::elementrecord r =
            grammar::readelement(in, nb_element, materialdata::nb_mat, particledata::nb_particle,
                                 elementgiven, matdefined, nodegiven);
        e = r.element;
        elementgiven[static_cast<size_t>(e - 1)] = 1;
        element& el = element_list[static_cast<size_t>(e - 1)];
        materialdata::lenhistorylist += 1;
        el.nhistory = materialdata::lenhistorylist;
        el.mat = r.mat;
        std::copy(r.node.begin(), r.node.end(), el.node);
        history& h = history_list[static_cast<size_t>(el.nhistory - 1)];
        const material& mat = materialdata::mat_list[static_cast<size_t>(r.mat - 1)];
        h.sig_y = mat.yield0;
        if (const double material::*t = catalog::models[mat.mtype - 1].inittemp) h.temp = mat.*t;
        elementline[static_cast<size_t>(e - 1)] = ffi::line_nb;
    } while (e != nb_element);
    for (int i = 0; i < nb_element; ++i) {
        if (!elementgiven[static_cast<size_t>(i)])
            inputerror("*** Error *** element " + std::to_string(i + 1) +
                       " was never given (elements 1.." + std::to_string(nb_element) +
                       " must all be given)");
    }

    // Volumes at input and lumped masses, in element number order.
    const double* pos = particledata::pos.data();
    double* mp = particledata::mp.data();
    for (int i = 0; i < nb_element; ++i) {
        const element& el = element_list[static_cast<size_t>(i)];
        double xyz[8][3];
        gather_corners(el.node, pos, xyz);
        double vol, ijac[3][3];
        jacobian(xyz, vol, ijac);
        double det[8];
        cornerjacobians(xyz, det);
        double orient = 0.0;
        for (const double d : det) orient += d;
        for (int k = 0; k < 8; ++k) {
            if (!(det[k] * orient > 0.0)) {
                errorstop::writeline(
                    records::listed("input file error, line", elementline[static_cast<size_t>(i)]));
                errorstop::stop("*** Error *** element " + std::to_string(i + 1) +
                                " is folded or degenerate at corner " + std::to_string(k + 1) +
                                " (corner Jacobian " + number(det[k]) + ", element orientation " +
                                (orient > 0.0 ? "positive" : "not positive") + ")");
            }
        }
        history_list[static_cast<size_t>(el.nhistory - 1)].vol0 = vol;
        const double share =
            vol * materialdata::mat_list[static_cast<size_t>(el.mat - 1)].density * 0.125;
        for (int k = 0; k < 8; ++k) mp[el.node[k] - 1] += share;
    }
}

}  // namespace datain
