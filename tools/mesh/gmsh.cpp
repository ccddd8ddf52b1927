#include "mesh/gmsh.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "mesh/orientation.hpp"

namespace mesh {

namespace {

// Element types: dimension, node count and a name for messages.
struct TypeInfo {
    int type, dim, nodes;
    const char* name;
};
const TypeInfo kTypes[] = {
    {15, 0, 1, "point"},
    {1, 1, 2, "2-node line"},
    {8, 1, 3, "3-node line"},
    {26, 1, 4, "4-node line"},
    {27, 1, 5, "5-node line"},
    {28, 1, 6, "6-node line"},
    {2, 2, 3, "3-node triangle"},
    {9, 2, 6, "6-node triangle"},
    {20, 2, 9, "9-node triangle"},
    {21, 2, 10, "10-node triangle"},
    {22, 2, 12, "12-node triangle"},
    {23, 2, 15, "15-node triangle"},
    {24, 2, 15, "15-node triangle"},
    {25, 2, 21, "21-node triangle"},
    {3, 2, 4, "4-node quadrangle"},
    {16, 2, 8, "8-node quadrangle"},
    {10, 2, 9, "9-node quadrangle"},
    {36, 2, 16, "16-node quadrangle"},
    {37, 2, 25, "25-node quadrangle"},
    {4, 3, 4, "4-node tetrahedron"},
    {11, 3, 10, "10-node tetrahedron"},
    {29, 3, 20, "20-node tetrahedron"},
    {30, 3, 35, "35-node tetrahedron"},
    {31, 3, 56, "56-node tetrahedron"},
    {5, 3, 8, "8-node hexahedron"},
    {17, 3, 20, "20-node hexahedron"},
    {12, 3, 27, "27-node hexahedron"},
    {92, 3, 64, "64-node hexahedron"},
    {93, 3, 125, "125-node hexahedron"},
    {6, 3, 6, "6-node prism"},
    {18, 3, 15, "15-node prism"},
    {13, 3, 18, "18-node prism"},
    {7, 3, 5, "5-node pyramid"},
    {19, 3, 13, "13-node pyramid"},
    {14, 3, 14, "14-node pyramid"},
};

const TypeInfo* typeinfo(long long type) {
    for (const TypeInfo& t : kTypes)
        if (t.type == type) return &t;
    return nullptr;
}

class Tok {
  public:
    Tok(std::string_view text, std::string name) : t_(text), name_(std::move(name)) {}

    [[noreturn]] void fail(const std::string& msg) const {
        throw formats::Error(name_ + ":" + std::to_string(line_) + ": " + msg);
    }
    int line() const { return line_; }

