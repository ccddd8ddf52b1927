#include "control/fieldout.hpp"

#include <mpi.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "material/catalog.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/vtkxml.hpp"
#include "parallel/deckname.hpp"

namespace fieldout {

namespace {

// Deflate level: 1 is several times faster than the default and loses
// little on data that does not repeat. The blocks of the arrays that change
// are compressed with libdeflate, about twice as fast as zlib at the same
// size; the constant arrays, compressed once, with zlib.
constexpr int level = 1;
constexpr vtkxml::engine deflate = vtkxml::engine::libdeflate;
constexpr int celllevel = 6;

// Threads compressing the blocks of an array: the cores a one-process run
// leaves idle (up to 4); one where every core runs a process of the job.
int compressthreads() {
    if (commnodes::nprocs != 1) return 1;
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 4u));
}

std::string frametag(int frame) {
    char b[16];
    std::snprintf(b, sizeof b, "t%05d", frame);
    return b;
}

// Writes the texts `parts` one after the other to file `name`; stops with
// the system's reason (errno of the first call that failed) when it cannot.
void writefile(const std::string& name, const std::vector<std::string_view>& parts) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        errorstop::stop("*** Error *** cannot open file " + name +
                        " for writing: " + std::strerror(errno));
    int err = 0;
    for (std::string_view t : parts)
        if (err == 0 && std::fwrite(t.data(), 1, t.size(), f) != t.size()) err = errno;
    if (std::fclose(f) != 0 && err == 0) err = errno;
    if (err != 0)
        errorstop::stop("*** Error *** writing file " + name + " failed: " + std::strerror(err));
}

// Replaces the series file through a temporary name, so that it is always
// whole.
void writeseries(const std::string& text) {
    const std::string tmp = std::string(seriesname) + ".tmp";
    writefile(tmp, {text});
    std::error_code ec;
    std::filesystem::rename(tmp, seriesname, ec);
    if (ec)
        errorstop::stop(std::string("*** Error *** writing file ") + seriesname +
                        " failed: " + ec.message());
}

// The folder of the field files: made at the first frame and again on a
// restart, when it may have been removed.
void makefolder() {
    std::error_code ec;
    std::filesystem::create_directories("field", ec);
    if (!std::filesystem::is_directory("field"))
        errorstop::stop("*** Error *** cannot create the folder field for the field output" +
                        (ec ? ": " + ec.message() : std::string()));
}

bool hasenergy() {
    for (const material& m : materialdata::mat_list)
        if (m.etype == 1) return true;
    return false;
}

// Some material set keeps a temperature (jcth).
bool hastemperature() {
    for (const material& m : materialdata::mat_list)
        if (const catalog::model* k = catalog::find(m.mtype); k && k->hastemperature()) return true;
    return false;
}

// The arrays of a piece in write order, with their types and components,
// shared by the piece and the parallel file.
struct arrayspec {
    const char* type;
    const char* name;
    int ncomp;
};
constexpr arrayspec pointarrays[] = {
    {"Float32", "velocity", 3}, {"Float32", "displacement", 3}, {"Int32", "node", 1}};
// The cell fields up to the relative volume, always written; then those of
// some models only, then the numbers.
constexpr arrayspec cellarrays[] = {
    {"Float32", "stress_xx", 1},      {"Float32", "stress_yy", 1},
    {"Float32", "stress_zz", 1},      {"Float32", "stress_yz", 1},
    {"Float32", "stress_zx", 1},      {"Float32", "stress_xy", 1},
    {"Float32", "pressure", 1},       {"Float32", "equivalent_stress", 1},
    {"Float32", "plastic_strain", 1}, {"Float32", "relative_volume", 1}};
constexpr arrayspec optionalarrays[] = {
    {"Float32", "internal_energy", 1}, {"Float32", "temperature", 1}, {"Float32", "damage", 1}};
constexpr arrayspec numberarrays[] = {
    {"Int32", "material", 1}, {"Int32", "element", 1}, {"Int32", "process", 1}};
// Which optional arrays a frame has: internal energy (a Gruneisen equation
// of state), temperature (a material that keeps it), damage ("fail").
struct optionals {
    bool eint = false, temp = false, damage = false;
    bool has(std::size_t i) const { return i == 0 ? eint : i == 1 ? temp : damage; }
};
optionals optionalsnow() {
    return {hasenergy(), hastemperature(),
            failuredata::on &&
                failuredata::damage.size() == static_cast<std::size_t>(elementdata::nb_element)};
}

}  // namespace

