#include "formats/results.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "input/vocabulary.hpp"
#include "model/curvevariables.hpp"

namespace formats {

namespace {

// Text of a header record without its quotes: TITLE = "...".
std::string title_of(std::string_view line) {
    const size_t a = line.find('"');
    const size_t b = line.rfind('"');
    if (a == std::string_view::npos || b == a) return std::string(trim(line));
    return std::string(rtrim(line.substr(a + 1, b - a - 1)));
}

}  // namespace

// ---------------------------------------------------------- animation file

AnimReader::AnimReader(const fs::path& file) : AnimReader(LineReader(file)) {}

AnimReader::AnimReader(LineReader in) : in_(std::move(in)) {
    std::string_view line;
    if (!in_.next(line)) throw Error(in_.name() + ": the file is empty (the run wrote no output)");
    if (!line.starts_with("TITLE")) fail("expected the title record (TITLE = \"...\")");
    title_ = title_of(line);
    if (!in_.next(line) || !trim(line).starts_with("VARIABLES"))
        fail("expected the variables record");
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

bool AnimReader::cut_here() const {
    // A record pushed back is followed by the line read after it, so only
    // the line last read from the file can be its incomplete end.
    return zones_ > 0 && !has_pending_ && in_.last_unterminated() && cur_line_ == in_.line_number();
}

bool AnimReader::stop_cut() {
    cut_zone_ = zones_ + 1;
    cut_line_ = in_.line_number();
    return false;
}

namespace {

constexpr size_t kNodeRecord = 36;  // 3 x E12.4
constexpr size_t kConnRecord = 56;  // 8 x I7

bool is_zone(std::string_view line) { return line.starts_with("ZONE"); }

}  // namespace

bool AnimReader::next(AnimZone& zone) {
    if (cut_zone_) return false;
    std::string_view line;
    if (!next_line(line)) {
        if (zones_ == 0) fail("the file holds no zone");
        return false;
    }
    if (!is_zone(line)) {
        if (cut_here()) return stop_cut();
        fail("expected a ZONE record, found " + in_quotes(line));
    }
    const bool first = zones_ == 0;
    zone.index = zones_;
    zone.first_line = cur_line_;

    // ZONE T="Time =  0.0000E+00" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN[ D=(FECONNECT)]
    const std::string_view head = "ZONE T=\"Time =";
    if (cut_here()) {
        // The zone record is the file's incomplete last line: nothing of
        // this zone was written whole.
        return stop_cut();
    }
    if (!line.starts_with(head)) fail("malformed ZONE record (no \"Time =\"): " + in_quotes(line));
    const size_t tq = line.find('"', head.size());
    const size_t np = line.find(" N=");
    const size_t ep = line.find(" E=");
    const size_t et = line.find(" ET=");
    if (tq == std::string_view::npos || np == std::string_view::npos ||
        ep == std::string_view::npos || et == std::string_view::npos ||
        !(tq < np && np < ep && ep < et))
        fail("malformed ZONE record: " + in_quotes(line));
    const std::string_view tfield = line.substr(head.size(), tq - head.size());
    if (!real_field(tfield, zone.time))
        fail("malformed time " + in_quotes(tfield) + " in the ZONE record");
    if (!std::isfinite(zone.time))
        fail("the time " + in_quotes(trim(tfield)) + " of zone " + std::to_string(zones_ + 1) +
             " is not a finite number");
    const std::string_view nfield = line.substr(np + 3, ep - np - 3);
    const std::string_view efield = line.substr(ep + 3, et - ep - 3);
    long long n = -1;
    long long e = -1;
    if (!is_overflow(nfield) && !int_field(nfield, n))
        fail("malformed node count " + in_quotes(nfield));
    if (!is_overflow(efield) && !int_field(efield, e))
        fail("malformed element count " + in_quotes(efield));
    if (n < -1 || e < -1) fail("negative count in the ZONE record");
    const bool shared = line.find("D=(FECONNECT)", et) != std::string_view::npos;
    if (first && shared)
        fail("the first zone refers to a connectivity (D=(FECONNECT)) that was never given");
    if (!first && !shared)
        fail("zone " + std::to_string(zones_ + 1) +
             " brings a connectivity of its own: the file holds the output of more than one run");
    if (!first) {
        if (n >= 0 && n != nodes_)
            fail("zone " + std::to_string(zones_ + 1) + " has " + std::to_string(n) +
                 " nodes, the first zone " + std::to_string(nodes_));
        if (e >= 0 && e != elements_)
            fail("zone " + std::to_string(zones_ + 1) + " has " + std::to_string(e) +
                 " elements, the first zone " + std::to_string(elements_));
        n = nodes_;
    } else {
        // A count is refused when the rest of the file could not hold that
        // many lines, and only what it could hold as records is reserved.
        const long long bytes = in_.remaining();
        if (n > bytes || e > bytes)
            fail("zone 1 announces " + std::to_string(n) + " nodes and " + std::to_string(e) +
                 " elements, more records than the rest of the file (" + std::to_string(bytes) +
                 " bytes) can hold");
    }

    // Node records. A count that overflowed its field is found by reading
    // node records up to the next record of another kind.
    zone.xyz.clear();
    const long long fit = in_.remaining() / static_cast<long long>(kNodeRecord);
    if (n >= 0) zone.xyz.reserve(3 * static_cast<size_t>(first ? std::min(n, fit) : n));
    long long read = 0;
    while (n < 0 || read < n) {
        if (!next_line(line)) {
            if (n < 0) break;
            if (zones_ > 0) return stop_cut();
            fail("the file ends inside zone " + std::to_string(zones_ + 1) + " after " +
                 std::to_string(read) + " of its " + std::to_string(n) + " node records");
        }
        const std::string_view r = rtrim(line);
        if (n < 0 && (is_zone(r) || r.size() != kNodeRecord)) {
            push_back(line);
            break;
        }
        if (r.size() != kNodeRecord) {
            if (cut_here()) return stop_cut();
            fail("malformed node record (expected three 12-column reals): " + in_quotes(line));
        }
        for (int c = 0; c < 3; ++c) {
            double v = 0.0;
            const std::string_view f = r.substr(12 * static_cast<size_t>(c), 12);
            if (!real_field(f, v))
                fail("malformed coordinate " + in_quotes(f) + " in a node record");
            if (!std::isfinite(v))
                fail("coordinate " + in_quotes(trim(f)) + " of node " + std::to_string(read + 1) +
                     " in zone " + std::to_string(zones_ + 1) + " is not a finite number");
            zone.xyz.push_back(v);
        }
        ++read;
    }
    if (first) nodes_ = read;

    if (first) {
        conn_.clear();
        if (e >= 0)
            conn_.reserve(static_cast<size_t>(
                std::min(e, in_.remaining() / static_cast<long long>(kConnRecord))));
        while (e < 0 || static_cast<long long>(conn_.size()) < e) {
            if (!next_line(line)) {
                if (e < 0) break;
                fail("the file ends after " + std::to_string(conn_.size()) + " of the " +
                     std::to_string(e) + " connectivity records");
            }
            const std::string_view r = rtrim(line);
            if (e < 0 && is_zone(r)) {
                push_back(line);
                break;
            }
            if (r.size() != kConnRecord)
                fail("malformed connectivity record (expected eight 7-column integers): " +
                     in_quotes(line));
            std::array<long long, 8> el{};
            for (int c = 0; c < 8; ++c) {
                const std::string_view f = r.substr(7 * static_cast<size_t>(c), 7);
                if (is_overflow(f))
                    fail("a node number of this connectivity record overflowed its field");
                if (!int_field(f, el[static_cast<size_t>(c)]))
                    fail("malformed node number " + in_quotes(f) + " in a connectivity record");
                const long long k = el[static_cast<size_t>(c)];
                if (k < 1 || k > nodes_)
                    fail("connectivity names node " + std::to_string(k) + ", outside 1.." +
                         std::to_string(nodes_));
            }
            conn_.push_back(el);
        }
        elements_ = static_cast<long long>(conn_.size());
    }
    ++zones_;
    return true;
}

// --------------------------------------------------------------- curve file

CurveReader::CurveReader(const fs::path& file) : CurveReader(LineReader(file)) {}

CurveReader::CurveReader(LineReader in) : in_(std::move(in)) {
    std::string_view line;
    if (!in_.next(line)) throw Error(in_.name() + ": the file is empty (the run wrote no output)");
    if (!line.starts_with("TITLE"))
        throw Error(in_.where() + "expected the title record (TITLE = \"...\")");
    title_ = title_of(line);
    if (!in_.next(line)) throw Error(in_.name() + ": the file ends after its title record");
    if (!line.starts_with("VARIABLES="))
        throw Error(in_.where() + "expected the column record (VARIABLES= ...)");
    // Quoted column names: "Time", then "vvvv at nnnnnn" per curve.
    std::vector<std::string_view> names;
    size_t i = 10;
    for (;;) {
        const size_t a = line.find('"', i);
        if (a == std::string_view::npos) break;
        const size_t b = line.find('"', a + 1);
        if (b == std::string_view::npos)
            throw Error(in_.where() + "unbalanced quotes in the column record");
        names.push_back(line.substr(a + 1, b - a - 1));
        i = b + 1;
    }
    if (names.empty() || names[0] != "Time")
        throw Error(in_.where() + "the column record must start with \"Time\"");
    for (size_t c = 1; c < names.size(); ++c) {
        const std::string_view nm = names[c];
        if (nm.size() != 13 || nm.substr(4, 3) != " at")
            throw Error(in_.where() + "malformed curve name " + in_quotes(nm) +
                        " (expected 4 letters, \" at\", I6)");
        CurveColumn col;
        const std::string_view var = nm.substr(0, 4);
        int number = 0;
        // The solver writes the 4-character entry of the variable, padding included.
        for (int k = 0; k < vocabulary::ncurves; ++k)
            if (var == std::string_view(vocabulary::curves + 4 * static_cast<std::ptrdiff_t>(k), 4))
                number = k + 1;
        if (number == 0) throw Error(in_.where() + "unknown result variable " + in_quotes(var));
        col.variable = std::string(trim(var));
        const curvevariables::variable& v = curvevariables::of(number);
        col.integer = v.from == curvevariables::source::material;
        col.energy = v.at == curvevariables::kind::energy;
        col.node = v.at == curvevariables::kind::node;
        const std::string_view ef = nm.substr(7);
        if (is_overflow(ef))
            col.element = -1;
        else if (!int_field(ef, col.element))
            throw Error(in_.where() + "malformed element number " + in_quotes(ef) +
                        " in the column record");
        columns_.push_back(col);
    }
    if (!in_.next(line)) return;  // no record yet
    if (!trim(line).empty())
        throw Error(in_.where() + "expected an empty record after the column record");
}

bool CurveReader::next(double& time, std::vector<double>& values) {
    std::string_view line;
    if (!in_.next(line)) return false;
    const std::string_view r = rtrim(line);
    size_t width = 15;
    for (const CurveColumn& c : columns_) width += c.integer ? 3 : 15;
    if (r.size() < width && in_.last_unterminated()) {
        cut_record_ = records_ + 1;
        return false;
    }
    if (r.size() != width)
        throw Error(in_.where() + "record of " + std::to_string(r.size()) + " columns, expected " +
                    std::to_string(width) + " (the time and " + std::to_string(columns_.size()) +
                    " curves)");
    if (!real_field(r.substr(0, 15), time))
        throw Error(in_.where() + "malformed time " + in_quotes(r.substr(0, 15)));
    if (!std::isfinite(time))
        throw Error(in_.where() + "the time " + in_quotes(trim(r.substr(0, 15))) +
                    " is not a finite number");
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
            else if (int_field(f, k))
                values[c] = static_cast<double>(k);
            else
                throw Error(in_.where() + "malformed integer " + in_quotes(f) + " of curve " +
                            std::to_string(c + 1));
        } else if (!real_field(f, values[c])) {
            throw Error(in_.where() + "malformed value " + in_quotes(f) + " of curve " +
                        std::to_string(c + 1));
        } else if (!std::isfinite(values[c])) {
            throw Error(in_.where() + "the value " + in_quotes(trim(f)) + " of curve " +
                        std::to_string(c + 1) + " is not a finite number");
        }
    }
    ++records_;
    return true;
}

}  // namespace formats
