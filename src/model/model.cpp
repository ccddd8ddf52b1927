#include "model/model.hpp"

namespace simulation {
std::array<char, 256> title{};
double currenttime = 0.0;
double endtime = 0.0;
int istep = 1;
double dtk = 0.0;
double dtk1 = 0.0;
double dtk1old = 1.0e6;
double dtscale = static_cast<double>(0.9f);
double engkinetic = 0.0;
double engstrain = 0.0;
double engexternal = 0.0;
double enghourglass = 0.0;
bool stablestep = false;
double engplane = 0.0;
double engcontact = 0.0;
double engmotion = 0.0;
double contactnormal = 0.0, contactfriction = 0.0;
int checkpointsteps = 0;
}  // namespace simulation

namespace particledata {
int nb_particle = 0;
std::vector<double> pos, vel, acc, fp, mp, owned, fhg;
std::vector<int> fpfunc;
std::vector<int> global;
}  // namespace particledata

namespace elementdata {
int nb_element = 0;
std::vector<element> element_list;
bool element_list_allocated = false;
int nb_comp = 0;
std::vector<int> complen;
std::vector<int> compmember;
bool comp_allocated = false;
rigidplane plane{0, 0.0};
std::vector<fixity> fixities;
double eledistortion = 0.0;
bool midstep = false;
std::vector<int> global;
contactcontrol contact{false, static_cast<double>(0.1f), 0.0, 0.0, 0.0, {}, {}, {}, {}};
}  // namespace elementdata

namespace materialdata {
int nb_mat = 0;
std::vector<material> mat_list;
bool mat_list_allocated = false;
std::vector<history> history_list;
bool history_allocated = false;
int lenhistorylist = 0;
bool jaum = true;
hourglasscontrol hourglass{1, static_cast<double>(0.1f)};
bulkviscosity bulk{false, 0.0, 0.0};
bool vonmises = false;
bool consistent = false;
bool solvermath = false;

int etype_ = 0;
double den0_ = 0.0, young_ = 0.0, poisson_ = 0.0, yield0_ = 0.0, tangmod_ = 0.0, sig_y_ = 0.0,
       epeff_ = 0.0;
double g2 = 0.0, k3 = 0.0, plamod = 0.0, sm = 0.0, seqv = 0.0;
double sd[6] = {};
double sig[6] = {};
}  // namespace materialdata

namespace failuredata {
bool on = false;
std::vector<failurecriteria> criteria;
double stepfraction = 0.0;
std::vector<double> damage;
std::vector<char> eroded;
std::vector<element> active;
bool anyeroded = false;
int neroded = 0;
int nerodedjob = 0;
double engeroded = 0.0;
std::vector<double> weakening;
}  // namespace failuredata

namespace timefunctiondata {
int lentmfunction = 0;
std::vector<tmpoint> tmfunction;
bool tmfunction_allocated = false;
std::vector<std::vector<tmpoint>> functions;
std::vector<double> current;
}  // namespace timefunctiondata

namespace motiondata {
std::vector<drive> drives;
bool driven = false;
std::vector<double> origin;
std::vector<int> reactcomp, reactname;
std::vector<double> reaction;
int nforces = 0;
}  // namespace motiondata

namespace rigiddata {
std::vector<rigidbody> bodies;
std::vector<int> setbody;
std::vector<int> nodebody;
std::vector<element> deformable;
double step = 1.0e6;
int nrecords = 0;
}  // namespace rigiddata

namespace dataout {
double outtimestep = 0.0;
double reportsteps = 0.0;
int ncurves = 0;
std::array<int, 10> curveoption{};
std::array<int, 10> curvepoint{};
std::array<int, 10> curveline{};
std::array<double, 10> curveorigin{};
int npts = 0;
int nres = 0;
double fieldstep = -1.0;
int nfield = 0;
bool energyon = false;
int nenergy = 0;
}  // namespace dataout

namespace commnodes {
int stopflag = 0;
int stopjob = 0;
int nprocs = 1;
int myid = 0;
bool sparse = false;
int ncomde = 0;
std::vector<int> mycnode;
std::vector<int> commline;
std::vector<int> nbproc;
std::vector<int> nbstart;
std::vector<int> nbnode;
std::vector<int> sumnode;
std::vector<int> sumstart;
std::vector<int> sumterm;
}  // namespace commnodes

namespace ffi {
int ior = 11;
int iores = 13;
int iow1 = 14;
int iow2 = 15;
std::string fileinp;
std::array<char, 256> sss{};
std::array<std::array<char, 20>, 15> cmd_line{};
int line_nb = 0;
int nb_read = 0;
int nb_word = 0;
}  // namespace ffi

