#include "control/checkpoint.hpp"

#include <fcntl.h>
#include <mpi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "contact/contact.hpp"
#include "control/energy.hpp"
#include "control/fieldout.hpp"
#include "failure/failure.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "motion/motion.hpp"
#include "output/units.hpp"
#include "rigid/rigid.hpp"
#include "walls/walls.hpp"

namespace checkpoint {

namespace {

constexpr char magic[8] = {'H', 'X', 'D', 'C', 'H', 'K', 'P', 'T'};
constexpr std::size_t headerbytes = 64;

std::uint64_t sequence = 0;  // last checkpoint written or read
bool hashed = false;
std::uint64_t deckhash = 0, commhash = 0;

struct header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t headerbytes;
    std::uint64_t sequence;
    std::int32_t nprocs;
    std::int32_t myid;
    std::uint64_t deckhash;
    std::uint64_t commhash;
    std::uint64_t payload;
    std::uint64_t checksum;
};
static_assert(sizeof(header) == headerbytes);

// Doubles of a history layout text: a name counts 1, "name:n" counts n. A
// plain walk over the characters, so that it stays a constant expression in
// every build (the sanitizers' checks of library calls are not).
constexpr std::size_t layoutdoubles(const char* l) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (l[i] != '\0') {
        while (l[i] == ' ') ++i;
        if (l[i] == '\0') break;
        std::size_t k = 1;
        while (l[i] != '\0' && l[i] != ' ' && l[i] != ':') ++i;
        if (l[i] == ':') {
            ++i;
            k = 0;
            while (l[i] >= '0' && l[i] <= '9') k = 10 * k + static_cast<std::size_t>(l[i++] - '0');
        }
        n += k;
    }
    return n;
}
static_assert(layoutdoubles(historylayout) * sizeof(double) == sizeof(history),
              "historylayout (model.hpp) must name every field of history");

// The scalars of section "STEP".
struct stepstate {
    double currenttime, dtk, dtk1, dtk1old, engkinetic, engstrain, eledistortion, nextout;
    std::int32_t istep, nextreport, npts, nres;
};

// The head of section "FIELD"; the frame times follow it.
struct fieldhead {
    double nextfield;
    std::int64_t frames;
};

// Section "BALANCE": the sums of the balance and the length of energy.dat
// (process 0; 0 elsewhere and before its first record).
struct energystate {
    energy::sums sums;
    std::int64_t filebytes;
};
static_assert(sizeof(energystate) == 48);

// Section "MOTION": the work of the driven components, the records of
// forces.dat and, on process 0, its length.
struct motionstate {
    double work;
    std::int64_t records;
    std::int64_t filebytes;
};
static_assert(sizeof(motionstate) == 24);

bool motionon() { return !motiondata::drives.empty() || motion::reacting(); }