std::string piecename(int frame, int id) {
    return "field/" + frametag(frame) + "_" + commnodes::deckname(id) + ".vtu";
}

std::string parallelname(int frame) { return "field/" + frametag(frame) + ".pvtu"; }

namespace {

// Every array of a piece is compressed in 1 MiB blocks: a block's first
// 32 KiB find no earlier bytes to match, so longer blocks compress better
// (about 3 % of a frame against 64 KiB) and the threads still share the
// blocks of the whole frame.
constexpr std::size_t fieldblock = std::size_t{1} << 20;
// Values of a Float32 block, and of the two Float64 blocks of the points
// that hold the same coordinates.
constexpr std::size_t floatblock = fieldblock / 4;

std::size_t nbblocks(std::size_t bytes) { return (bytes + fieldblock - 1) / fieldblock; }
std::size_t blocklen(std::size_t bytes, std::size_t b) {
    return std::min(fieldblock, bytes - b * fieldblock);
}

// Bytes in anonymous pages of their own: a frame's copy, handed back to the
// system block by block as its blocks are compressed, so that the copy
// shrinks while the compressed frame grows; and every compressed block. None
// of them lives in a heap, where freed pages stay among the blocks kept for
// the whole run (the constant arrays) and count on top of the next frame.
class pagebuffer {
  public:
    pagebuffer() = default;
    explicit pagebuffer(std::size_t bytes) : size_(bytes) {
        if (bytes == 0) return;
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<unsigned char*>(p);
    }
    pagebuffer(pagebuffer&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
    pagebuffer& operator=(pagebuffer&& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        return *this;
    }
    pagebuffer(const pagebuffer&) = delete;
    pagebuffer& operator=(const pagebuffer&) = delete;
    ~pagebuffer() {
        if (data_) munmap(data_, size_);
    }
    std::size_t size() const { return size_; }
    std::string_view view() const { return {as<char>(), size_}; }
    template <class T>
    T* as() const {
        return reinterpret_cast<T*>(data_);
    }
    // Gives back the whole pages of `len` bytes from `at` (a block: `at` is
    // a multiple of the page size, and the last block reaches the end).
    void release(std::size_t at, std::size_t len) const {
        if (!data_) return;
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        std::size_t end = at + len;
        end = end == size_ ? (end + page - 1) / page * page : end / page * page;
        if (end > at) madvise(data_ + at, end - at, MADV_DONTNEED);
    }

  private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// The first `n` bytes of `room` in pages of their own.
pagebuffer keep(const pagebuffer& room, std::size_t n) {
    pagebuffer p(n);
    if (n > 0) std::memcpy(p.as<unsigned char>(), room.as<unsigned char>(), n);
    return p;
}

// One array as it goes into the file: its length in bytes and the zlib
// stream of each of its blocks, each stored on its own at its own size (no
// room left for the bound, nothing copied together); the header is made when
// the piece is written.
struct packedarray {
    std::size_t n = 0;
    std::vector<pagebuffer> z;
};

// Scratch of one compressing thread: the room of a compressed block and the
// bytes of a block made on the fly (numbers, connectivity, displacement,
// relative volume) or inflated (the deck's coordinates).
struct worker {
    pagebuffer room{vtkxml::compressbound(fieldblock)}, made{fieldblock}, inflated{2 * fieldblock};
};

// A block of an array to compress: `bytes` gives the bytes of block b of
// `len` bytes, from a copy or made in the worker's scratch; `done` (if any)
// is told when the block is compressed.
struct arraywork {
    packedarray* out;
    std::size_t n;
    int level;
    vtkxml::engine e;
    std::function<const void*(std::size_t b, std::size_t len, worker& w)> bytes;
    std::function<void(std::size_t b, std::size_t len)> done;
};

void compressall(const std::vector<arraywork>& arrays, int threads) {
    struct job {
        std::size_t array, block;
    };
    std::vector<job> jobs;
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        const std::size_t nb = nbblocks(arrays[a].n);
        arrays[a].out->n = arrays[a].n;
        arrays[a].out->z.clear();
        arrays[a].out->z.resize(nb);
        for (std::size_t b = 0; b < nb; ++b) jobs.push_back({a, b});
    }
    std::vector<worker> workers(static_cast<std::size_t>(std::max(threads, 1)));
    vtkxml::runjobs(jobs.size(), threads, [&](std::size_t j, int t) {
        const arraywork& a = arrays[jobs[j].array];
        const std::size_t b = jobs[j].block, len = blocklen(a.n, b);
        worker& w = workers[static_cast<std::size_t>(t)];
        a.out->z[b] = keep(w.room, vtkxml::compressblock(a.bytes(b, len, w), len, a.level, a.e,
                                                         w.room.as<void>()));
        if (a.done) a.done(b, len);
    });
}

// The arrays of a piece that change only when elements erode: node,
// material, element and process numbers, connectivity, offsets and cell
// types. A process deck with the
// whole-model numbers ("glob") names its nodes and elements by them, so that
// the pieces of a partitioned run agree on a shared node's number and match
// the model's deck and hexdyn.map; otherwise they are the numbers of the
// process's own deck. The material is the element's material set, the part
// it belongs to (contact sets keep their numbers on every process). The
// node numbers are compressed once, with the first frame; the cell arrays
// with it and again at a frame whose cells differ (elements only erode, so
// the number of cells tells the set), block by block from the element
// records, and their compressed blocks serve the frames in between.
// The connectivity, the largest of them, is compressed at a higher level:
// about 3 % smaller for a few times the time of one frame's compression of
// it, once; the others gain nothing.
constexpr int connectivitylevel = 6;

struct constantarrays {
    packedarray node, material, element, process, connectivity, offsets, types;
    bool ready = false;              // the node numbers are made
    std::size_t cellsof = SIZE_MAX;  // the number of cells the cell arrays hold
};

// The elements a frame draws: every element, or those of `kept` (0-based,
// in element order) once some have eroded.
struct cellset {
    std::size_t n = 0;
    const std::int32_t* kept = nullptr;
    std::size_t operator[](std::size_t i) const {
        return kept ? static_cast<std::size_t>(kept[i]) : i;
    }
};

void compressconstants(constantarrays& c, cellset cells, int lvl, int connlvl, int threads) {
    const std::size_t np =
        particledata::nb_particle > 0 ? static_cast<std::size_t>(particledata::nb_particle) : 0;
    const std::size_t ne = cells.n;
    const element* el = elementdata::element_list.data();
    // An Int32 array of `count` values, value(k) for k from the block's first.
    auto ints = [](packedarray& out, std::size_t count, int l, auto value) {
        return arraywork{&out,
                         4 * count,
                         l,
                         vtkxml::engine::zlib,
                         [value](std::size_t b, std::size_t len, worker& w) -> const void* {
                             auto* v = w.made.as<std::int32_t>();
                             for (std::size_t i = 0, k = b * floatblock; i < len / 4; ++i, ++k)
                                 v[i] = value(k);
                             return v;
                         },
                         nullptr};
    };
    const int myid = commnodes::myid;
    // The "glob" lists hold nb_particle and nb_element numbers or none.
    const int* gnode = particledata::global.empty() ? nullptr : particledata::global.data();
    const int* gelem = elementdata::global.empty() ? nullptr : elementdata::global.data();
    std::vector<arraywork> arrays;
    if (!c.ready)
        arrays.push_back(ints(c.node, np, lvl, [gnode](std::size_t k) {
            return gnode ? gnode[k] : static_cast<std::int32_t>(k + 1);
        }));
    if (c.cellsof != ne) {
        arrays.push_back(
            ints(c.material, ne, lvl, [el, cells](std::size_t i) { return el[cells[i]].mat; }));
        arrays.push_back(ints(c.element, ne, lvl, [gelem, cells](std::size_t i) {
            const std::size_t e = cells[i];
            return gelem ? gelem[e] : static_cast<std::int32_t>(e + 1);
        }));
        arrays.push_back(ints(c.process, ne, lvl, [myid](std::size_t) { return myid; }));
        arrays.push_back(ints(c.offsets, ne, lvl, [](std::size_t i) {
            return static_cast<std::int32_t>(8 * (i + 1));
        }));
        // 0-based corners in the element's own order, which is VTK's
        // hexahedron (type 12): one face 1-4, corner k+4 opposite corner k.
        arrays.push_back(ints(c.connectivity, 8 * ne, connlvl, [el, cells](std::size_t k) {
            return el[cells[k / 8]].node[k % 8] - 1;
        }));
        arrays.push_back({&c.types, ne, lvl, vtkxml::engine::zlib,
                          [](std::size_t, std::size_t len, worker& w) -> const void* {
                              std::memset(w.made.as<void>(), 12, len);
                              return w.made.as<void>();
                          },
                          nullptr});
    }
    compressall(arrays, threads);
    c.ready = true;
    c.cellsof = ne;
}

// The deck's coordinates, for the displacement: compressed, one stream per
// block of displacement values (floatblock coordinates). Deck reals are read
// in single precision, so they are kept as Float32 when every one of them
// is a widened float (always, for coordinates read from a deck), as Float64
// otherwise.
struct origin {
    std::size_t n = 0;  // coordinates kept (3 per node)
    bool single = true;
    std::vector<pagebuffer> z;
} deck;

void keeporigin(int threads) {
    const std::vector<double>& pos = particledata::pos;
    deck = {};
    deck.n = pos.size();
    for (double v : pos)
        if (static_cast<double>(static_cast<float>(v)) != v) deck.single = false;
    deck.z.resize((deck.n + floatblock - 1) / floatblock);
    std::vector<worker> workers(static_cast<std::size_t>(std::max(threads, 1)));
    vtkxml::runjobs(deck.z.size(), threads, [&](std::size_t b, int t) {
        worker& w = workers[static_cast<std::size_t>(t)];
        const std::size_t first = b * floatblock, count = std::min(floatblock, deck.n - first);
        const void* bytes = pos.data() + first;
        if (deck.single) {
            auto* f = w.made.as<float>();
            for (std::size_t i = 0; i < count; ++i) f[i] = static_cast<float>(pos[first + i]);
            bytes = f;
        }
        deck.z[b] =
            keep(w.room, vtkxml::compressblock(bytes, (deck.single ? 4 : 8) * count, 1,
                                               vtkxml::engine::libdeflate, w.room.as<void>()));
    });
}

// One frame's state as it will be written: the values that change, copied
// while the time loop waits, so that the loop may go on while they are
// compressed and written. The Float32 fields are stored as Float32; the
// displacement and the relative volume are not copied but made from the
// copied points when they are compressed.
struct framestate {
    double time = 0.0;
    int frame = 0;
    std::size_t np = 0, ne = 0;  // points, and the cells drawn
    optionals extra;
    // The elements drawn, 0-based, when some have eroded (empty: all). An
    // eroded element is left out of the cells rather than kept and flagged
    // hidden: a viewer that hides a flagged cell also drops the faces a
    // survivor shares with it, which opens the surface of what remains. Its
    // nodes stay among the points.
    std::vector<std::int32_t> kept;
    pagebuffer points;              // 3 np Float64
    pagebuffer velocity;            // 3 np Float32
    std::vector<pagebuffer> cells;  // ne Float32 each: six stresses, pressure, equivalent,
                                    // plastic strain, then the optional arrays present
    cellset drawn() const { return {ne, kept.empty() ? nullptr : kept.data()}; }
};

// `lag`: the velocities held are those of the half step before `time` and
// the accelerations held those of `time`; the velocity of `time` is then
// v + lag a (0: the velocities held as they are).
void capture(framestate& s, double time, int frame, double lag) {
    using particledata::nb_particle;
    const std::size_t np = nb_particle > 0 ? static_cast<std::size_t>(nb_particle) : 0;
    const std::size_t nel =
        elementdata::nb_element > 0 ? static_cast<std::size_t>(elementdata::nb_element) : 0;
    s.time = time;
    s.frame = frame;
    s.np = np;
    s.extra = optionalsnow();
    s.kept.clear();
    if (s.extra.damage && failuredata::neroded > 0) {
        for (std::size_t e = 0; e < nel; ++e)
            if (!failuredata::eroded[e]) s.kept.push_back(static_cast<std::int32_t>(e));
    }
    const std::size_t ne = s.extra.damage && failuredata::neroded > 0 ? s.kept.size() : nel;
    s.ne = ne;
    s.points = pagebuffer(24 * np);
    if (np > 0) std::memcpy(s.points.as<double>(), particledata::pos.data(), 24 * np);
    // The fresh pages read as zeros and take no memory until written: the
    // zeros (bit for bit) are not written, so that the part of the body at
    // rest, often most of it in an impact, costs nothing.
    auto put = [](float* to, double value) {
        const auto f = static_cast<float>(value);
        if (std::bit_cast<std::uint32_t>(f) != 0) *to = f;
    };
    s.velocity = pagebuffer(12 * np);
    float* v = s.velocity.as<float>();
    const double* vel = particledata::vel.data();
    if (lag == 0.0) {
        for (std::size_t i = 0; i < 3 * np; ++i) put(v + i, vel[i]);
    } else {
        const double* acc = particledata::acc.data();
        for (std::size_t i = 0; i < 3 * np; ++i) put(v + i, vel[i] + lag * acc[i]);
    }

    // Cell data, one value per element drawn from its history record.
    s.cells.clear();
    const cellset drawn = s.drawn();
    const element* el = elementdata::element_list.data();
    const history* h = materialdata::history_list.data();
    auto field = [&](auto value) {
        pagebuffer f(4 * ne);
        float* x = f.as<float>();
        for (std::size_t i = 0; i < ne; ++i) {
            const std::size_t e = drawn[i];
            put(x + i, value(h[el[e].nhistory - 1], e));
        }
        s.cells.push_back(std::move(f));
    };
    for (int i = 0; i < 6; ++i)
        field([i](const history& r, std::size_t) { return i < 3 ? r.sd[i] + r.sm : r.sd[i]; });
    field([](const history& r, std::size_t) { return -r.sm; });
    field([](const history& r, std::size_t) { return r.seqv; });
    field([](const history& r, std::size_t) { return r.epeff; });
    if (s.extra.eint) field([](const history& r, std::size_t) { return r.eint; });
    // The temperature of the elements of a set that keeps one; NaN (no
    // value, which ParaView draws in its NaN colour and leaves out of the
    // range) in the others.
    if (s.extra.temp)
        field([el](const history& r, std::size_t e) {
            const catalog::model* k = catalog::find(
                materialdata::mat_list[static_cast<std::size_t>(el[e].mat - 1)].mtype);
            return k && k->hastemperature() ? r.temp : std::numeric_limits<double>::quiet_NaN();
        });
    if (s.extra.damage) field([](const history&, std::size_t e) { return failuredata::damage[e]; });
}

// The compressed arrays of a frame that change, in the order of the file.
struct packedframe {
    packedarray velocity, displacement, points, relvol;
    std::vector<packedarray> cells;  // as framestate's
};

// Compresses a captured frame, giving its copy back block by block: first
// the velocity, the cell fields and the relative volume (made from the
// points, element by element), then for each block of the displacement
// (made from the points and the deck's coordinates) the two blocks of the
// points with the same coordinates, which are then given back.
void compressframe(framestate& s, packedframe& z, int lvl, int threads) {
    using vtkxml::engine;
    const engine fast = deflate;
    std::vector<arraywork> first;
    auto copied = [](const pagebuffer& p) {
        return [&p](std::size_t b, std::size_t, worker&) -> const void* {
            return p.as<unsigned char>() + b * fieldblock;
        };
    };
    auto giveback = [](const pagebuffer& p) {
        return [&p](std::size_t b, std::size_t len) { p.release(b * fieldblock, len); };
    };
    first.push_back({&z.velocity, 12 * s.np, lvl, fast, copied(s.velocity), giveback(s.velocity)});
    // The cell fields at a higher level: libdeflate's level 6 makes them
    // about 6 % smaller than level 1 and still compresses them faster than
    // zlib's level 1; on the point arrays it gains nothing.
    const int cl = std::max(lvl, celllevel);
    z.cells.resize(s.cells.size());
    for (std::size_t i = 0; i < s.cells.size(); ++i)
        first.push_back(
            {&z.cells[i], 4 * s.ne, cl, fast, copied(s.cells[i]), giveback(s.cells[i])});
    const double* pts = s.points.as<double>();
    const cellset drawn = s.drawn();
    first.push_back({&z.relvol, 4 * s.ne, cl, fast,
                     [pts, drawn](std::size_t b, std::size_t len, worker& w) -> const void* {
                         const element* el = elementdata::element_list.data();
                         const history* h = materialdata::history_list.data();
                         auto* f = w.made.as<float>();
                         for (std::size_t i = 0, k = b * floatblock; i < len / 4; ++i, ++k) {
                             const std::size_t e = drawn[k];
                             double xyz[8][3], vol, ijac[3][3];
                             gather_corners(el[e].node, pts, xyz);
                             jacobian(xyz, vol, ijac);
                             f[i] = static_cast<float>(vol / h[el[e].nhistory - 1].vol0);
                         }
                         return f;
                     },
                     nullptr});
    compressall(first, threads);

    const std::size_t nd = 12 * s.np;
    z.displacement.n = nd;
    z.displacement.z.resize(nbblocks(nd));
    z.points.n = 2 * nd;
    z.points.z.resize(nbblocks(2 * nd));
    std::vector<worker> workers(static_cast<std::size_t>(std::max(threads, 1)));
    vtkxml::runjobs(z.displacement.z.size(), threads, [&](std::size_t b, int t) {
        worker& w = workers[static_cast<std::size_t>(t)];
        const std::size_t len = blocklen(nd, b), count = len / 4, at = b * floatblock;
        // The deck's coordinates of the block (those past the kept ones, if
        // any, count as not moved).
        const std::size_t kept = at < deck.n ? std::min(count, deck.n - at) : 0;
        if (kept > 0) {
            const std::size_t size = (deck.single ? 4 : 8) * kept;
            if (!vtkxml::inflateblock(deck.z[b].as<char>(), deck.z[b].size(), w.inflated.as<void>(),
                                      size))
                throw std::runtime_error("the deck's coordinates do not inflate");
        }
        // Float32 coordinates give way to the displacement in place, one
        // scratch block fewer.
        const float* f = w.inflated.as<float>();
        const double* d = w.inflated.as<double>();
        float* u = deck.single ? w.inflated.as<float>() : w.made.as<float>();
        for (std::size_t i = 0; i < count; ++i) {
            const double p = pts[at + i];
            const double p0 = i >= kept ? p : deck.single ? static_cast<double>(f[i]) : d[i];
            u[i] = static_cast<float>(p - p0);
        }
        z.displacement.z[b] =
            keep(w.room, vtkxml::compressblock(u, len, lvl, fast, w.room.as<void>()));
        for (std::size_t k = 2 * b; k < 2 * b + 2 && k < z.points.z.size(); ++k) {
            const std::size_t plen = blocklen(2 * nd, k);
            z.points.z[k] =
                keep(w.room, vtkxml::compressblock(s.points.as<unsigned char>() + k * fieldblock,
                                                   plen, lvl, fast, w.room.as<void>()));
            s.points.release(k * fieldblock, plen);
        }
    });
    s.points = {};
    s.velocity = {};
    s.cells.clear();
}

// The XML part of the piece (up to the "_" marker of the appended data) and
// the appended data as pieces in file order (headers and blocks), from a
// compressed frame and the constant arrays.
void pieceparts(const framestate& s, const packedframe& z, const constantarrays& c,
                std::string& xml, std::vector<std::string>& headers,
                std::vector<std::string_view>& data) {
    std::string pointdata, celldata, points, cells;
    std::size_t offset = 0;
    std::vector<const packedarray*> order;
    auto line = [&](std::string& to, const char* type, const char* name, int ncomp,
                    const packedarray& a) {
        to += "        ";
        to += vtkxml::arraytag(type, name, ncomp, offset);
        to += '\n';
        std::vector<std::size_t> sizes;
        for (const pagebuffer& b : a.z) sizes.push_back(b.size());
        headers.push_back(vtkxml::blockheader(a.n, fieldblock, sizes));
        offset += headers.back().size();
        for (std::size_t b : sizes) offset += b;
        order.push_back(&a);
    };
    // Appended in the order of the tags: point data, cell data, points, cells.
    line(pointdata, "Float32", "velocity", 3, z.velocity);
    line(pointdata, "Float32", "displacement", 3, z.displacement);
    line(pointdata, "Int32", "node", 1, c.node);
    // The captured fields: those before the relative volume, then the
    // optional ones present.
    constexpr std::size_t nfixed = std::size(cellarrays) - 1;
    for (std::size_t i = 0; i < nfixed; ++i)
        line(celldata, "Float32", cellarrays[i].name, 1, z.cells[i]);
    line(celldata, "Float32", cellarrays[nfixed].name, 1, z.relvol);
    std::size_t next = nfixed;
    for (std::size_t i = 0; i < std::size(optionalarrays); ++i)
        if (s.extra.has(i)) line(celldata, "Float32", optionalarrays[i].name, 1, z.cells[next++]);
    line(celldata, "Int32", "material", 1, c.material);
    line(celldata, "Int32", "element", 1, c.element);
    line(celldata, "Int32", "process", 1, c.process);
    line(points, "Float64", "Points", 3, z.points);
    line(cells, "Int32", "connectivity", 1, c.connectivity);
    line(cells, "Int32", "offsets", 1, c.offsets);
    line(cells, "UInt8", "types", 1, c.types);
    for (std::size_t a = 0; a < order.size(); ++a) {
        data.push_back(headers[a]);
        for (const pagebuffer& b : order[a]->z) data.push_back(b.view());
    }

    xml = vtkxml::vtuhead(s.time, static_cast<long long>(s.np), static_cast<long long>(s.ne));
    xml += "      <PointData Vectors=\"velocity\">\n" + pointdata + "      </PointData>\n";
    xml += "      <CellData Scalars=\"plastic_strain\">\n" + celldata + "      </CellData>\n";
    xml += "      <Points>\n" + points + "      </Points>\n";
    xml += "      <Cells>\n" + cells + "      </Cells>\n";
    xml += vtkxml::vtutail();
}

}  // namespace

std::string piece(double time, int lvl) {
    framestate s;
    capture(s, time, 0, 0.0);
    constantarrays c;
    compressconstants(c, s.drawn(), lvl, std::max(lvl, connectivitylevel), 1);
    packedframe z;
    compressframe(s, z, lvl, 1);
    std::string xml;
    std::vector<std::string> headers;
    std::vector<std::string_view> data;
    pieceparts(s, z, c, xml, headers, data);
    for (std::string_view d : data) xml += d;
    return xml + vtkxml::vtuend();
}

namespace {

std::string parallelfile(double time, int frame) {
    std::string x =
        "<?xml version=\"1.0\"?>\n"
        "<VTKFile type=\"PUnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt64\">\n"
        "  <PUnstructuredGrid GhostLevel=\"0\">\n";
    char t[40];
    std::snprintf(t, sizeof t, "%.17g", time);
    x += "    <PFieldData>\n      <DataArray type=\"Float64\" Name=\"TimeValue\" "
         "NumberOfTuples=\"1\" format=\"ascii\">";
    x += t;
    x += "</DataArray>\n    </PFieldData>\n";
    auto arrayline = [&x](const arrayspec& a) {
        x += "      <PDataArray type=\"";
        x += a.type;
        x += "\" Name=\"";
        x += a.name;
        x += "\"";
        if (a.ncomp != 1) x += " NumberOfComponents=\"" + std::to_string(a.ncomp) + "\"";
        x += "/>\n";
    };
    x += "    <PPointData Vectors=\"velocity\">\n";
    for (const arrayspec& a : pointarrays) arrayline(a);
    x += "    </PPointData>\n    <PCellData Scalars=\"plastic_strain\">\n";
    for (const arrayspec& a : cellarrays) arrayline(a);
    const optionals extra = optionalsnow();
    for (std::size_t i = 0; i < std::size(optionalarrays); ++i)
        if (extra.has(i)) arrayline(optionalarrays[i]);
    for (const arrayspec& a : numberarrays) arrayline(a);
    x += "    </PCellData>\n    <PPoints>\n";
    arrayline({"Float64", "Points", 3});
    x += "    </PPoints>\n";
    for (int p = 0; p < commnodes::nprocs; ++p) {
        std::string name = piecename(frame, p);
        x += "    <Piece Source=\"" + vtkxml::escape(name.substr(name.find('/') + 1)) + "\"/>\n";
    }
    x += "  </PUnstructuredGrid>\n</VTKFile>\n";
    return x;
}

// Times of the frames written so far, for the series file, and whether the
// series lists each: every frame, except those of a continued run whose
// files had gone at the restart.
std::vector<double> frametimes;
std::vector<char> framelisted;

std::string seriesfile() {
    std::string x =
        "<?xml version=\"1.0\"?>\n"
        "<VTKFile type=\"Collection\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt64\">\n"
        "  <Collection>\n";
    for (std::size_t i = 0; i < frametimes.size(); ++i) {
        if (i < framelisted.size() && !framelisted[i]) continue;
        char t[40];
        std::snprintf(t, sizeof t, "%.17g", frametimes[i]);
        x += "    <DataSet timestep=\"";
        x += t;
        x += "\" group=\"\" part=\"0\" file=\"" +
             vtkxml::escape(parallelname(static_cast<int>(i))) + "\"/>\n";
    }
    x += "  </Collection>\n</VTKFile>\n";
    return x;
}

}  // namespace

namespace {

// The frame being compressed and written on the background thread, and what
// it needs: the state captured for it, the constant arrays of the run, the
// parallel file's text on process 0. The time loop goes on meanwhile; the
// next frame, a checkpoint, a stop signal, the end of the run and start()
// wait for it first. A stop inside the writer (a file that cannot be
// written) is kept and raised in the time loop's thread when it waits.
//
// The series file lists a frame only once every process has its piece on
// disk: the wait ends with a vote of all processes, which every process
// reaches at the same step (frames, checkpoints, stop signals and the end
// fall on the same steps everywhere; `pending` is alike on all of them).
// Process 0 then rewrites field.pvd on the time loop's thread. When a piece
// failed, the process that failed stops with its reason, the others stop
// without a word, and process 0 removes the parallel file of the frame.
struct backgroundwriter {
    std::thread thread;
    std::exception_ptr failed;
    framestate state;
    constantarrays constants;
    bool pending = false;

