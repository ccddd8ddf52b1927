#include "output/vtkxml.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace vtkxml {

namespace {

void putu64(unsigned char* b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint64_t getu64(const std::string& s, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::string real(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

}  // namespace

namespace {

// One zlib deflate stream per thread (the calling thread's kept for
// the whole run), reset for every block: the same bytes as compress2 (init,
// deflate to the end, end), without allocating and clearing the stream's
// tables anew for each block.
class deflater {
  public:
    deflater() = default;
    deflater(const deflater&) = delete;
    deflater& operator=(const deflater&) = delete;
    ~deflater() {
        if (level_ >= -1) deflateEnd(&z_);
    }
    // Compresses `n` bytes at `in` into `out` (room for compressBound(n));
    // returns the compressed size.
    std::size_t compress(unsigned char* out, const unsigned char* in, std::size_t n, int level) {
        if (level != level_) {
            if (level_ >= -1) deflateEnd(&z_);
            z_ = z_stream{};
            level_ = -2;
            if (deflateInit(&z_, level) != Z_OK) return 0;
            level_ = level;
        } else {
            deflateReset(&z_);
        }
        z_.next_in = const_cast<Bytef*>(in);
        z_.avail_in = static_cast<uInt>(n);
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(compressBound(static_cast<uLong>(n)));
        deflate(&z_, Z_FINISH);
        return static_cast<std::size_t>(z_.total_out);
    }

  private:
    z_stream z_{};
    int level_ = -2;  // level of the initialised stream, -2 before the first block
};

// libdeflate's compressor of one level, kept per thread: it makes a zlib
// stream (header, deflate data, Adler-32) as zlib's does, about twice as
// fast at the same size.
class fastdeflater {
  public:
    fastdeflater() = default;
    fastdeflater(const fastdeflater&) = delete;
    fastdeflater& operator=(const fastdeflater&) = delete;
    ~fastdeflater() {
        if (c_) libdeflate_free_compressor(c_);
    }
    // Compresses `n` bytes at `in` into `out` (room for `room` bytes);
    // returns the compressed size, 0 when it does not fit or the compressor
    // cannot be made.
    std::size_t compress(unsigned char* out, std::size_t room, const unsigned char* in,
                         std::size_t n, int level) {
        if (!c_ || level != level_) {
            if (c_) libdeflate_free_compressor(c_);
            c_ = libdeflate_alloc_compressor(level);
            level_ = level;
            if (!c_) return 0;
        }
        return libdeflate_zlib_compress(c_, in, n, out, room);
    }

  private:
    libdeflate_compressor* c_ = nullptr;
    int level_ = -1;
};

// Compresses one block with the chosen engine. A block libdeflate cannot fit
// into zlib's bound (incompressible data just at the bound) is compressed by
// zlib instead: a valid stream either way, and the choice depends on the
// bytes only.
std::size_t deflateinto(unsigned char* out, const unsigned char* in, std::size_t n, int level,
                        engine e) {
    thread_local deflater slow;
    if (e == engine::libdeflate) {
        thread_local fastdeflater fast;
        const std::size_t room = compressBound(static_cast<uLong>(n));
        const std::size_t m = fast.compress(out, room, in, n, level);
        if (m > 0) return m;
    }
    return slow.compress(out, in, n, level);
}

}  // namespace

std::vector<std::string> compressarrays(const std::vector<span>& arrays, int level, int threads,
                                        std::size_t block, engine e) {
    // Each array is compressed into its own string: the header, then room
    // for the bound of every block. Block b goes into slot b; the blocks are
    // then moved together in order, so that the bytes do not depend on which
    // thread compressed which block.
    const std::size_t bound = compressBound(static_cast<uLong>(block));
    struct job {
        std::size_t array, block;
    };
    std::vector<job> jobs;
    std::vector<std::string> out(arrays.size());
    std::vector<std::vector<std::size_t>> size(arrays.size());
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        const std::size_t n = arrays[a].n;
        const std::size_t nblocks = (n + block - 1) / block;
        out[a].resize(8 * (3 + nblocks) + nblocks * bound);
        auto* o = reinterpret_cast<unsigned char*>(out[a].data());
        putu64(o, nblocks);
        putu64(o + 8, block);
        putu64(o + 16, n % block);
        size[a].resize(nblocks);
        for (std::size_t b = 0; b < nblocks; ++b) jobs.push_back({a, b});
    }
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t j = next++; j < jobs.size(); j = next++) {
            const auto [a, b] = jobs[j];
            const std::size_t nblocks = size[a].size();
            const std::size_t len =
                b + 1 < nblocks || arrays[a].n % block == 0 ? block : arrays[a].n % block;
            auto* o = reinterpret_cast<unsigned char*>(out[a].data()) + 8 * (3 + nblocks);
            size[a][b] = deflateinto(o + b * bound,
                                     static_cast<const unsigned char*>(arrays[a].data) + b * block,
                                     len, arrays[a].level >= 0 ? arrays[a].level : level, e);
        }
    };
    const std::size_t nt = std::min<std::size_t>(threads > 1 ? threads : 1, jobs.size());
    if (nt <= 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < nt; ++t) pool.emplace_back(work);
        work();
        for (std::thread& th : pool) th.join();
    }
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        auto* o = reinterpret_cast<unsigned char*>(out[a].data());
        const std::size_t first = 8 * (3 + size[a].size());
        std::size_t at = first;
        for (std::size_t b = 0; b < size[a].size(); ++b) {
            // The compressed size goes into its slot of the header.
            putu64(o + 8 * (3 + b), size[a][b]);
            if (at != first + b * bound) std::memmove(o + at, o + first + b * bound, size[a][b]);
            at += size[a][b];
        }
        out[a].resize(at);
    }
    return out;
}

