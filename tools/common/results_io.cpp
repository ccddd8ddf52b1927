#include "results_io.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "parallel/deckname.hpp"

namespace results {

namespace {

constexpr size_t kChunk = size_t{1} << 20;

std::string quote(std::string_view s) {
    std::string q = "\"";
    q.append(s);
    q += '"';
    return q;
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string_view rtrim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Text of a header record without its quotes: TITLE = "...".
std::string title_of(std::string_view line) {
    const size_t a = line.find('"');
    const size_t b = line.rfind('"');
    if (a == std::string_view::npos || b == a) return std::string(trim(line));
    return std::string(rtrim(line.substr(a + 1, b - a - 1)));
}

}  // namespace

// ------------------------------------------------------------- LineReader

LineReader::LineReader(const fs::path& file) : name_(file.string()) {
    file_ = std::fopen(name_.c_str(), "rb");
    if (!file_) throw Error("cannot open " + name_ + ": " + std::strerror(errno));
    buf_.resize(kChunk);
}

LineReader::~LineReader() {
    if (file_) std::fclose(file_);
}

LineReader::LineReader(LineReader&& o) noexcept
    : file_(o.file_), name_(std::move(o.name_)), buf_(std::move(o.buf_)), pos_(o.pos_), end_(o.end_),
      eof_(o.eof_), line_no_(o.line_no_) {
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
        line_no_ = o.line_no_;
    }
    return *this;
}

bool LineReader::fill() {
    if (eof_ || !file_) return false;
    // Keep the unread tail, then read behind it; grow for very long lines.
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
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

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return rtrim(s);
}

bool is_overflow(std::string_view field) {
    field = trim(field);
    return !field.empty() && field.find_first_not_of('*') == std::string_view::npos;
}

bool parse_real(std::string_view field, double& value) {
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

bool parse_int(std::string_view field, long long& value) {
    field = trim(field);
    if (!field.empty() && field[0] == '+') field.remove_prefix(1);
    if (field.empty()) return false;
    const auto res = std::from_chars(field.data(), field.data() + field.size(), value);
    return res.ec == std::errc() && res.ptr == field.data() + field.size();
}

std::string deck_name(int process) { return commnodes::deckname(process); }

// ---------------------------------------------------------------- map file

namespace {

// Whitespace-separated words of the map file with their line numbers.
class MapScanner {
public:
    explicit MapScanner(const fs::path& file) : in_(file) {}

    bool word(std::string_view& w) {
        for (;;) {
            while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
            if (pos_ < line_.size()) {
                const size_t start = pos_;
                while (pos_ < line_.size() && line_[pos_] != ' ' && line_[pos_] != '\t') ++pos_;
                w = std::string_view(line_).substr(start, pos_ - start);
                return true;
            }
            std::string_view l;
            if (!in_.next(l)) return false;
            line_.assign(l);
            pos_ = 0;
        }
    }

    std::string_view expect_word(const char* what) {
        std::string_view w;
        if (!word(w)) fail("the file ends where " + std::string(what) + " is expected");
        return w;
    }

    void expect_keyword(std::string_view key) {
        std::string_view w = expect_word(quote(key).c_str());
        if (w != key) fail("expected " + quote(key) + ", found " + quote(w));
    }

    long long expect_int(const char* what, long long lo, long long hi) {
        std::string_view w = expect_word(what);
        long long v = 0;
        if (!parse_int(w, v)) fail(std::string(what) + ": " + quote(w) + " is not an integer");
        if (v < lo || v > hi)
            fail(std::string(what) + " " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                 std::to_string(hi));
        return v;
    }

    [[noreturn]] void fail(const std::string& what) const { throw Error(in_.where() + what); }
    const std::string& name() const { return in_.name(); }

private:
    LineReader in_;
    std::string line_;
    size_t pos_ = 0;
};

}  // namespace

Map read_map(const fs::path& file) {
    MapScanner s(file);
    constexpr long long kMaxCount = std::numeric_limits<int>::max();
    s.expect_keyword("hexdyn-map");
    s.expect_int("map format version", 1, 1);
    Map m;
    s.expect_keyword("nprocs");
    const long long nprocs = s.expect_int("process count", 1, 1 << 20);
    s.expect_keyword("nodes");
    m.nodes = s.expect_int("global node count", 0, kMaxCount);
    s.expect_keyword("elements");
    m.elements = s.expect_int("global element count", 0, kMaxCount);

    std::vector<int> element_owner(static_cast<size_t>(m.elements), -1);
    std::vector<char> node_held(static_cast<size_t>(m.nodes), 0);
    std::vector<int> node_seen_by(static_cast<size_t>(m.nodes), -1);
    m.procs.resize(static_cast<size_t>(nprocs));
    for (long long p = 0; p < nprocs; ++p) {
        MapProcess& mp = m.procs[static_cast<size_t>(p)];
        s.expect_keyword("proc");
        mp.id = static_cast<int>(s.expect_int("process number", p, p));
        s.expect_keyword("deck");
        mp.deck = std::string(s.expect_word("deck name"));
        if (mp.deck.find('/') != std::string::npos) s.fail("deck name " + quote(mp.deck) + " holds a '/'");
        s.expect_keyword("nodes");
        const long long n = s.expect_int("process node count", 0, m.nodes);
        s.expect_keyword("elements");
        const long long e = s.expect_int("process element count", 0, m.elements);
        mp.node_global.resize(static_cast<size_t>(n));
        for (long long k = 0; k < n; ++k) {
            const long long g = s.expect_int("global node number", 1, m.nodes);
            int& seen = node_seen_by[static_cast<size_t>(g - 1)];
            if (seen == static_cast<int>(p))
                s.fail("process " + std::to_string(p) + " lists global node " + std::to_string(g) + " twice");
            seen = static_cast<int>(p);
            node_held[static_cast<size_t>(g - 1)] = 1;
            mp.node_global[static_cast<size_t>(k)] = g;
        }
        mp.element_global.resize(static_cast<size_t>(e));
        for (long long k = 0; k < e; ++k) {
            const long long g = s.expect_int("global element number", 1, m.elements);
            int& owner = element_owner[static_cast<size_t>(g - 1)];
            if (owner >= 0)
                s.fail("global element " + std::to_string(g) + " is given to process " + std::to_string(owner) +
                       " and to process " + std::to_string(p));
            owner = static_cast<int>(p);
            mp.element_global[static_cast<size_t>(k)] = g;
        }
        for (const MapProcess& other : m.procs) {
            if (&other == &mp) break;
            if (other.deck == mp.deck) s.fail("processes " + std::to_string(other.id) + " and " +
                                              std::to_string(p) + " share the deck name " + quote(mp.deck));
        }
    }
    std::string_view extra;
    if (s.word(extra)) s.fail("unexpected " + quote(extra) + " after the last process block");
    for (long long g = 0; g < m.nodes; ++g)
        if (!node_held[static_cast<size_t>(g)])
            throw Error(s.name() + ": global node " + std::to_string(g + 1) + " is held by no process");
    for (long long g = 0; g < m.elements; ++g)
        if (element_owner[static_cast<size_t>(g)] < 0)
            throw Error(s.name() + ": global element " + std::to_string(g + 1) + " belongs to no process");
    return m;
}

// ---------------------------------------------------------- animation file

AnimReader::AnimReader(const fs::path& file) : in_(file) {
    std::string_view line;
    if (!in_.next(line)) throw Error(in_.name() + ": the file is empty (the run wrote no output)");
    if (!starts_with(line, "TITLE")) fail("expected the title record (TITLE = \"...\")");
    title_ = title_of(line);
    if (!in_.next(line) || !starts_with(trim(line), "VARIABLES")) fail("expected the variables record");
    if (!in_.next(line)) fail("the file ends after its header (no zone)");
    if (!trim(line).empty()) fail("expected an empty record after the variables record");
}

void AnimReader::fail(const std::string& what) const {
    throw Error(in_.name() + ":" + std::to_string(cur_line_) + ": " + what);
}

bool AnimReader::next_line(std::string_view& line) {
    if (has_pending_) {
        has_pending_ = false;
        line = pending_;
        cur_line_ = pending_line_;
        return true;
    }
    if (!in_.next(line)) return false;
    cur_line_ = in_.line_number();
    return true;
}

void AnimReader::push_back(std::string_view line) {
    pending_.assign(line);
    pending_line_ = cur_line_;
    has_pending_ = true;
}

namespace {

constexpr size_t kNodeRecord = 36;  // 3 x E12.4
constexpr size_t kConnRecord = 56;  // 8 x I7

bool is_zone(std::string_view line) { return starts_with(line, "ZONE"); }

}  // namespace

bool AnimReader::next(AnimZone& zone) {
    std::string_view line;
    if (!next_line(line)) {
        if (zones_ == 0) fail("the file holds no zone");
        return false;
    }
    if (!is_zone(line)) fail("expected a ZONE record, found " + quote(line));
    const bool first = zones_ == 0;
    zone.index = zones_;
    zone.first_line = cur_line_;

    // ZONE T="Time =  0.0000E+00" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN[ D=(FECONNECT)]
    const std::string_view head = "ZONE T=\"Time =";
    if (!starts_with(line, head)) fail("malformed ZONE record (no \"Time =\"): " + quote(line));
    const size_t tq = line.find('"', head.size());
    const size_t np = line.find(" N=");
    const size_t ep = line.find(" E=");
    const size_t et = line.find(" ET=");
    if (tq == std::string_view::npos || np == std::string_view::npos || ep == std::string_view::npos ||
        et == std::string_view::npos || !(tq < np && np < ep && ep < et))
        fail("malformed ZONE record: " + quote(line));
    const std::string_view tfield = line.substr(head.size(), tq - head.size());
    if (!parse_real(tfield, zone.time)) fail("malformed time " + quote(tfield) + " in the ZONE record");
    const std::string_view nfield = line.substr(np + 3, ep - np - 3);
    const std::string_view efield = line.substr(ep + 3, et - ep - 3);
    long long n = -1;
    long long e = -1;
    if (!is_overflow(nfield) && !parse_int(nfield, n)) fail("malformed node count " + quote(nfield));
    if (!is_overflow(efield) && !parse_int(efield, e)) fail("malformed element count " + quote(efield));
    if (n < -1 || e < -1) fail("negative count in the ZONE record");
    const bool shared = line.find("D=(FECONNECT)", et) != std::string_view::npos;
    if (first && shared) fail("the first zone refers to a connectivity (D=(FECONNECT)) that was never given");
    if (!first && !shared)
        fail("zone " + std::to_string(zones_ + 1) +
             " brings a connectivity of its own: the file holds the output of more than one run");
    if (!first) {
        if (n >= 0 && n != nodes_)
            fail("zone " + std::to_string(zones_ + 1) + " has " + std::to_string(n) + " nodes, the first zone " +
                 std::to_string(nodes_));
        if (e >= 0 && e != elements_)
            fail("zone " + std::to_string(zones_ + 1) + " has " + std::to_string(e) +
                 " elements, the first zone " + std::to_string(elements_));
        n = nodes_;
    }

    // Node records. A count that overflowed its field is found by reading
    // node records up to the next record of another kind.
    zone.xyz.clear();
    if (n >= 0) zone.xyz.reserve(static_cast<size_t>(3 * n));
    long long read = 0;
    while (n < 0 || read < n) {
        if (!next_line(line)) {
            if (n < 0) break;
            fail("the file ends inside zone " + std::to_string(zones_ + 1) + " after " + std::to_string(read) +
                 " of its " + std::to_string(n) + " node records");
        }
        const std::string_view r = rtrim(line);
        if (n < 0 && (is_zone(r) || r.size() != kNodeRecord)) {
            push_back(line);
            break;
        }
        if (r.size() != kNodeRecord) fail("malformed node record (expected three 12-column reals): " + quote(line));
        for (int c = 0; c < 3; ++c) {
            double v = 0.0;
            const std::string_view f = r.substr(static_cast<size_t>(12 * c), 12);
            if (!parse_real(f, v)) fail("malformed coordinate " + quote(f) + " in a node record");
            zone.xyz.push_back(v);
        }
        ++read;
    }
    if (first) nodes_ = read;

    if (first) {
        conn_.clear();
        if (e >= 0) conn_.reserve(static_cast<size_t>(e));
        while (e < 0 || static_cast<long long>(conn_.size()) < e) {
            if (!next_line(line)) {
                if (e < 0) break;
                fail("the file ends after " + std::to_string(conn_.size()) + " of the " + std::to_string(e) +
                     " connectivity records");
            }
            const std::string_view r = rtrim(line);
            if (e < 0 && is_zone(r)) {
                push_back(line);
                break;
            }
            if (r.size() != kConnRecord)
                fail("malformed connectivity record (expected eight 7-column integers): " + quote(line));
            std::array<long long, 8> el{};
            for (int c = 0; c < 8; ++c) {
                const std::string_view f = r.substr(static_cast<size_t>(7 * c), 7);
                if (is_overflow(f)) fail("a node number of this connectivity record overflowed its field");
                if (!parse_int(f, el[static_cast<size_t>(c)]))
                    fail("malformed node number " + quote(f) + " in a connectivity record");
                const long long k = el[static_cast<size_t>(c)];
                if (k < 1 || k > nodes_)
                    fail("connectivity names node " + std::to_string(k) + ", outside 1.." + std::to_string(nodes_));
            }
            conn_.push_back(el);
        }
        elements_ = static_cast<long long>(conn_.size());
    }
    ++zones_;
    return true;
}

// --------------------------------------------------------------- curve file

CurveReader::CurveReader(const fs::path& file) : in_(file) {
    std::string_view line;
    if (!in_.next(line)) throw Error(in_.name() + ": the file is empty (the run wrote no output)");
    if (!starts_with(line, "TITLE")) throw Error(in_.where() + "expected the title record (TITLE = \"...\")");
    title_ = title_of(line);
    if (!in_.next(line)) throw Error(in_.name() + ": the file ends after its title record");
    if (!starts_with(line, "VARIABLES=")) throw Error(in_.where() + "expected the column record (VARIABLES= ...)");
    // Quoted column names: "Time", then "vvvv at nnnnnn" per curve.
    std::vector<std::string_view> names;
    size_t i = 10;
    for (;;) {
        const size_t a = line.find('"', i);
        if (a == std::string_view::npos) break;
        const size_t b = line.find('"', a + 1);
        if (b == std::string_view::npos) throw Error(in_.where() + "unbalanced quotes in the column record");
        names.push_back(line.substr(a + 1, b - a - 1));
        i = b + 1;
    }
    if (names.empty() || names[0] != "Time")
        throw Error(in_.where() + "the column record must start with \"Time\"");
    static const char* const known[] = {"seqv", "epef", "mat ", "sm  ", "vol ", "engk", "engs", "ener"};
    for (size_t c = 1; c < names.size(); ++c) {
        const std::string_view nm = names[c];
        if (nm.size() != 13 || nm.substr(4, 3) != " at")
            throw Error(in_.where() + "malformed curve name " + quote(nm) + " (expected 4 letters, \" at\", I6)");
        CurveColumn col;
        const std::string_view var = nm.substr(0, 4);
        int number = 0;
        for (int k = 0; k < 8; ++k)
            if (var == known[k]) number = k + 1;
        if (number == 0) throw Error(in_.where() + "unknown result variable " + quote(var));
        col.variable = std::string(trim(var));
        col.integer = number == 3;
        col.energy = number >= 6;
        const std::string_view ef = nm.substr(7);
        if (is_overflow(ef))
            col.element = -1;
        else if (!parse_int(ef, col.element))
            throw Error(in_.where() + "malformed element number " + quote(ef) + " in the column record");
        columns_.push_back(col);
    }
    if (!in_.next(line)) return;  // no record yet
    if (!trim(line).empty()) throw Error(in_.where() + "expected an empty record after the column record");
}

bool CurveReader::next(double& time, std::vector<double>& values) {
    std::string_view line;
    if (!in_.next(line)) return false;
    const std::string_view r = rtrim(line);
    size_t width = 15;
    for (const CurveColumn& c : columns_) width += c.integer ? 3 : 15;
    if (r.size() != width)
        throw Error(in_.where() + "record of " + std::to_string(r.size()) + " columns, expected " +
                    std::to_string(width) + " (the time and " + std::to_string(columns_.size()) + " curves)");
    if (!parse_real(r.substr(0, 15), time)) throw Error(in_.where() + "malformed time " + quote(r.substr(0, 15)));
    values.resize(columns_.size());
    size_t at = 15;
    for (size_t c = 0; c < columns_.size(); ++c) {
        const size_t w = columns_[c].integer ? 3 : 15;
        const std::string_view f = r.substr(at, w);
        at += w;
        if (columns_[c].integer) {
            long long k = 0;
            if (is_overflow(f))
                values[c] = std::numeric_limits<double>::quiet_NaN();
            else if (parse_int(f, k))
                values[c] = static_cast<double>(k);
            else
                throw Error(in_.where() + "malformed integer " + quote(f) + " of curve " + std::to_string(c + 1));
        } else if (!parse_real(f, values[c])) {
            throw Error(in_.where() + "malformed value " + quote(f) + " of curve " + std::to_string(c + 1));
        }
    }
    ++records_;
    return true;
}

}  // namespace results
