#include "export/output.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "formats/error.hpp"

namespace exporting {

using formats::Error;

OutFile::OutFile(const fs::path& file) : name_(file.string()) {
    f_ = std::fopen(name_.c_str(), "wb");
    if (!f_) throw Error("cannot create " + name_ + ": " + std::strerror(errno));
    buf_.reserve(kFlush + 4096);
}

void OutFile::close() {
    flush();
    std::FILE* f = f_;
    f_ = nullptr;
    if (std::fclose(f) != 0) throw Error("cannot write " + name_ + ": " + std::strerror(errno));
}

void OutFile::write(const std::string& s) {
    flush();
    if (!s.empty() && std::fwrite(s.data(), 1, s.size(), f_) != s.size())
        throw Error("cannot write " + name_ + ": " + std::strerror(errno));
}

void OutFile::flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size())
        throw Error("cannot write " + name_ + ": " + std::strerror(errno));
    buf_.clear();
}

void put_real(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char b[40];
    const auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

void put_real_g(std::string& out, double v, int digits) {
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char b[48];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::general, digits);
    out.append(b, r.ptr);
}

std::string real_text(double v) {
    std::string s;
    put_real(s, v);
    return s;
}

void rename_over(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        throw Error("cannot rename " + from.string() + " to " + to.string() + ": " + ec.message());
}

}  // namespace exporting
