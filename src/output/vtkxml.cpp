#include "output/vtkxml.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// One deflate stream per thread (the calling thread's kept for the whole run),
// reset for every block: the same bytes as compress2 (init, deflate to the
// end, end), without allocating and clearing the stream's tables anew for
// each block.
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

}  // namespace

void appendblocks(std::string& out, const void* data, std::size_t n, int level, int threads) {
    const std::size_t nblocks = (n + blocksize - 1) / blocksize;
    const std::size_t last = n % blocksize;
    const std::size_t head = out.size();
    // Room for the header and the bound of every block: block b is
    // compressed into slot b, then the blocks are moved together in order,
    // so that the bytes do not depend on how many threads compressed them.
    const std::size_t bound = compressBound(static_cast<uLong>(blocksize));
    const std::size_t first = head + 8 * (3 + nblocks);
    out.resize(first + nblocks * bound);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    putu64(o + head, nblocks);
    putu64(o + head + 8, blocksize);
    putu64(o + head + 16, last);
    const auto* p = static_cast<const unsigned char*>(data);
    std::vector<std::size_t> size(nblocks);
    // Blocks t, t + nt, t + 2 nt, ... with one deflate stream per thread.
    auto compressblocks = [&](std::size_t t, std::size_t nt) {
        thread_local deflater stream;
        for (std::size_t b = t; b < nblocks; b += nt) {
            const std::size_t len = b + 1 < nblocks || last == 0 ? blocksize : last;
            size[b] = stream.compress(o + first + b * bound, p + b * blocksize, len, level);
        }
    };
    const std::size_t nt = std::min<std::size_t>(threads > 1 ? threads : 1, nblocks);
    if (nt <= 1) {
        compressblocks(0, 1);
    } else {
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < nt; ++t) pool.emplace_back(compressblocks, t, nt);
        compressblocks(0, nt);
        for (std::thread& th : pool) th.join();
    }
    std::size_t at = first;
    for (std::size_t b = 0; b < nblocks; ++b) {
        // The compressed size goes into its slot of the header.
        putu64(o + head + 8 * (3 + b), size[b]);
        if (at != first + b * bound) std::memmove(o + at, o + first + b * bound, size[b]);
        at += size[b];
    }
    out.resize(at);
}

std::string appended::add(const char* type, const std::string& name, int ncomp, const void* data,
                          std::size_t nbytes, const std::string& extra) {
    std::string tag = "<DataArray type=\"";
    tag += type;
    tag += "\" Name=\"" + escape(name) + "\"";
    if (ncomp != 1) tag += " NumberOfComponents=\"" + std::to_string(ncomp) + "\"";
    tag += extra;
    tag += " format=\"appended\" offset=\"" + std::to_string(data_.size()) + "\"/>";
    appendblocks(data_, data, nbytes, level_, threads_);
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
