#include "formats/lines.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

namespace formats {

namespace {

constexpr size_t kChunk = size_t{1} << 20;

}  // namespace

// ------------------------------------------------------------- LineReader

LineReader::LineReader(const fs::path& file) : name_(file.string()) {
    file_ = std::fopen(name_.c_str(), "rb");
    if (!file_) throw Error("cannot open " + name_ + ": " + std::strerror(errno));
    std::error_code ec;
    const auto bytes = fs::file_size(file, ec);
    // Not a regular file (a pipe): no size to check counts against.
    size_ = ec ? std::numeric_limits<long long>::max() / 4 : static_cast<long long>(bytes);
    buf_.resize(kChunk);
}

LineReader LineReader::from_text(std::string_view text, std::string name) {
    LineReader r;
    r.name_ = std::move(name);
    r.buf_.assign(text.begin(), text.end());
    r.end_ = text.size();
    r.eof_ = true;
    r.size_ = static_cast<long long>(text.size());
    return r;
}

LineReader::~LineReader() {
    if (file_) std::fclose(file_);
}

LineReader::LineReader(LineReader&& o) noexcept
    : file_(o.file_),
      name_(std::move(o.name_)),
      buf_(std::move(o.buf_)),
      pos_(o.pos_),
      end_(o.end_),
      eof_(o.eof_),
      unterminated_(o.unterminated_),
      line_no_(o.line_no_),
      size_(o.size_),
      consumed_(o.consumed_) {
    o.file_ = nullptr;
}

LineReader& LineReader::operator=(LineReader&& o) noexcept {
    if (this != &o) {
        if (file_) std::fclose(file_);
        file_ = o.file_;
        o.file_ = nullptr;
        name_ = std::move(o.name_);
        buf_ = std::move(o.buf_);
        pos_ = o.pos_;
        end_ = o.end_;
        eof_ = o.eof_;
        unterminated_ = o.unterminated_;
        line_no_ = o.line_no_;
        size_ = o.size_;
        consumed_ = o.consumed_;
    }
    return *this;
}

bool LineReader::fill() {
    if (eof_ || !file_) return false;
    // Keep the unread tail, then read behind it; grow for very long lines.
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        consumed_ += static_cast<long long>(pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buf_.size()) buf_.resize(std::max(kChunk, buf_.size() * 2));
    const size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
    if (got == 0) {
        if (std::ferror(file_)) throw Error("read error on " + name_);
        eof_ = true;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::next(std::string_view& line) {
    size_t scan = pos_;
    for (;;) {
        const char* base = buf_.data();
        const void* nl = scan < end_ ? std::memchr(base + scan, '\n', end_ - scan) : nullptr;
        if (nl) {
            const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - base);
            line = std::string_view(base + pos_, at - pos_);
            pos_ = at + 1;
            break;
        }
        const size_t seen = end_ - pos_;
        if (!fill()) {
            if (pos_ == end_) return false;
            line = std::string_view(buf_.data() + pos_, end_ - pos_);  // last line without newline
            pos_ = end_;
            unterminated_ = true;
            break;
        }
        scan = pos_ + seen;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_no_;
    return true;
}

std::string LineReader::where() const {
    return line_no_ == 0 ? name_ + ": " : name_ + ":" + std::to_string(line_no_) + ": ";
}

// ----------------------------------------------------------------- numbers

std::string_view rtrim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return rtrim(s);
}

bool is_overflow(std::string_view field) {
    field = trim(field);
    return !field.empty() && field.find_first_not_of('*') == std::string_view::npos;
}

bool real_field(std::string_view field, double& value) {
    field = trim(field);
    if (field.empty() || field.size() > 60) return false;
    char buf[72];
    size_t n = 0;
    size_t i = 0;
    if (field[0] == '+') i = 1;
    bool has_exponent_letter = false;
    bool seen_digit = false;
    for (; i < field.size(); ++i) {
        char c = field[i];
        if (c == 'D' || c == 'd' || c == 'E' || c == 'e') {
            // Letters of "NaN"/"Infinity" pass through; only an exponent
            // letter follows a digit or the point.
            if (seen_digit) {
                has_exponent_letter = true;
                c = 'e';
            }
        } else if ((c == '+' || c == '-') && n > 0 && seen_digit && !has_exponent_letter) {
            // Three-digit exponent without its letter: "1.0000+100".
            buf[n++] = 'e';
            has_exponent_letter = true;
        }
        if (c >= '0' && c <= '9') seen_digit = true;
        buf[n++] = c;
    }
    const auto res = std::from_chars(buf, buf + n, value);
    return res.ec == std::errc() && res.ptr == buf + n;
}

bool int_field(std::string_view field, long long& value) {
    field = trim(field);
    if (!field.empty() && field[0] == '+') field.remove_prefix(1);
    if (field.empty()) return false;
    const auto res = std::from_chars(field.data(), field.data() + field.size(), value);
    return res.ec == std::errc() && res.ptr == field.data() + field.size();
}

std::string in_quotes(std::string_view s) {
    std::string q = "\"";
    q.append(s);
    q += '"';
    return q;
}

}  // namespace formats