std::string deckname() {
    std::string n = ffi::fileinp;
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

std::uint64_t filehash(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return 0;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return hash(bytes.data(), bytes.size());
}

void makehashes() {
    if (hashed) return;
    deckhash = filehash(deckname());
    commhash = filehash("Comm");
    hashed = true;
}

std::uint64_t headerhash(const header& h, std::uint64_t payloadhash) {
    return hash(&h, offsetof(header, checksum), payloadhash);
}

// Writes to a file descriptor, section by section, keeping the running hash
// of the payload.
struct sink {
    int fd;
    std::uint64_t h = 0xcbf29ce484222325ULL;
    std::uint64_t bytes = 0;
    bool ok = true;
    int err = 0;  // errno of the first failed write
    void put(const void* data, std::size_t n) {
        h = hash(data, n, h);
        const char* p = static_cast<const char*>(data);
        while (ok && n > 0) {
            const ssize_t w = ::write(fd, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                err = w < 0 ? errno : ENOSPC;
                break;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
            bytes += static_cast<std::uint64_t>(w);
        }
    }
    void section(const char* name, const void* data, std::size_t n) {
        // A blank-padded field of 8 characters, not a C string.
        char tag[8];
        std::memset(tag, ' ', 8);
        for (std::size_t i = 0; i < 8 && name[i] != '\0'; ++i) tag[i] = name[i];
        const std::uint64_t len = n;
        put(tag, 8);
        put(&len, 8);
        if (n > 0) put(data, n);
        const char pad[8] = {};
        if (n % 8 != 0) put(pad, 8 - n % 8);
    }
};

// Stops on a failed write of checkpoint `name` with the system's reason
// `err`; the temporary file `tmp`, when given, goes first, so that no
// fragment of a checkpoint stays behind.
[[noreturn]] void writefailed(const std::string& name, int err, const std::string& tmp = {}) {
    if (!tmp.empty()) ::unlink(tmp.c_str());
    errorstop::stop("*** Error *** writing checkpoint " + name + " failed: " + std::strerror(err));
}

// A checkpoint read back: the header and the sections by name.
struct image {
    header h{};
    std::string bytes;  // the whole file
    std::string fault;  // why it cannot be used, empty when sound
    const char* find(const char* name, std::uint64_t& len) const {
        std::size_t at = headerbytes;
        while (at + 16 <= bytes.size()) {
            std::uint64_t n = 0;
            std::memcpy(&n, bytes.data() + at + 8, 8);
            if (n > bytes.size() - at - 16) return nullptr;
            char tag[8];
            std::memset(tag, ' ', 8);
            std::memcpy(tag, name, std::strlen(name));
            if (std::memcmp(bytes.data() + at, tag, 8) == 0) {
                len = n;
                return bytes.data() + at + 16;
            }
            at += 16 + (n + 7) / 8 * 8;
        }
        return nullptr;
    }
};

image readimage(const std::string& name) {
    image im;
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        im.fault = "missing";
        return im;
    }
    im.bytes.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (im.bytes.size() < headerbytes) {
        im.fault = "shorter than its header (" + std::to_string(im.bytes.size()) + " bytes)";
        return im;
    }
    std::memcpy(&im.h, im.bytes.data(), headerbytes);
    if (std::memcmp(im.h.magic, magic, 8) != 0) {
        im.fault = "not a checkpoint of this solver";
        return im;
    }
    if (im.h.payload != im.bytes.size() - headerbytes) {
        im.fault = "cut short or overlong (" + std::to_string(im.bytes.size()) +
                   " bytes, the header announces " + std::to_string(im.h.payload + headerbytes) +
                   ")";
        return im;
    }
    const std::uint64_t ph = hash(im.bytes.data() + headerbytes, im.h.payload);
    if (headerhash(im.h, ph) != im.h.checksum) {
        im.fault = "damaged (checksum mismatch)";
        return im;
    }
    return im;
}

// Loads one section of known size into `dst`; stops when it is missing or
// of another size.
void load(const image& im, const std::string& name, const char* tag, void* dst, std::size_t n) {
    std::uint64_t len = 0;
    const char* p = im.find(tag, len);
    if (!p || len != n)
        errorstop::stop(
            "*** Error *** checkpoint " + name + ": section \"" + tag + "\" " +
            (p ? "holds " + std::to_string(len) + " bytes, the model needs " + std::to_string(n)
               : std::string("is missing")));
    if (n > 0) std::memcpy(dst, p, n);
}

}  // namespace

std::string layoutfault(std::string_view stored) {
    if (stored == historylayout) return {};
    return "holds element history records of the layout \"" + std::string(stored) +
           "\", this solver's are \"" + historylayout +
           "\": it was written by a solver whose elements carry another state; start the run "
           "again from its deck";
}

std::uint64_t hash(const void* data, std::size_t n, std::uint64_t h) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * prime;
        h ^= h >> 29;
    }
    for (; i < n; ++i) h = (h ^ p[i]) * prime;
    return h;
}

bool due(int stepsdone) {
    const int n = simulation::checkpointsteps;
    return n > 0 && stepsdone > 0 && stepsdone % n == 0;
}