    void wait() {
        if (thread.joinable()) thread.join();
        if (!pending) return;
        pending = false;
        int written = failed ? 0 : 1;
        if (commnodes::nprocs > 1)
            MPI_Allreduce(MPI_IN_PLACE, &written, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
        if (!written && commnodes::myid == 0) {
            std::error_code ec;
            std::filesystem::remove(parallelname(state.frame), ec);
        }
        if (failed) {
            std::exception_ptr e = failed;
            failed = nullptr;
            std::rethrow_exception(e);
        }
        if (!written) errorstop::stop();
        if (commnodes::myid == 0) writeseries(seriesfile());
    }
    // A run that ends otherwise than through its last frame (a stop, a
    // signal) still completes the frame under way before the process ends.
    ~backgroundwriter() {
        if (thread.joinable()) thread.join();
    }
};

backgroundwriter writer;

// Compresses the frame (its copy given back as it goes) and writes the
// piece from the compressed blocks as they lie; the frame's blocks are let go
// once the piece is on disk.
void writeframe(const std::string& pvtu) {
    framestate& s = writer.state;
    const int threads = compressthreads();
    if (!writer.constants.ready || writer.constants.cellsof != s.ne)
        compressconstants(writer.constants, s.drawn(), level, connectivitylevel, threads);
    {
        packedframe z;
        compressframe(s, z, level, threads);
        std::string xml;
        std::vector<std::string> headers;
        std::vector<std::string_view> parts = {{}};
        pieceparts(s, z, writer.constants, xml, headers, parts);
        parts[0] = xml;
        const std::string end = vtkxml::vtuend();
        parts.push_back(end);
        writefile(piecename(s.frame, commnodes::myid), parts);
    }
    if (commnodes::myid == 0) writefile(parallelname(s.frame), {pvtu});
}

}  // namespace

void wait() { writer.wait(); }

void write(double time, double lag) {
    writer.wait();
    const int frame = dataout::nfield;
    if (frame == 0) {
        frametimes.clear();
        framelisted.clear();
        makefolder();
    }
    capture(writer.state, time, frame, lag);
    frametimes.push_back(time);
    framelisted.push_back(1);
    std::string pvtu;
    if (commnodes::myid == 0) pvtu = parallelfile(time, frame);
    dataout::nfield = frame + 1;
    writer.pending = true;
    writer.thread = std::thread([pvtu = std::move(pvtu)] {
        try {
            writeframe(pvtu);
        } catch (...) { writer.failed = std::current_exception(); }
    });
}

void start() {
    wait();
    writer.constants = {};
    keeporigin(compressthreads());
    dataout::nfield = 0;
}

const std::vector<double>& frames() { return frametimes; }

namespace {

// The files of frame `frame` are all on disk: the parallel file and the
// piece of every process (the processes share the working directory).
bool framefiles(int frame) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(parallelname(frame), ec)) return false;
    for (int p = 0; p < commnodes::nprocs; ++p)
        if (!std::filesystem::is_regular_file(piecename(frame, p), ec)) return false;
    return true;
}

}  // namespace

void resume(const std::vector<double>& times) {
    frametimes = times;
    framelisted.assign(times.size(), 1);
    if (!times.empty()) makefolder();
    if (commnodes::myid != 0) return;
    std::error_code ec;
    std::filesystem::remove(std::string(seriesname) + ".tmp", ec);
    if (times.empty()) {
        std::filesystem::remove(seriesname, ec);
        return;
    }
    // The state of a frame is gone with the run that wrote it: a frame whose
    // files were removed is left out of the series, with a word.
    std::size_t gone = 0;
    for (std::size_t f = 0; f < times.size(); ++f)
        if (!framefiles(static_cast<int>(f))) {
            framelisted[f] = 0;
            ++gone;
        }
    if (gone > 0)
        errorstop::writeline(" *** Warning *** " + std::to_string(gone) + " of the " +
                             std::to_string(times.size()) +
                             " field frame(s) written before the restart have lost their files; " +
                             seriesname + " lists the others");
    writeseries(seriesfile());
}

}  // namespace fieldout