    bool next(std::string_view& w) {
        skip_space();
        if (p_ >= t_.size()) return false;
        const size_t b = p_;
        while (p_ < t_.size() && !isspace_(t_[p_])) ++p_;
        w = t_.substr(b, p_ - b);
        return true;
    }
    std::string_view need(const char* what) {
        std::string_view w;
        if (!next(w)) fail(std::string("the file ends where ") + what + " was expected");
        return w;
    }
    long long integer(const char* what) {
        std::string_view w = need(what);
        long long v = 0;
        auto r = std::from_chars(w.data(), w.data() + w.size(), v);
        if (r.ec != std::errc() || r.ptr != w.data() + w.size())
            fail(std::string("expected an integer (") + what + "), found \"" + std::string(w) +
                 "\"");
        return v;
    }
    int count(const char* what) {
        long long v = integer(what);
        if (v < 0 || v > 2147483647LL)
            fail(std::string(what) + " out of range: " + std::to_string(v));
        return static_cast<int>(v);
    }
    // A count of records of at least `min_bytes` bytes each that follow:
    // checked against the rest of the text before anything is reserved.
    int count_fitting(const char* what, size_t min_bytes) {
        const int v = count(what);
        const size_t most = (t_.size() - p_ + 1) / min_bytes;
        if (static_cast<size_t>(v) > most)
            fail(std::string(what) + " " + std::to_string(v) +
                 " is more than the rest of the file can hold (" + std::to_string(most) + ")");
        return v;
    }
    // An integer that must lie in lo..hi (a tag or dimension kept as int).
    int int_in(const char* what, long long lo, long long hi) {
        const long long v = integer(what);
        if (v < lo || v > hi)
            fail(std::string(what) + " " + std::to_string(v) + " is outside " + std::to_string(lo) +
                 ".." + std::to_string(hi));
        return static_cast<int>(v);
    }
    double real(const char* what) {
        std::string_view w = need(what);
        double v = 0;
        auto r = std::from_chars(w.data(), w.data() + w.size(), v);
        if (r.ec != std::errc() || r.ptr != w.data() + w.size() || !std::isfinite(v))
            fail(std::string("expected a number (") + what + "), found \"" + std::string(w) + "\"");
        return v;
    }
    // All integers of the next non-empty line.
    std::vector<long long> line_ints(const char* what) {
        skip_space();
        if (p_ >= t_.size()) fail(std::string("the file ends where ") + what + " was expected");
        std::vector<long long> v;
        while (p_ < t_.size() && t_[p_] != '\n') {
            while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\r')) ++p_;
            if (p_ >= t_.size() || t_[p_] == '\n') break;
            std::string_view w;
            next_inline(w);
            long long x = 0;
            auto r = std::from_chars(w.data(), w.data() + w.size(), x);
            if (r.ec != std::errc() || r.ptr != w.data() + w.size())
                fail(std::string("expected integers (") + what + "), found \"" + std::string(w) +
                     "\"");
            v.push_back(x);
        }
        return v;
    }
    // Rest of the current line, without the line end.
    std::string rest_of_line() {
        const size_t b = p_;
        while (p_ < t_.size() && t_[p_] != '\n') ++p_;
        std::string r(t_.substr(b, p_ - b));
        while (!r.empty() && (r.back() == '\r' || r.back() == ' ')) r.pop_back();
        return r;
    }
    // Skips to the token "$End<section>".
    void skip_section(std::string_view section) {
        const std::string end = "$End" + std::string(section.substr(1));
        std::string_view w;
        while (next(w))
            if (w == end) return;
        fail("section " + std::string(section) + " has no " + end);
    }
    // A token where a section should start: a section the reader does not
    // use is skipped, anything else is an error.
    void skip_other(std::string_view w) {
        if (!w.empty() && w[0] == '$')
            skip_section(w);
        else
            fail("unexpected text \"" + std::string(w) + "\" outside a section");
    }
    void expect(std::string_view token) {
        std::string_view w = need(std::string(token).c_str());
        if (w != token)
            fail("expected " + std::string(token) + ", found \"" + std::string(w) + "\"");
    }