std::uint64_t lastsequence() { return sequence; }

std::string filename(int slot) { return deckname() + "chkp." + std::to_string(slot); }

void reset() {
    sequence = 0;
    hashed = false;
    deckhash = commhash = 0;
}

namespace {

// Section "BALANCE": the balance's sums and, on process 0, the length of
// energy.dat they stand for.
energystate balancestate() {
    energystate es{};
    if (dataout::energyon) {
        es.sums = energy::saved();
        if (commnodes::myid == 0 && es.sums.records > 0)
            es.filebytes = ffi::lengthforcheckpoint(energy::filename);
    }

    return es;
}

// The sections every checkpoint has: the step's scalars, the result files'
// lengths, the node arrays and the history records with their layout.
void putstate(sink& out, const schedule& s, const long long (&lengths)[3]) {
    stepstate st{};
    st.currenttime = simulation::currenttime;
    st.dtk = simulation::dtk;
    st.dtk1 = simulation::dtk1;
    st.dtk1old = simulation::dtk1old;
    st.engkinetic = simulation::engkinetic;
    st.engstrain = simulation::engstrain;
    st.eledistortion = elementdata::eledistortion;
    st.nextout = s.nextout;
    st.istep = simulation::istep;
    st.nextreport = s.nextreport;
    st.npts = dataout::npts;
    st.nres = dataout::nres;
    out.section("STEP", &st, sizeof st);
    out.section("FILES", lengths, sizeof lengths);
    const auto bytesof = [](const auto& v) { return v.size() * sizeof(v[0]); };
    out.section("POS", particledata::pos.data(), bytesof(particledata::pos));
    out.section("VEL", particledata::vel.data(), bytesof(particledata::vel));
    out.section("ACC", particledata::acc.data(), bytesof(particledata::acc));
    out.section("MASS", particledata::mp.data(), bytesof(particledata::mp));
    // Whole words of 8 bytes, as the payload's running hash takes them: the
    // text padded with NULs.
    char layout[(sizeof historylayout + 7) / 8 * 8] = {};
    std::memcpy(layout, historylayout, sizeof historylayout - 1);
    out.section("LAYOUT", layout, sizeof layout);
    out.section("HISTORY", materialdata::history_list.data(), bytesof(materialdata::history_list));
}

// The sections of what the deck switched on: field output, energy balance,
// contact and failure.
void putoptional(sink& out, const schedule& s, const energystate& es) {
    const auto bytesof = [](const auto& v) { return v.size() * sizeof(v[0]); };
    if (dataout::fieldstep >= 0.0) {
        const std::vector<double>& t = fieldout::frames();
        const fieldhead fh{s.nextfield, static_cast<std::int64_t>(t.size())};
        std::string bytes(sizeof fh + t.size() * sizeof(double), '\0');
        std::memcpy(bytes.data(), &fh, sizeof fh);
        if (!t.empty()) std::memcpy(bytes.data() + sizeof fh, t.data(), t.size() * sizeof(double));
        out.section("FIELD", bytes.data(), bytes.size());
    }
    if (dataout::energyon) out.section("BALANCE", &es, sizeof es);
    if (!walls::list.empty()) {
        // The walls' sums since their last record and the length of walls.dat.
        const std::vector<double> ws = walls::saved();
        out.section("WALLS", ws.data(), bytesof(ws));
    }
    if (!rigiddata::bodies.empty()) {
        // The bodies' motion and the length of rigid.dat.
        const std::vector<double> rs = rigid::saved();
        out.section("RIGID", rs.data(), bytesof(rs));
    }
    std::vector<double> contactstate;
    if (elementdata::contact.on) {
        // The work of the contact forces, then per node the starting depth
        // followed and the face that held it.
        contactstate = contact::saved(s.contact, simulation::engcontact);
        out.section("CONTACT", contactstate.data(), bytesof(contactstate));
    }
    if (motionon()) {
        motionstate ms{simulation::engmotion, motiondata::nforces, 0};
        if (commnodes::myid == 0 && ms.records > 0)
            ms.filebytes = ffi::lengthforcheckpoint(motion::filename);
        out.section("MOTION", &ms, sizeof ms);
    }
    std::vector<double> failurestate;
    if (failuredata::on) {
        // Eroded count and energy, then per element damage, erosion flag,
        // plastic strain at the last pass and plastic work.
        failurestate.push_back(failuredata::neroded);
        failurestate.push_back(failuredata::engeroded);
        const auto add = [&failurestate](const auto& v) {
            failurestate.insert(failurestate.end(), v.begin(), v.end());
        };
        add(failuredata::damage);
        add(failuredata::eroded);
        add(failure::previousstrain());
        add(failure::plasticwork());
        out.section("FAILURE", failurestate.data(), bytesof(failurestate));
    }
}

// Writes the header over its place, makes the file durable and puts it in
// place of the older checkpoint `name`; stops with the system's reason when
// any of it fails.
void finish(int fd, header& h, sink& out, const std::string& tmp, const std::string& name) {
    h.payload = out.bytes;
    h.checksum = headerhash(h, out.h);
    if (out.ok) {
        const ssize_t w = ::pwrite(fd, &h, headerbytes, 0);
        if (w != static_cast<ssize_t>(headerbytes)) {
            out.ok = false;
            out.err = w < 0 ? errno : ENOSPC;
        }
    }
    if (out.ok && ::fsync(fd) != 0) {
        out.ok = false;
        out.err = errno;
    }
    if (!out.ok) {
        ::close(fd);
        writefailed(tmp, out.err, tmp);
    }
    if (::close(fd) != 0) writefailed(tmp, errno, tmp);
    if (std::rename(tmp.c_str(), name.c_str()) != 0) writefailed(name, errno, tmp);
}

}  // namespace

