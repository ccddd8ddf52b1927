#include "output/units.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "model/errorstop.hpp"
#include "model/model.hpp"

namespace ffi {

bool textout::open(const std::string& name) {
    close();
    name_ = name;
    f_ = std::fopen(name.c_str(), "w");
    buf_.clear();
    buf_.reserve(flush_at + 4096);
    return f_ != nullptr;
}

bool textout::openexisting(const std::string& name) {
    close();
    name_ = name;
    f_ = std::fopen(name.c_str(), "r+");
    buf_.clear();
    buf_.reserve(flush_at + 4096);
    if (f_ && std::fseek(f_, 0, SEEK_END) != 0) discard();
    return f_ != nullptr;
}

void textout::hold(const std::string& name) {
    close();
    name_ = name;
    held_ = true;
    buf_.clear();
}

void textout::release() {
    if (!held_) return;
    held_ = false;
    f_ = std::fopen(name_.c_str(), "w");
    if (!f_) {
        const int err = errno;
        buf_.clear();
        errorstop::stop("*** Error *** cannot open file " + name_ +
                        " for writing: " + std::strerror(err));
    }
    flush();
}

void textout::sync() {
    flush();
    if (f_ && std::fflush(f_) != 0) fail(errno);
}

long long textout::length() {
    sync();
    if (held_) return static_cast<long long>(buf_.size());
    if (!f_) return 0;
    const long pos = std::ftell(f_);
    if (pos < 0) fail(errno);
    return pos;
}

bool textout::truncate(long long len) {
    sync();
    if (!f_ || len < 0 || std::fseek(f_, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(f_);
    if (end < len) return false;
    if (::ftruncate(fileno(f_), static_cast<off_t>(len)) != 0) return false;
    return std::fseek(f_, 0, SEEK_END) == 0;
}

void textout::record(std::string_view text) {
    buf_.append(text);
    endrecord();
}

void textout::fail(int err) {
    std::string n = name_;
    discard();
    errorstop::stop("*** Error *** writing file " + n +
                    " failed: " + (err != 0 ? std::strerror(err) : "the system gave no reason"));
}

void textout::flush() {
    if (held_) return;  // kept until release()
    if (!f_) {
        buf_.clear();
        return;
    }
    if (!buf_.empty()) {
        const size_t n = buf_.size();
        errno = 0;
        const size_t w = std::fwrite(buf_.data(), 1, n, f_);
        const int err = errno;
        buf_.clear();
        if (w != n || std::ferror(f_)) fail(err);
    }
}

void textout::close() {
    if (held_) discard();  // a held file that was never released is not written
    if (!f_) return;
    flush();
    errno = 0;
    int rc = std::fflush(f_);
    int err = errno;
    bool bad = rc != 0 || std::ferror(f_);
    errno = 0;
    rc = std::fclose(f_);
    if (err == 0) err = errno;
    f_ = nullptr;
    if (bad || rc != 0) fail(err);
}

void textout::discard() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
    held_ = false;
    buf_.clear();
}

void textout::finish() {
    if (f_ && !buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), f_);
    discard();
}

textout::~textout() { discard(); }

namespace {

textout echo_unit, anim_unit, curve_unit;

// The deck name of this process, without the blanks that pad it.
std::string deckname() {
    std::string n = fileinp;
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

std::string filename_from_template(const char* tail) { return deckname() + tail; }

}  // namespace

textout& unit(int u) {
    if (u == iow1) return anim_unit;
    if (u == iow2) return curve_unit;
    return echo_unit;
}

std::string echoname() { return filename_from_template("sovra.rst"); }
std::string animname() { return filename_from_template("result_anim.dat"); }
std::string curvename() { return filename_from_template("result_curv.dat"); }

bool continueresults = false;

void openunits() {
    const std::string names[3] = {echoname(), animname(), curvename()};
    textout* units[3] = {&echo_unit, &anim_unit, &curve_unit};
    for (int i = 0; i < 3; ++i) {
        if (continueresults && i > 0) {
            if (!units[i]->openexisting(names[i]))
                errorstop::stop("*** Error *** cannot open file " + names[i] +
                                " to continue it (a restart needs the files of the run)");
            continue;
        }
        if (i == 0 && continueresults) {
            units[i]->hold(names[i]);
            continue;
        }
        if (!units[i]->open(names[i])) {
            const int err = errno;
            errorstop::stop("*** Error *** cannot open file " + names[i] +
                            " for writing: " + std::strerror(err));
        }
    }
}

void keepecho() { echo_unit.release(); }

void syncunits() {
    echo_unit.sync();
    anim_unit.sync();
    curve_unit.sync();
}

void unitlengths(long long len[3]) {
    len[0] = echo_unit.length();
    len[1] = anim_unit.length();
    len[2] = curve_unit.length();
}

void closeunits() {
    anim_unit.close();
    curve_unit.close();
    echo_unit.close();
}

void finishunits() {
    anim_unit.finish();
    curve_unit.finish();
    echo_unit.finish();
}

void discardunits() {
    echo_unit.discard();
    anim_unit.discard();
    curve_unit.discard();
}

std::int64_t lengthforcheckpoint(const std::string& filename) {
    std::error_code ec;
    const std::uintmax_t n = std::filesystem::file_size(filename, ec);
    if (ec)
        errorstop::stop(std::string("*** Error *** writing a checkpoint: the length of ") +
                        filename + " cannot be read: " + ec.message());
    return static_cast<std::int64_t>(n);
}

void cutbackfile(const std::string& checkpoint, const std::string& filename, std::int64_t bytes) {
    std::error_code ec;
    const std::uintmax_t have = std::filesystem::file_size(filename, ec);
    if (ec || have < static_cast<std::uintmax_t>(bytes))
        errorstop::stop("*** Error *** checkpoint " + checkpoint + ": the result file " + filename +
                        " is missing or shorter than the " + std::to_string(bytes) +
                        " bytes it had then");
    std::filesystem::resize_file(filename, static_cast<std::uintmax_t>(bytes), ec);
    if (ec)
        errorstop::stop(std::string("*** Error *** cannot cut ") + filename + " back to " +
                        std::to_string(bytes) + " bytes");
}

}  // namespace ffi