  private:
    static bool isspace_(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skip_space() {
        while (p_ < t_.size() && isspace_(t_[p_])) {
            if (t_[p_] == '\n') ++line_;
            ++p_;
        }
    }
    void next_inline(std::string_view& w) {
        const size_t b = p_;
        while (p_ < t_.size() && !isspace_(t_[p_])) ++p_;
        w = t_.substr(b, p_ - b);
    }

    std::string_view t_;
    std::string name_;
    size_t p_ = 0;
    int line_ = 1;
};

struct Hex {
    long long tag;
    std::array<long long, 8> node;
    int line;
    int volume = 0;  // physical volume (0: none)
    int other = 0;   // a second physical volume it is also in (0: none)
};

struct Node {
    long long tag;
    std::array<double, 3> x;
    int line;
};

// Smallest node record: a tag and three coordinates of one digit each.
constexpr size_t kMinNodeRecord = 8;
constexpr int kMaxTag = 2147483647;

// What both formats deliver to the assembly step.
struct Raw {
    std::string version;
    std::vector<Node> nodes;
    std::vector<Hex> hexes;
    std::map<std::pair<int, int>, std::string> names;                   // (dim, tag) -> name
    std::map<std::pair<int, int>, std::vector<long long>> group_nodes;  // (dim, tag) -> node tags
};

void read_physical_names(Tok& tk, Raw& raw) {
    const int n = tk.count("number of physical names");
    for (int i = 0; i < n; ++i) {
        const int dim = tk.int_in("physical dimension", 0, 3);
        const int tag = tk.int_in("physical tag", 1, kMaxTag);
        std::string rest = tk.rest_of_line();
        size_t a = rest.find('"'), b = rest.rfind('"');
        std::string nm = a != std::string::npos && b > a ? rest.substr(a + 1, b - a - 1) : rest;
        size_t f = nm.find_first_not_of(' ');
        raw.names[{dim, tag}] = f == std::string::npos ? std::string() : nm.substr(f);
    }
    tk.expect("$EndPhysicalNames");
}

void add_group_nodes(Raw& raw, int dim, int tag, const long long* nodes, size_t n) {
    auto& v = raw.group_nodes[{dim, tag}];
    v.insert(v.end(), nodes, nodes + n);
}

void parse_v2(Tok& tk, Raw& raw) {
    std::string_view w;
    while (tk.next(w)) {
        if (w == "$PhysicalNames") {
            read_physical_names(tk, raw);
        } else if (w == "$Nodes") {
            const int n = tk.count_fitting("number of nodes", kMinNodeRecord);
            raw.nodes.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                const long long tag = tk.integer("node number");
                const int line = tk.line();
                std::array<double, 3> x{};
                for (double& c : x) c = tk.real("node coordinate");
                raw.nodes.push_back({tag, x, line});
            }
            tk.expect("$EndNodes");
        } else if (w == "$Elements") {
            const int n = tk.count("number of elements");
            std::map<long long, std::pair<long long, int>> seen;  // tag -> type, line
            for (int i = 0; i < n; ++i) {
                std::vector<long long> v = tk.line_ints("an element record");
                const int line = tk.line();
                if (v.size() < 3 || v[2] < 0 || v.size() < 3 + static_cast<size_t>(v[2]))
                    tk.fail("element record too short");
                const long long type = v[1];
                const size_t ntags = static_cast<size_t>(v[2]);
                const TypeInfo* ti = typeinfo(type);
                if (!ti)
                    tk.fail("element " + std::to_string(v[0]) + " has unknown element type " +
                            std::to_string(type));
                const size_t first = 3 + ntags;
                if (v.size() - first != static_cast<size_t>(ti->nodes))
                    tk.fail("element " + std::to_string(v[0]) + " (" + ti->name + ") has " +
                            std::to_string(v.size() - first) + " nodes, expected " +
                            std::to_string(ti->nodes));
                if (ntags >= 1 && (v[3] < 0 || v[3] > kMaxTag))
                    tk.fail("element " + std::to_string(v[0]) + " has physical tag " +
                            std::to_string(v[3]) + ", outside 0.." + std::to_string(kMaxTag));
                const int phys = ntags >= 1 ? static_cast<int>(v[3]) : 0;
                // An element in several physical groups is written once per
                // group, with the same tag; another element may not share it.
                const auto [it, fresh] = seen.insert({v[0], {type, line}});
                if (!fresh && it->second.first != type)
                    tk.fail("element tag " + std::to_string(v[0]) + " is given twice (lines " +
                            std::to_string(it->second.second) + " and " + std::to_string(line) +
                            ")");
                if (ti->dim == 3 && type != 5)
                    tk.fail("element " + std::to_string(v[0]) + " is a " + ti->name +
                            "; only 8-node hexahedra (type 5) can be imported");
                if (phys != 0)
                    add_group_nodes(raw, ti->dim, phys, v.data() + first,
                                    static_cast<size_t>(ti->nodes));
                if (type == 5) {
                    Hex h;
                    h.tag = v[0];
                    h.line = line;
                    h.volume = phys;
                    for (int k = 0; k < 8; ++k)
                        h.node[static_cast<size_t>(k)] = v[first + static_cast<size_t>(k)];
                    if (!fresh) {
                        auto same = std::find_if(raw.hexes.begin(), raw.hexes.end(),
                                                 [&](const Hex& o) { return o.tag == h.tag; });
                        if (same != raw.hexes.end() && same->node != h.node)
                            tk.fail("element " + std::to_string(h.tag) +
                                    " is given twice with different nodes");
                        if (same != raw.hexes.end() && phys != 0 && phys != same->volume) {
                            if (same->volume == 0)
                                same->volume = phys;
                            else if (same->other == 0)
                                same->other = phys;
                        }
                        continue;
                    }
                    raw.hexes.push_back(h);
                }
            }
            tk.expect("$EndElements");
        } else {
            tk.skip_other(w);
        }
    }
}

void parse_v4(Tok& tk, Raw& raw) {
    // physical tags of each entity: (dim, entity tag) -> physical tags
    std::map<std::pair<int, int>, std::vector<int>> entity_phys;
    std::string_view w;
    while (tk.next(w)) {
        if (w == "$PhysicalNames") {
            read_physical_names(tk, raw);
        } else if (w == "$Entities") {
            int num[4];
            for (int& x : num) x = tk.count("number of entities");
            for (int dim = 0; dim < 4; ++dim) {
                for (int i = 0; i < num[dim]; ++i) {
                    const int tag = tk.int_in("entity tag", -kMaxTag, kMaxTag);
                    const int ncoord = dim == 0 ? 3 : 6;
                    for (int c = 0; c < ncoord; ++c) tk.real("entity bounding box");
                    const int nphys = tk.count("number of physical tags");
                    auto& ph = entity_phys[{dim, tag}];
                    for (int k = 0; k < nphys; ++k)
                        ph.push_back(tk.int_in("physical tag", -kMaxTag, kMaxTag));
                    if (dim > 0) {
                        const int nb = tk.count("number of bounding entities");
                        for (int k = 0; k < nb; ++k) tk.integer("bounding entity tag");
                    }
                }
            }
            tk.expect("$EndEntities");
        } else if (w == "$Nodes") {
            const int nblocks = tk.count("number of node blocks");
            const int total = tk.count_fitting("number of nodes", kMinNodeRecord);
            tk.integer("minimum node tag");
            tk.integer("maximum node tag");
            raw.nodes.reserve(static_cast<size_t>(total));
            for (int b = 0; b < nblocks; ++b) {
                const int dim = tk.int_in("entity dimension", 0, 3);
                tk.integer("entity tag");
                const long long parametric = tk.integer("parametric flag");
                const int n = tk.count_fitting("number of nodes in block", kMinNodeRecord);
                const size_t first = raw.nodes.size();
                for (int i = 0; i < n; ++i) {
                    const long long tag = tk.integer("node tag");
                    raw.nodes.push_back({tag, {}, tk.line()});
                }
                const int extra = parametric ? dim : 0;
                for (int i = 0; i < n; ++i) {
                    auto& x = raw.nodes[first + static_cast<size_t>(i)].x;
                    for (double& c : x) c = tk.real("node coordinate");
                    for (int k = 0; k < extra; ++k) tk.real("parametric coordinate");
                }
            }
            if (raw.nodes.size() != static_cast<size_t>(total))
                tk.fail("the node blocks hold " + std::to_string(raw.nodes.size()) +
                        " nodes, the header says " + std::to_string(total));
            tk.expect("$EndNodes");
        } else if (w == "$Elements") {
            const int nblocks = tk.count("number of element blocks");
            tk.count("number of elements");
            tk.integer("minimum element tag");
            tk.integer("maximum element tag");
            std::unordered_map<long long, int> seen;  // element tag -> line
            for (int b = 0; b < nblocks; ++b) {
                const int dim = static_cast<int>(tk.integer("entity dimension"));
                const int etag = tk.int_in("entity tag", -kMaxTag, kMaxTag);
                const long long type = tk.integer("element type");
                const int n = tk.count("number of elements in block");
                const TypeInfo* ti = typeinfo(type);
                if (dim == 3 && type != 5)
                    tk.fail(std::string("volume elements of type ") + std::to_string(type) +
                            (ti ? std::string(" (") + ti->name + ")" : std::string()) +
                            "; only 8-node hexahedra (type 5) can be imported");
                if (dim < 0 || dim > 3) tk.fail("entity dimension " + std::to_string(dim));
                const auto it = entity_phys.find({dim, etag});
                for (int i = 0; i < n; ++i) {
                    std::vector<long long> v = tk.line_ints("an element record");
                    if (v.size() < 2) tk.fail("element record too short");
                    const auto [at, fresh] = seen.insert({v[0], tk.line()});
                    if (!fresh)
                        tk.fail("element tag " + std::to_string(v[0]) + " is given twice (lines " +
                                std::to_string(at->second) + " and " + std::to_string(tk.line()) +
                                ")");
                    if (ti && v.size() - 1 != static_cast<size_t>(ti->nodes))
                        tk.fail("element " + std::to_string(v[0]) + " (" + ti->name + ") has " +
                                std::to_string(v.size() - 1) + " nodes, expected " +
                                std::to_string(ti->nodes));
                    if (it != entity_phys.end())
                        for (int ph : it->second)
                            add_group_nodes(raw, dim, ph, v.data() + 1, v.size() - 1);
                    if (type == 5) {
                        Hex h;
                        h.tag = v[0];
                        h.line = tk.line();
                        if (it != entity_phys.end() && !it->second.empty()) {
                            h.volume = it->second[0];
                            if (it->second.size() > 1) h.other = it->second[1];
                        }
                        for (int k = 0; k < 8; ++k)
                            h.node[static_cast<size_t>(k)] = v[1 + static_cast<size_t>(k)];
                        raw.hexes.push_back(h);
                    }
                }
            }
            tk.expect("$EndElements");
        } else {
            tk.skip_other(w);
        }
    }
    // Groups named but attached to entities only through $Entities are still
    // groups, even without elements.
    for (const auto& [key, phys] : entity_phys)
        for (int ph : phys) raw.group_nodes[{key.first, ph}];
}

// The header, then the sections of a 4.1 or 2.2 file, with at least one
// 8-node hexahedron.
Raw read_raw(std::string_view text, const std::string& name) {
    Tok tk(text, name);
    std::string_view w;
    if (!tk.next(w) || w != "$MeshFormat")
        tk.fail("not a Gmsh mesh file (no $MeshFormat at the start)");
    const std::string version(tk.need("format version"));
    const long long filetype = tk.integer("file type");
    tk.integer("data size");
    if (filetype != 0) tk.fail("binary mesh files are not supported; save the mesh as ASCII");
    tk.expect("$EndMeshFormat");
    Raw raw;
    raw.version = version;
    if (version == "2.2" || version == "2.1" || version == "2") {
        parse_v2(tk, raw);
    } else if (version == "4.1") {
        parse_v4(tk, raw);
    } else {
        tk.fail("mesh format version " + version + " is not supported (4.1 or 2.2)");
    }
    if (raw.hexes.empty())
        throw formats::Error(name + ": no 8-node hexahedra (element type 5) in the mesh");
    return raw;
}

// Sorts the nodes by tag and refuses a tag defined twice.
void sort_nodes(Raw& raw, const std::string& name) {
    std::stable_sort(raw.nodes.begin(), raw.nodes.end(),
                     [](const Node& a, const Node& b) { return a.tag < b.tag; });
    for (size_t i = 1; i < raw.nodes.size(); ++i)
        if (raw.nodes[i].tag == raw.nodes[i - 1].tag)
            throw formats::Error(name + ":" + std::to_string(raw.nodes[i].line) + ": node " +
                                 std::to_string(raw.nodes[i].tag) + " is defined twice (lines " +
                                 std::to_string(raw.nodes[i - 1].line) + " and " +
                                 std::to_string(raw.nodes[i].line) + ")");
}

// Index of the node `tag` in the sorted nodes, -1 if there is none.
long long index_of(const Raw& raw, long long tag) {
    auto it = std::lower_bound(raw.nodes.begin(), raw.nodes.end(), tag,
                               [](const Node& a, long long t) { return a.tag < t; });
    if (it == raw.nodes.end() || it->tag != tag) return -1;
    return it - raw.nodes.begin();
}

// Copies the nodes of hexahedra into the deck in tag order; returns the deck
// number of each sorted node (0: dropped, counted in the report).
std::vector<int> keep_nodes(const Raw& raw, const std::string& name, formats::Deck& deck,
                            ImportReport& rep) {
    std::vector<int> number(raw.nodes.size(), 0);
    for (const Hex& h : raw.hexes)
        for (long long t : h.node) {
            const long long i = index_of(raw, t);
            if (i < 0)
                throw formats::Error(name + ":" + std::to_string(h.line) + ": element " +
                                     std::to_string(h.tag) + " uses node " + std::to_string(t) +
                                     ", which is not defined");
            number[static_cast<size_t>(i)] = 1;
        }
    deck.nodes.clear();
    for (size_t i = 0; i < raw.nodes.size(); ++i) {
        if (number[i]) {
            deck.nodes.push_back(raw.nodes[i].x);
            number[i] = deck.nnodes();
        } else {
            ++rep.dropped_nodes;
        }
    }
    return number;
}

// The hexahedra as the deck's elements (material set 1 for now): a mirrored
// one is turned over, a degenerate or folded one refused.
void add_hexahedra(const Raw& raw, const std::string& name, const std::vector<int>& number,
                   formats::Deck& deck, ImportReport& rep) {
    deck.elements.clear();
    deck.elements.reserve(raw.hexes.size());
    for (const Hex& h : raw.hexes) {
        formats::Element e;
        e.mat = 1;
        for (int k = 0; k < 8; ++k)
            e.node[static_cast<size_t>(k)] =
                number[static_cast<size_t>(index_of(raw, h.node[static_cast<size_t>(k)]))];
        deck.elements.push_back(e);
        const int id = deck.nelements();
        const double v = mesh::signed_volume(deck, id);
        if (v == 0.0)
            throw formats::Error(name + ":" + std::to_string(h.line) + ": element " +
                                 std::to_string(h.tag) + " is degenerate (zero volume)");
        // A repeated node collapses an edge or a face while the centre
        // volume can stay positive.
        for (size_t k = 1; k < 8; ++k)
            for (size_t j = 0; j < k; ++j)
                if (h.node[j] == h.node[k])
                    throw formats::Error(
                        name + ":" + std::to_string(h.line) + ": element " + std::to_string(h.tag) +
                        " names node " + std::to_string(h.node[k]) + " twice (corners " +
                        std::to_string(j + 1) + " and " + std::to_string(k + 1) + ")");
        if (v < 0.0) {
            auto& nd = deck.elements.back().node;
            for (int k = 0; k < 4; ++k)
                std::swap(nd[static_cast<size_t>(k)], nd[static_cast<size_t>(k) + 4]);
            ++rep.flipped;
        }
        const mesh::Fold f = mesh::fold(deck, id);
        if (f.corner)
            throw formats::Error(name + ":" + std::to_string(h.line) + ": element " +
                                 std::to_string(h.tag) + " is folded or degenerate at corner " +
                                 std::to_string(f.corner) + " (corner Jacobian " +
                                 jacobian_text(f.det) + ")");
    }
    rep.hexahedra = deck.nelements();
}

// Material sets: the physical volumes holding hexahedra, in tag order. Gives
// every element the set of its one volume; returns the volume tags.
std::vector<int> assign_sets(const Raw& raw, const std::string& name, formats::Deck& deck) {
    std::vector<int> volumes;
    for (const Hex& h : raw.hexes)
        if (h.volume != 0) volumes.push_back(h.volume);
    std::sort(volumes.begin(), volumes.end());
    volumes.erase(std::unique(volumes.begin(), volumes.end()), volumes.end());
    if (volumes.empty())
        throw formats::Error(name +
                             ": no physical volume: every hexahedron must belong to one (Physical "
                             "Volume in Gmsh), whose material set it takes");
    for (size_t e = 0; e < raw.hexes.size(); ++e) {
        const Hex& h = raw.hexes[e];
        const std::string where =
            name + ":" + std::to_string(h.line) + ": element " + std::to_string(h.tag);
        if (h.volume == 0)
            throw formats::Error(where +
                                 " belongs to no physical volume (every hexahedron takes the "
                                 "material set of its volume)");
        if (h.other != 0)
            throw formats::Error(where + " belongs to physical volumes " +
                                 std::to_string(h.volume) + " and " + std::to_string(h.other) +
                                 " (a hexahedron takes the material set of one volume only)");
        deck.elements[e].mat = static_cast<int>(
            std::lower_bound(volumes.begin(), volumes.end(), h.volume) - volumes.begin() + 1);
    }
    return volumes;
}

// The deck numbers of the kept nodes of one physical group, sorted, each once.
std::vector<int> group_members(const Raw& raw, const std::string& name,
                               const std::vector<int>& number, int dim, int tag) {
    std::vector<int> members;
    auto gn = raw.group_nodes.find({dim, tag});
    if (gn == raw.group_nodes.end()) return members;
    for (long long t : gn->second) {
        const long long i = index_of(raw, t);
        if (i < 0)
            throw formats::Error(name + ": an element of physical group " + std::to_string(tag) +
                                 " uses node " + std::to_string(t) + ", which is not defined");
        if (number[static_cast<size_t>(i)] > 0) members.push_back(number[static_cast<size_t>(i)]);
    }
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    return members;
}

// Components: 1 is every node, as for the generated meshes, then one per
// physical group, ordered by tag, then dimension; each reported as a group.
void add_components(const Raw& raw, const std::string& name, const std::vector<int>& number,
                    const std::vector<int>& volumes, formats::Deck& deck, ImportReport& rep) {
    std::set<std::pair<int, int>> keys;  // (tag, dim)
    for (const auto& [k, v] : raw.group_nodes) keys.insert({k.second, k.first});
    for (const auto& [k, v] : raw.names) keys.insert({k.second, k.first});
    deck.components.assign(1, std::vector<int>(static_cast<size_t>(deck.nnodes())));
    for (int n = 0; n < deck.nnodes(); ++n) deck.components[0][static_cast<size_t>(n)] = n + 1;
    for (const auto& [tag, dim] : keys) {
        Group g;
        g.dim = dim;
        g.tag = tag;
        auto nm = raw.names.find({dim, tag});
        if (nm != raw.names.end()) g.name = nm->second;
        std::vector<int> members = group_members(raw, name, number, dim, tag);
        g.nodes = static_cast<int>(members.size());
        deck.components.push_back(std::move(members));
        g.component = deck.ncomponents();
        if (dim == 3 && std::binary_search(volumes.begin(), volumes.end(), tag)) {
            g.material = static_cast<int>(std::lower_bound(volumes.begin(), volumes.end(), tag) -
                                          volumes.begin() + 1);
            for (const formats::Element& el : deck.elements) g.elements += el.mat == g.material;
        }
        rep.groups.push_back(g);
    }
}

// Two physical volumes of one name would be one name for two parts: an
// option naming it (--material, --velocity, ...) could reach only one of
// them, so the import stops instead.
void check_volume_names(const std::string& name, const ImportReport& rep) {
    std::map<std::string, int> seen;  // volume name -> tag of its first volume
    for (const Group& g : rep.groups) {
        if (g.dim != 3 || g.name.empty()) continue;
        const auto [it, fresh] = seen.emplace(g.name, g.tag);
        if (!fresh)
            throw formats::Error(name + ": physical volumes " + std::to_string(it->second) +
                                 " and " + std::to_string(g.tag) + " are both named \"" + g.name +
                                 "\", so an option naming \"" + g.name +
                                 "\" would reach only one of them: give each volume a name of "
                                 "its own in Gmsh, or put both in one physical volume");
    }
}

}  // namespace

ImportReport import_text(std::string_view text, const std::string& name, formats::Deck& deck) {
    Raw raw = read_raw(text, name);
    sort_nodes(raw, name);
    ImportReport rep;
    rep.version = raw.version;
    const std::vector<int> number = keep_nodes(raw, name, deck, rep);
    add_hexahedra(raw, name, number, deck, rep);
    const std::vector<int> volumes = assign_sets(raw, name, deck);
    add_components(raw, name, number, volumes, deck, rep);
    check_volume_names(name, rep);
    return rep;
}

ImportReport import_file(const std::string& path, formats::Deck& deck) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw formats::Error("cannot read mesh file \"" + path + "\": it is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw formats::Error("cannot open mesh file \"" + path + "\": " + std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    return import_text(text, path, deck);
}

}  // namespace mesh