namespace model {

template <class T>
static void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

void reset() {
    using namespace simulation;
    title.fill('\0');
    currenttime = 0.0;
    endtime = 0.0;
    istep = 1;
    dtk = 0.0;
    dtk1 = 0.0;
    dtk1old = 1.0e6;
    dtscale = static_cast<double>(0.9f);
    engkinetic = 0.0;
    engstrain = 0.0;
    engexternal = 0.0;
    enghourglass = 0.0;
    stablestep = false;
    engplane = 0.0;
    engcontact = 0.0;
    contactnormal = contactfriction = 0.0;
    checkpointsteps = 0;

    particledata::nb_particle = 0;
    release(particledata::pos);
    release(particledata::vel);
    release(particledata::acc);
    release(particledata::fp);
    release(particledata::mp);
    release(particledata::owned);
    release(particledata::fhg);
    release(particledata::global);
    release(particledata::fpfunc);
    release(timefunctiondata::functions);
    release(timefunctiondata::current);
    release(motiondata::drives);
    motiondata::driven = false;
    release(motiondata::origin);
    release(motiondata::reactcomp);
    release(motiondata::reactname);
    release(motiondata::reaction);
    motiondata::nforces = 0;
    release(rigiddata::bodies);
    release(rigiddata::setbody);
    release(rigiddata::nodebody);
    release(rigiddata::deformable);
    rigiddata::step = 1.0e6;
    rigiddata::nrecords = 0;
    simulation::engmotion = 0.0;

    elementdata::nb_element = 0;
    release(elementdata::element_list);
    elementdata::element_list_allocated = false;
    elementdata::nb_comp = 0;
    release(elementdata::complen);
    release(elementdata::compmember);
    elementdata::comp_allocated = false;
    elementdata::plane = {0, 0.0};
    release(elementdata::fixities);
    elementdata::eledistortion = 0.0;
    elementdata::midstep = false;
    release(elementdata::global);
    failuredata::on = false;
    release(failuredata::criteria);
    failuredata::stepfraction = 0.0;
    release(failuredata::damage);
    release(failuredata::eroded);
    release(failuredata::active);
    failuredata::anyeroded = false;
    failuredata::neroded = failuredata::nerodedjob = 0;
    failuredata::engeroded = 0.0;
    release(failuredata::weakening);
    elementdata::contact = {false, static_cast<double>(0.1f), 0.0, 0.0, 0.0, {}, {}, {}, {}};

    {
        using namespace materialdata;
        nb_mat = 0;
        release(mat_list);
        mat_list_allocated = false;
        release(history_list);
        history_allocated = false;
        lenhistorylist = 0;
        jaum = true;
        hourglass = {1, static_cast<double>(0.1f)};
        bulk = {false, 0.0, 0.0};
        vonmises = false;
        consistent = false;
        solvermath = false;
        etype_ = 0;
        den0_ = young_ = poisson_ = yield0_ = tangmod_ = sig_y_ = epeff_ = 0.0;
        g2 = k3 = plamod = materialdata::sm = materialdata::seqv = 0.0;
        for (int i = 0; i < 6; ++i) materialdata::sd[i] = materialdata::sig[i] = 0.0;
    }

    timefunctiondata::lentmfunction = 0;
    release(timefunctiondata::tmfunction);
    timefunctiondata::tmfunction_allocated = false;

    dataout::outtimestep = 0.0;
    dataout::reportsteps = 0.0;
    dataout::ncurves = 0;
    dataout::curveoption.fill(0);
    dataout::curvepoint.fill(0);
    dataout::curveline.fill(0);
    dataout::curveorigin.fill(0.0);
    dataout::npts = 0;
    dataout::nres = 0;
    dataout::fieldstep = -1.0;
    dataout::nfield = 0;
    dataout::energyon = false;
    dataout::nenergy = 0;

    commnodes::nprocs = 1;
    commnodes::myid = 0;
    commnodes::stopflag = 0;
    commnodes::stopjob = 0;
    commnodes::sparse = false;
    commnodes::ncomde = 0;
    release(commnodes::mycnode);
    release(commnodes::commline);
    release(commnodes::nbproc);
    release(commnodes::nbstart);
    release(commnodes::nbnode);
    release(commnodes::sumnode);
    release(commnodes::sumstart);
    release(commnodes::sumterm);

    ffi::ior = 11;
    ffi::iores = 13;
    ffi::iow1 = 14;
    ffi::iow2 = 15;
    ffi::fileinp.clear();
    ffi::sss.fill(' ');
    for (auto& w : ffi::cmd_line) w.fill(' ');
    ffi::line_nb = 0;
    ffi::nb_read = 0;
    ffi::nb_word = 0;
}

}  // namespace model
