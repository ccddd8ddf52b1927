#include "formats/map.hpp"

#include <limits>

#include "formats/deck.hpp"

namespace formats {

namespace {

// Whitespace-separated words of the map file with their line numbers.
class MapScanner {
  public:
    explicit MapScanner(LineReader in) : in_(std::move(in)) {}

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
        std::string_view w = expect_word(in_quotes(key).c_str());
        if (w != key) fail("expected " + in_quotes(key) + ", found " + in_quotes(w));
    }

    long long expect_int(const char* what, long long lo, long long hi) {
        std::string_view w = expect_word(what);
        long long v = 0;
        if (!int_field(w, v)) fail(std::string(what) + ": " + in_quotes(w) + " is not an integer");
        if (v < lo || v > hi)
            fail(std::string(what) + " " + std::to_string(v) + " is outside " + std::to_string(lo) +
                 ".." + std::to_string(hi));
        return v;
    }

    // Numbers that the rest of the file can still list: each takes a digit
    // and a separator at least (the last one may go without).
    long long numbers_left() const {
        const long long bytes = in_.remaining() + static_cast<long long>(line_.size() - pos_);
        return (bytes + 1) / 2;
    }

    // A count of numbers still to come, checked against the file's size
    // before anything is allocated for them.
    void check_fits(const std::string& what, long long count) {
        const long long most = numbers_left();
        if (count > most)
            fail(what + " " + std::to_string(count) + " exceed what the rest of the file holds (" +
                 std::to_string(most) + " numbers at most)");
    }

    [[noreturn]] void fail(const std::string& what) const { throw Error(in_.where() + what); }
    const std::string& name() const { return in_.name(); }

  private:
    LineReader in_;
    std::string line_;
    size_t pos_ = 0;
};

}  // namespace

namespace {

Map read_map(MapScanner& s) {
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
    // Every global node and element is listed at least once below.
    s.check_fits("the global node and element counts add up to", m.nodes + m.elements);

    std::vector<int> element_owner(static_cast<size_t>(m.elements), -1);
    std::vector<char> node_held(static_cast<size_t>(m.nodes), 0);
    std::vector<int> node_seen_by(static_cast<size_t>(m.nodes), -1);
    // Blocks are added as they are read: the count alone allocates nothing.
    for (long long p = 0; p < nprocs; ++p) {
        MapProcess& mp = m.procs.emplace_back();
        s.expect_keyword("proc");
        mp.id = static_cast<int>(s.expect_int("process number", p, p));
        s.expect_keyword("deck");
        mp.deck = std::string(s.expect_word("deck name"));
        if (mp.deck.find('/') != std::string::npos)
            s.fail("deck name " + in_quotes(mp.deck) + " holds a '/'");
        s.expect_keyword("nodes");
        const long long n = s.expect_int("process node count", 0, m.nodes);
        s.expect_keyword("elements");
        const long long e = s.expect_int("process element count", 0, m.elements);
        s.check_fits("the node and element counts of process " + std::to_string(p) + " add up to",
                     n + e);
        mp.node_global.resize(static_cast<size_t>(n));
        for (long long k = 0; k < n; ++k) {
            const long long g = s.expect_int("global node number", 1, m.nodes);
            int& seen = node_seen_by[static_cast<size_t>(g - 1)];
            if (seen == static_cast<int>(p))
                s.fail("process " + std::to_string(p) + " lists global node " + std::to_string(g) +
                       " twice");
            seen = static_cast<int>(p);
            node_held[static_cast<size_t>(g - 1)] = 1;
            mp.node_global[static_cast<size_t>(k)] = g;
        }
        mp.element_global.resize(static_cast<size_t>(e));
        for (long long k = 0; k < e; ++k) {
            const long long g = s.expect_int("global element number", 1, m.elements);
            int& owner = element_owner[static_cast<size_t>(g - 1)];
            if (owner >= 0)
                s.fail("global element " + std::to_string(g) + " is given to process " +
                       std::to_string(owner) + " and to process " + std::to_string(p));
            owner = static_cast<int>(p);
            mp.element_global[static_cast<size_t>(k)] = g;
        }
        for (const MapProcess& other : m.procs) {
            if (&other == &mp) break;
            if (other.deck == mp.deck)
                s.fail("processes " + std::to_string(other.id) + " and " + std::to_string(p) +
                       " share the deck name " + in_quotes(mp.deck));
        }
    }
    std::string_view extra;
    if (s.word(extra)) s.fail("unexpected " + in_quotes(extra) + " after the last process block");
    for (long long g = 0; g < m.nodes; ++g)
        if (!node_held[static_cast<size_t>(g)])
            throw Error(s.name() + ": global node " + std::to_string(g + 1) +
                        " is held by no process");
    for (long long g = 0; g < m.elements; ++g)
        if (element_owner[static_cast<size_t>(g)] < 0)
            throw Error(s.name() + ": global element " + std::to_string(g + 1) +
                        " belongs to no process");
    return m;
}

}  // namespace

Map read_map(const fs::path& file) {
    MapScanner s{LineReader(file)};
    return read_map(s);
}

Map read_map_text(std::string_view text, const std::string& name) {
    MapScanner s{LineReader::from_text(text, name)};
    return read_map(s);
}

std::string map_text(const Map& m) {
    std::string o = "hexdyn-map 1\nnprocs ";
    append_int(o, static_cast<long long>(m.procs.size()));
    o += " nodes ";
    append_int(o, m.nodes);
    o += " elements ";
    append_int(o, m.elements);
    o += '\n';
    for (const MapProcess& p : m.procs) {
        o += "proc ";
        append_int(o, p.id);
        o += " deck ";
        o += p.deck;
        o += " nodes ";
        append_int(o, static_cast<long long>(p.node_global.size()));
        o += " elements ";
        append_int(o, static_cast<long long>(p.element_global.size()));
        o += '\n';
        for (long long n : p.node_global) {
            append_int(o, n);
            o += '\n';
        }
        for (long long e : p.element_global) {
            append_int(o, e);
            o += '\n';
        }
    }
    return o;
}

}  // namespace formats
