#include "output/vtkxml.hpp"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace vtkxml {

namespace {

void putu64(std::string& out, std::uint64_t v) {
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
    out.append(reinterpret_cast<const char*>(b), 8);
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

void appendblocks(std::string& out, const void* data, std::size_t n, int level) {
    const std::size_t nblocks = (n + blocksize - 1) / blocksize;
    const std::size_t last = n % blocksize;
    const std::size_t head = out.size();
    putu64(out, nblocks);
    putu64(out, blocksize);
    putu64(out, last);
    for (std::size_t b = 0; b < nblocks; ++b) putu64(out, 0);
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t b = 0; b < nblocks; ++b) {
        const std::size_t len = b + 1 < nblocks || last == 0 ? blocksize : last;
        uLongf room = compressBound(static_cast<uLong>(len));
        const std::size_t at = out.size();
        out.resize(at + room);
        compress2(reinterpret_cast<Bytef*>(&out[at]), &room, p + b * blocksize,
                  static_cast<uLong>(len), level);
        out.resize(at + room);
        // The compressed size goes into its slot of the header.
        std::string size;
        putu64(size, room);
        std::memcpy(&out[head + 8 * (3 + b)], size.data(), 8);
    }
}

std::string appended::add(const char* type, const std::string& name, int ncomp, const void* data,
                          std::size_t nbytes, const std::string& extra) {
    std::string tag = "<DataArray type=\"";
    tag += type;
    tag += "\" Name=\"" + escape(name) + "\"";
    if (ncomp != 1) tag += " NumberOfComponents=\"" + std::to_string(ncomp) + "\"";
    tag += extra;
    tag += " format=\"appended\" offset=\"" + std::to_string(data_.size()) + "\"/>";
    appendblocks(data_, data, nbytes, level_);
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