std::size_t compressbound(std::size_t n) { return compressBound(static_cast<uLong>(n)); }

std::size_t compressblock(const void* data, std::size_t n, int level, engine e, void* out) {
    return deflateinto(static_cast<unsigned char*>(out), static_cast<const unsigned char*>(data), n,
                       level, e);
}

std::string blockheader(std::size_t n, std::size_t block, const std::vector<std::size_t>& sizes) {
    std::string h(8 * (3 + sizes.size()), '\0');
    auto* o = reinterpret_cast<unsigned char*>(h.data());
    putu64(o, sizes.size());
    putu64(o + 8, block);
    putu64(o + 16, n % block);
    for (std::size_t b = 0; b < sizes.size(); ++b) putu64(o + 8 * (3 + b), sizes[b]);
    return h;
}

bool inflateblock(const void* z, std::size_t size, void* out, std::size_t n) {
    uLongf len = static_cast<uLongf>(n);
    return uncompress(static_cast<Bytef*>(out), &len, static_cast<const Bytef*>(z),
                      static_cast<uLong>(size)) == Z_OK &&
           len == n;
}

void runjobs(std::size_t n, int threads, const std::function<void(std::size_t, int)>& job) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failed;
    std::mutex m;
    auto work = [&](int worker) {
        try {
            for (std::size_t j = next++; j < n; j = next++) job(j, worker);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(m);
            if (!failed) failed = std::current_exception();
            next = n;
        }
    };
    const int nt = static_cast<int>(std::min<std::size_t>(threads > 1 ? threads : 1, n));
    std::vector<std::thread> pool;
    for (int t = 1; t < nt; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& th : pool) th.join();
    if (failed) std::rethrow_exception(failed);
}

std::string arraytag(const char* type, const std::string& name, int ncomp, std::size_t offset,
                     const std::string& extra) {
    std::string tag = "<DataArray type=\"";
    tag += type;
    tag += "\" Name=\"" + escape(name) + "\"";
    if (ncomp != 1) tag += " NumberOfComponents=\"" + std::to_string(ncomp) + "\"";
    tag += extra;
    tag += " format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>";
    return tag;
}

void appendblocks(std::string& out, const void* data, std::size_t n, int level, int threads,
                  std::size_t block) {
    out += compressarrays({{data, n}}, level, threads, block)[0];
}

std::string appended::add(const char* type, const std::string& name, int ncomp, const void* data,
                          std::size_t nbytes, const std::string& extra) {
    std::string blocks;
    appendblocks(blocks, data, nbytes, level_, threads_);
    return addblocks(type, name, ncomp, blocks, extra);
}

std::string appended::addblocks(const char* type, const std::string& name, int ncomp,
                                const std::string& blocks, const std::string& extra) {
    std::string tag = arraytag(type, name, ncomp, data_.size(), extra);
    data_ += blocks;
    return tag;
}

std::string escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += "&amp;"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            default: r += c;
        }
    }
    return r;
}

std::string vtuhead(double time, long long npoints, long long ncells) {
    return "<?xml version=\"1.0\"?>\n"
           "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
           "header_type=\"UInt64\" compressor=\"vtkZLibDataCompressor\">\n"
           "  <UnstructuredGrid>\n"
           "    <FieldData>\n"
           "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" "
           "format=\"ascii\">" +
           real(time) +
           "</DataArray>\n"
           "    </FieldData>\n"
           "    <Piece NumberOfPoints=\"" +
           std::to_string(npoints) + "\" NumberOfCells=\"" + std::to_string(ncells) + "\">\n";
}

std::string vtutail() {
    return "    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";
}

std::string vtuend() { return "\n  </AppendedData>\n</VTKFile>\n"; }

std::vector<unsigned char> readblocks(const std::string& text, std::size_t offset) {
    std::vector<unsigned char> r;
    if (offset + 24 > text.size()) return {};
    const std::uint64_t nblocks = getu64(text, offset);
    const std::uint64_t bsize = getu64(text, offset + 8);
    const std::uint64_t last = getu64(text, offset + 16);
    std::size_t at = offset + 24 + 8 * nblocks;
    if (at > text.size()) return {};
    for (std::uint64_t b = 0; b < nblocks; ++b) {
        const std::uint64_t csize = getu64(text, offset + 24 + 8 * b);
        const std::uint64_t usize = b + 1 == nblocks && last != 0 ? last : bsize;
        if (at + csize > text.size()) return {};
        const std::size_t old = r.size();
        r.resize(old + usize);
        uLongf len = static_cast<uLongf>(usize);
        if (uncompress(&r[old], &len, reinterpret_cast<const Bytef*>(text.data() + at),
                       static_cast<uLong>(csize)) != Z_OK ||
            len != usize)
            return {};
        at += csize;
    }
    return r;
}

std::vector<float> tofloat(const double* v, std::size_t n) {
    std::vector<float> f(n);
    for (std::size_t i = 0; i < n; ++i) f[i] = static_cast<float>(v[i]);
    return f;
}

}  // namespace vtkxml