void write(const schedule& s) {
    // A field frame still being written in the background is finished first:
    // the checkpoint lists it as on disk.
    if (dataout::fieldstep >= 0.0) fieldout::wait();
    makehashes();
    long long lengths[3];
    ffi::syncunits();
    ffi::unitlengths(lengths);
    const energystate es = balancestate();

    const std::uint64_t seq = sequence + 1;
    const std::string tmp = deckname() + "chkp.tmp";
    const std::string name = filename(static_cast<int>((seq - 1) % 2) + 1);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) writefailed(tmp, errno);

    header h{};
    std::memcpy(h.magic, magic, 8);
    h.version = version;
    h.headerbytes = headerbytes;
    h.sequence = seq;
    h.nprocs = commnodes::nprocs;
    h.myid = commnodes::myid;
    h.deckhash = deckhash;
    h.commhash = commhash;
    sink out{fd};
    if (::lseek(fd, static_cast<off_t>(headerbytes), SEEK_SET) < 0) {
        out.ok = false;
        out.err = errno;
    }
    putstate(out, s, lengths);
    putoptional(out, s, es);
    finish(fd, h, out, tmp, name);
    sequence = seq;
}

namespace {

// Stops when the sound checkpoint `name` belongs to another version, job,
// process, deck or "Comm".
void checkheader(const header& h, const std::string& name) {
    if (h.version < 1 || h.version > version)
        errorstop::stop("*** Error *** checkpoint " + name + " has version " +
                        std::to_string(h.version) + "; this solver reads versions 1 to " +
                        std::to_string(version));
    if (h.nprocs != commnodes::nprocs)
        errorstop::stop("*** Error *** checkpoint " + name + " was written by process " +
                        std::to_string(h.myid) + " of a job of " + std::to_string(h.nprocs) +
                        " processes; this job has " + std::to_string(commnodes::nprocs) +
                        ": restart with the same number of processes");
    // Same count, another process: a file copied or renamed by hand.
    if (h.myid != commnodes::myid)
        errorstop::stop("*** Error *** checkpoint " + name + " was written by process " +
                        std::to_string(h.myid) + " of a job of " + std::to_string(h.nprocs) +
                        " processes, not by process " + std::to_string(commnodes::myid) +
                        ", which reads it: each process restarts from its own checkpoints");
    if (h.deckhash != deckhash)
        errorstop::stop("*** Error *** checkpoint " + name + " was written for another deck: " +
                        deckname() + " has changed since; a restart needs the same deck");
    if (h.commhash != commhash)
        errorstop::stop("*** Error *** checkpoint " + name +
                        " was written for another \"Comm\": it has changed since; a restart "
                        "needs the same table");
}

// Reads both checkpoints of the process, warns of a damaged one and checks
// the sound ones; returns the newest sequence among them (0: none).
std::uint64_t readboth(image (&im)[2]) {
    std::uint64_t best = 0;
    for (int k = 0; k < 2; ++k) {
        const std::string name = filename(k + 1);
        im[k] = readimage(name);
        if (!im[k].fault.empty()) {
            if (im[k].fault != "missing")
                errorstop::writeline(" *** Warning *** checkpoint " + name + " is " + im[k].fault +
                                     "; it is not used");
            continue;
        }
        checkheader(im[k].h, name);
        if (im[k].h.sequence > best) best = im[k].h.sequence;
        std::uint64_t len = 0;
        const char* layout = im[k].find("LAYOUT", len);
        std::string_view stored = unrecordedlayout;
        if (layout) {
            stored = std::string_view(layout, static_cast<std::size_t>(len));
            stored = stored.substr(0, stored.find('\0'));
        }
        const std::string fault = layoutfault(stored);
        if (!fault.empty()) errorstop::stop("*** Error *** checkpoint " + name + " " + fault);
    }
    return best;
}

// The newest checkpoint that every process holds complete: its sequence
// and which of the two files holds it here. All processes write the same
// sequence at the same steps, so the candidates are the smallest newest one
// and those before it.
int agree(const image (&im)[2], std::uint64_t best, unsigned long long& candidate) {
    candidate = best;
    MPI_Allreduce(MPI_IN_PLACE, &candidate, 1, MPI_UNSIGNED_LONG_LONG, MPI_MIN, MPI_COMM_WORLD);
    int chosen = -1;
    while (candidate > 0) {
        int have = 0;
        for (int k = 0; k < 2; ++k)
            if (im[k].fault.empty() && im[k].h.sequence == candidate) {
                have = 1;
                chosen = k;
            }
        int all = have;
        MPI_Allreduce(MPI_IN_PLACE, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
        if (all) break;
        chosen = -1;
        --candidate;
    }
    if (chosen < 0)
        errorstop::stop("*** Error *** no checkpoint that every process holds complete (" +
                        filename(1) + ", " + filename(2) + "): cannot restart");
    return chosen;
}

// The node arrays, history records and step variables of checkpoint `c`;
// returns the result-file lengths it recorded (echo, animation, curve).
std::array<long long, 3> loadstate(const image& c, const std::string& name, schedule& s) {
    stepstate st{};
    std::array<long long, 3> lengths{};
    load(c, name, "STEP", &st, sizeof st);
    load(c, name, "FILES", lengths.data(), sizeof lengths);
    const auto bytesof = [](const auto& v) { return v.size() * sizeof(v[0]); };
    load(c, name, "POS", particledata::pos.data(), bytesof(particledata::pos));
    load(c, name, "VEL", particledata::vel.data(), bytesof(particledata::vel));
    load(c, name, "ACC", particledata::acc.data(), bytesof(particledata::acc));
    load(c, name, "MASS", particledata::mp.data(), bytesof(particledata::mp));
    load(c, name, "HISTORY", materialdata::history_list.data(),
         bytesof(materialdata::history_list));
    simulation::currenttime = st.currenttime;
    simulation::dtk = st.dtk;
    simulation::dtk1 = st.dtk1;
    simulation::dtk1old = st.dtk1old;
    simulation::engkinetic = st.engkinetic;
    simulation::engstrain = st.engstrain;
    elementdata::eledistortion = st.eledistortion;
    s.nextout = st.nextout;
    simulation::istep = st.istep;
    s.nextreport = st.nextreport;
    dataout::npts = st.npts;
    dataout::nres = st.nres;
    return lengths;
}

// The field-output schedule of checkpoint `c` ("fout"): the times of the
// frames written up to it.
std::vector<double> loadfields(const image& c, const std::string& name, schedule& s) {
    std::uint64_t len = 0;
    const char* p = c.find("FIELD", len);
    fieldhead fh{};
    if (p && len >= sizeof fh) std::memcpy(&fh, p, sizeof fh);
    if (!p || len < sizeof fh || fh.frames < 0 || fh.frames > INT_MAX ||
        static_cast<std::uint64_t>(fh.frames) != (len - sizeof fh) / sizeof(double) ||
        (len - sizeof fh) % sizeof(double) != 0)
        errorstop::stop(
            "*** Error *** checkpoint " + name + ": section \"FIELD\" " +
            (p ? "holds " + std::to_string(len) + " bytes, which is not a frame count and its times"
               : std::string("is missing")));
    std::vector<double> frametimes(static_cast<std::size_t>(fh.frames));
    if (fh.frames > 0)
        std::memcpy(frametimes.data(), p + sizeof fh, frametimes.size() * sizeof(double));
    s.nextfield = fh.nextfield;
    dataout::nfield = static_cast<int>(fh.frames);
    return frametimes;
}

// The sums of the energy balance of checkpoint `c` ("ebal on").
energystate loadbalance(const image& c, const std::string& name) {
    energystate es{};
    load(c, name, "BALANCE", &es, sizeof es);
    if (es.sums.records < 0 || es.sums.records > INT_MAX || es.filebytes < 0)
        errorstop::stop("*** Error *** checkpoint " + name +
                        ": section \"BALANCE\" holds a record count of " +
                        std::to_string(es.sums.records) + " and a file length of " +
                        std::to_string(es.filebytes) + " bytes");
    energy::restore(es.sums);
    return es;
}

// Cuts the result files back to their lengths at checkpoint `name`: the
// echo file must have been written again to its length, the animation and
// curve files (and process 0's energy.dat) are cut.
void cutresults(const std::string& name, const std::array<long long, 3>& lengths,
                const energystate& es) {
    long long now[3];
    ffi::syncunits();
    ffi::unitlengths(now);
    if (now[0] != lengths[0])
        errorstop::stop("*** Error *** checkpoint " + name + ": the echo file " + ffi::echoname() +
                        " has " + std::to_string(now[0]) + " bytes, the checkpoint recorded " +
                        std::to_string(lengths[0]));
    const int units[2] = {ffi::iow1, ffi::iow2};
    const std::string names[2] = {ffi::animname(), ffi::curvename()};
    for (int k = 0; k < 2; ++k) {
        if (!ffi::unit(units[k]).truncate(lengths[static_cast<std::size_t>(k) + 1]))
            errorstop::stop("*** Error *** checkpoint " + name + ": the result file " + names[k] +
                            " is shorter than the " +
                            std::to_string(lengths[static_cast<std::size_t>(k) + 1]) +
                            " bytes it had then");
    }
    if (dataout::energyon && commnodes::myid == 0 && es.sums.records > 0) {
        // energy.dat is written by process 0 alone and closed after each record.
        ffi::cutbackfile(name, energy::filename, es.filebytes);
    }
}

// Frames written after the checkpoint go: the continued run writes them
// again. Each process removes its pieces, process 0 the parallel files;
// frames are written in order, so the first frame with neither ends the
// search.
void removelaterframes(const std::vector<double>& frametimes) {
    for (int f = dataout::nfield;; ++f) {
        std::error_code ec;
        bool any = std::filesystem::remove(fieldout::piecename(f, commnodes::myid), ec);
        if (commnodes::myid == 0)
            any = std::filesystem::remove(fieldout::parallelname(f), ec) || any;
        if (!any) break;
    }
    fieldout::resume(frametimes);
}

}  // namespace

void restore(schedule& s) {
    makehashes();
    image im[2];
    const std::uint64_t best = readboth(im);
    unsigned long long candidate = 0;
    const int chosen = agree(im, best, candidate);
    const image& c = im[chosen];
    const std::string name = filename(chosen + 1);
    if (best != candidate && commnodes::myid >= 0)
        errorstop::writeline(" *** Warning *** restarting from the older checkpoint " + name +
                             " (sequence " + std::to_string(candidate) + ")");

    const bool fields = dataout::fieldstep >= 0.0;
    // The displacement of the field output is measured from the deck's
    // coordinates, which the node positions still are before they are loaded.
    if (fields) fieldout::start();
    // So are the contact faces' stiffnesses.
    if (failuredata::on) failure::prepare();
    if (elementdata::contact.on) contact::prepare(s.contact);
    const std::array<long long, 3> lengths = loadstate(c, name, s);
    if (failuredata::on) {
        const std::size_t ne = static_cast<std::size_t>(elementdata::nb_element);
        std::vector<double> fs(2 + 4 * ne);
        load(c, name, "FAILURE", fs.data(), fs.size() * sizeof(double));
        failuredata::neroded = static_cast<int>(fs[0]);
        failuredata::engeroded = fs[1];
        for (std::size_t e = 0; e < ne; ++e) {
            failuredata::damage[e] = fs[2 + e];
            failuredata::eroded[e] = fs[2 + ne + e] != 0.0 ? 1 : 0;
            failure::previousstrain()[e] = fs[2 + 2 * ne + e];
            failure::plasticwork()[e] = fs[2 + 3 * ne + e];
        }
    }
    if (elementdata::contact.on) {
        std::vector<double> cs(contact::savedsize(s.contact));
        load(c, name, "CONTACT", cs.data(), cs.size() * sizeof(double));
        simulation::engcontact = contact::restore(s.contact, cs);
    }
    if (!walls::list.empty()) {
        std::vector<double> ws(walls::savedsize());
        load(c, name, "WALLS", ws.data(), ws.size() * sizeof(double));
        walls::restore(ws);
    }
    if (!rigiddata::bodies.empty()) {
        std::vector<double> rs(rigid::savedsize());
        load(c, name, "RIGID", rs.data(), rs.size() * sizeof(double));
        rigid::restore(rs);
    }
    if (motionon()) {
        motionstate ms{};
        load(c, name, "MOTION", &ms, sizeof ms);
        if (ms.records < 0 || ms.records > INT_MAX || ms.filebytes < 0)
            errorstop::stop("*** Error *** checkpoint " + name +
                            ": section \"MOTION\" holds a record count of " +
                            std::to_string(ms.records) + " and a file length of " +
                            std::to_string(ms.filebytes) + " bytes");
        simulation::engmotion = ms.work;
        motiondata::nforces = static_cast<int>(ms.records);
        // forces.dat is written by process 0 alone and closed after each record.
        if (commnodes::myid == 0 && ms.records > 0) {
            ffi::cutbackfile(name, motion::filename, ms.filebytes);
        }
    }
    std::vector<double> frametimes;
    if (fields) frametimes = loadfields(c, name, s);
    energystate es{};
    if (dataout::energyon) es = loadbalance(c, name);
    s.restored = true;

    cutresults(name, lengths, es);
    if (!walls::list.empty()) walls::cutback(name);
    if (!rigiddata::bodies.empty()) rigid::cutback(name);
    if (fields) removelaterframes(frametimes);
    sequence = candidate;
    // Accepted: the echo read again from the same deck replaces the file.
    ffi::keepecho();
}

}  // namespace checkpoint
