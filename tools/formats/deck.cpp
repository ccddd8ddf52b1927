#include "formats/deck.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <tuple>
#include <unordered_map>

#include "failure/failtable.hpp"
#include "input/grammar.hpp"
#include "input/lexical.hpp"
#include "input/vocabulary.hpp"
#include "model/curvevariables.hpp"
#include "parallel/deckname.hpp"

namespace formats {

namespace {

constexpr int kLineWidth = lexical::linewidth;  // columns of a deck line the solver keeps
constexpr int kMaxWords = 15;                   // words a deck line may hold
constexpr int kWordWidth = 20;                  // characters of a word the solver keeps

using lexical::match4;

// Splits a deck into words with the solver's rules: tabs are blanks, "!"
// starts a comment, blanks and commas separate words (a comma followed by a
// blank counts once, two commas enclose an empty word), the first and last
// characters of a line never separate.
class Lexer {
  public:
    Lexer(std::string_view text, std::string name) : text_(text), name_(std::move(name)) {}

    [[noreturn]] void fail(const std::string& msg) const {
        throw Error(name_ + ":" + std::to_string(line_) + ": " + msg);
    }
    [[noreturn]] void fail_at(int line, const std::string& msg) const {
        throw Error(name_ + ":" + std::to_string(line) + ": " + msg);
    }
    int line() const { return line_; }
    bool words_left() const { return next_ < nwords_; }

    // Refuses a count of records that the rest of the text cannot hold, before
    // anything of that size is allocated. A record of `words` numbers takes at
    // least two bytes a word (a character and a separator), counted from the
    // start of the current line. Small counts cost little memory and are let
    // through: the later checks then name the missing record itself.
    void check_fits(long long count, int words, const char* what) const {
        constexpr long long small = 65536;
        const long long left = static_cast<long long>(text_.size() - line_start_);
        if (count > small && count * 2 * words - 1 > left)
            fail(std::string(what) + " " + std::to_string(count) +
                 " is more than the rest of the deck can hold (" + std::to_string(left) +
                 " bytes from this line; a record takes at least " + std::to_string(2 * words) +
                 ")");
    }

    // True at the end of the text (no further word).
    bool at_end() {
        while (next_ >= nwords_) {
            if (!readline()) return true;
        }
        return false;
    }

    std::string_view peek() {
        if (at_end())
            fail("the deck ends before \"endi\"" + (note_.empty() ? std::string() : ": " + note_));
        return words_[next_];
    }

    // What to do when the deck ends inside the block being read (empty: none).
    void opened(const std::string& note) { note_ = note; }

    // Words left on the current line before the first that matches the table.
    int valuesonline(const char* table, int n) const {
        int k = 0;
        for (int w = next_; w < nwords_; ++w, ++k)
            if (match4(words_[w], table, n) >= 1) break;
        return k;
    }

    int keyword(const char* table, int n) {
        int k = match4(peek(), table, n);
        if (k > 0) ++next_;
        return k;
    }

    std::string_view take() {
        std::string_view w = peek();
        ++next_;
        return w;
    }

    int getint(const char* what) {
        int v = 0;
        if (!lexical::parse_int(numeric(what, "an integer"), v))
            fail(std::string("expected an integer for ") + what + ", found \"" +
                 std::string(word_) + "\"");
        return v;
    }

    double getreal(const char* what) {
        float value = 0.0f;
        if (!lexical::parse_real(numeric(what, "a real number"), value))
            fail(std::string("expected a real number for ") + what + ", found \"" +
                 std::string(word_) + "\"");
        return static_cast<double>(value);
    }

    // The current line after the word just taken, as written (tabs as
    // blanks, without the comment and the trailing blanks): the blank
    // compaction of the words does not touch it. The rest of the line is not
    // read as words.
    std::string rest_of_line() {
        std::string r;
        if (next_ > 0) {
            const size_t end = static_cast<size_t>(wordend_[next_ - 1]);
            if (end < clean_.size()) r = raw_.substr(origin_[end]);
        }
        size_t b = r.find_first_not_of(" ,");
        r = b == std::string::npos ? std::string() : r.substr(b);
        next_ = nwords_;
        return r;
    }

  private:
    std::string_view numeric(const char* what, const char* kind) {
        word_ = take();
        if (word_.empty() || !(word_[0] == '-' || (word_[0] >= '0' && word_[0] <= '9')))
            fail(std::string("expected ") + kind + " for " + what + ", found \"" +
                 std::string(word_) + "\"");
        if (word_.size() > static_cast<size_t>(kWordWidth))
            fail("number longer than 20 characters: \"" + std::string(word_) + "\"");
        return lexical::numeric_text(word_);
    }

    bool readline() {
        if (pos_ >= text_.size()) return false;
        size_t e = text_.find('\n', pos_);
        if (e == std::string_view::npos) e = text_.size();
        std::string_view raw = text_.substr(pos_, e - pos_);
        line_start_ = pos_;
        pos_ = e + 1;
        ++line_;
        nwords_ = 0;
        next_ = 0;

        std::string c(raw);
        for (char& ch : c)
            if (ch == '\t' || ch == '\r') ch = ' ';
        size_t bang = c.find('!');
        if (bang != std::string::npos) c.resize(bang);
        if (c.size() > static_cast<size_t>(kLineWidth)) {
            if (c.find_first_not_of(' ', kLineWidth) != std::string::npos)
                fail("line longer than 256 characters");
            c.resize(kLineWidth);
        }
        size_t first = c.find_first_not_of(' ');
        if (first == std::string::npos) return true;
        c.erase(0, first);
        c.erase(c.find_last_not_of(' ') + 1);

        int n = static_cast<int>(c.size());
        std::string d = c;
        lexical::wordspan spans[lexical::linewidth + 1];
        const int nspans = lexical::splitwords(d.data(), n, spans, &origin_);
        if (nspans > kMaxWords)
            fail("more than 15 words on one line (" + std::to_string(nspans) + " found)");
        clean_ = d.substr(0, static_cast<size_t>(n));
        raw_ = std::move(c);
        for (int w = 0; w < nspans; ++w) {
            const lexical::wordspan& s = spans[w];
            const int len = std::max(s.last - s.first + 1, 0);
            words_[nwords_] = std::string_view(clean_).substr(static_cast<size_t>(s.first - 1),
                                                              static_cast<size_t>(len));
            wordend_[nwords_] = s.last;
            ++nwords_;
        }
        return true;
    }

    std::string_view text_;
    std::string name_;
    std::string note_;
    size_t pos_ = 0;
    size_t line_start_ = 0;  // offset of the current line in the text
    int line_ = 0;
    std::string clean_;
    std::string raw_;             // the line before the blank compaction
    std::vector<size_t> origin_;  // place in raw_ of each character of clean_
    std::string_view words_[kMaxWords];
    int wordend_[kMaxWords] = {};
    int nwords_ = 0;
    int next_ = 0;
    std::string_view word_;
};

std::string join_nonneg(const char* what, int v) {
    return std::string(what) + " must not be negative (" + std::to_string(v) + ")";
}

std::string real_text(double v) {
    std::string s;
    append_real(s, v);
    return s;
}

}  // namespace

std::string curve_name(int option) {
    const std::string_view w = vocabulary::word(vocabulary::curves, vocabulary::ncurves, option);
    return w.empty() ? "?" : std::string(w);
}

int curve_option(std::string_view name) {
    return match4(name, vocabulary::curves, vocabulary::ncurves);
}

bool curve_at_element(int option) {
    return option >= 1 && option <= curvevariables::count &&
           curvevariables::of(option).at == curvevariables::kind::element;
}

bool curve_at_node(int option) {
    return option >= 1 && option <= curvevariables::count &&
           curvevariables::of(option).at == curvevariables::kind::node;
}

const catalog::model* material_model(std::string_view word) {
    return catalog::find(match4(word, vocabulary::materials, vocabulary::nmaterials));
}

int material_real_count(std::string_view model) {
    const catalog::model* row = material_model(model);
    return row ? static_cast<int>(row->constants.size()) : -1;
}

std::string deck_name(int process) { return commnodes::deckname(process); }

double to_single(double v) { return static_cast<double>(static_cast<float>(v)); }

namespace {

// True when the deck gives time function f: 1 the "time" table, the others
// their "tfun" record.
bool function_given(const Deck& d, int f) {
    if (f == 1) return d.timetable.has_value();
    for (const Function& g : d.functions)
        if (g.func == f) return true;
    return false;
}

// The driven components against each other and against "fixd", as the
// solver checks them once its deck is read.
std::string drive_fault(const Deck& d) {
    const int nc = d.ncomponents();
    for (const Drive& r : d.drives)
        if (r.comp < 1 || r.comp > nc) return {};  // named by the range checks
    for (const Fixity& f : d.fixities)
        if (f.comp < 1 || f.comp > nc) return {};
    return grammar::drivefault(d.drives, d.fixities, [&d](int c) -> const std::vector<int>& {
        return d.components[static_cast<size_t>(c - 1)];
    });
}

// What keeps failure record r from acting on the model of its set, as the
// solver finds it once its deck is read: the "cons" switch as given, or as
// "corr on" sets it.
std::string failure_model_fault(const Deck& d, const FailureRecord& r) {
    if (r.set < 1 || r.set > static_cast<int>(d.materials.size())) return {};
    const bool consistent = d.consistent ? *d.consistent : d.corrected.value_or(false);
    return grammar::failuremodelfault(
        r, material_model(d.materials[static_cast<size_t>(r.set - 1)].model), consistent);
}

// The deck as the shared record readers take it: the lexer's words, a
// message with the deck's name and line.
struct DeckWords {
    Lexer& lx;
    int keyword(const char* table, int n) { return lx.keyword(table, n); }
    int integer(const char* what) { return lx.getint(what); }
    double real(const char* what) { return lx.getreal(what); }
    // The tools read every number strictly.
    int oldint(const char* what) { return lx.getint(what); }
    double oldreal(const char* what) { return lx.getreal(what); }
    bool words_left() const { return lx.words_left(); }
    int line() const { return lx.line(); }
    int valuesonline(const char* table, int n) const { return lx.valuesonline(table, n); }
    std::string word() const { return std::string(lx.peek()); }
    bool numbernext() const { return grammar::numberword(lx.peek()); }
    void opened(const std::string& note) const { lx.opened(note); }
    [[noreturn]] void fail(const std::string& message) const { lx.fail(message); }
    [[noreturn]] void stop(const std::string&, const std::string& detail) const { lx.fail(detail); }
    [[noreturn]] void unknown(const std::string&, const std::string& expected) const {
        lx.fail("expected " + expected + ", found \"" + std::string(lx.peek()) + "\"");
    }
    [[noreturn]] void toomany(const char*, const char* item, int count, int found) const {
        lx.fail(grammar::outside(item, found, 1, count));
    }
    int count(const char* what, int words) {
        const int n = lx.getint(what);
        if (n < 0) lx.fail(join_nonneg(what, n));
        lx.check_fits(n, words, what);
        return n;
    }
    static std::string show(double v) { return real_text(v); }
};

// Reads one deck: a reader per keyword fills the deck and what the later
// keywords check against (which counts, nodes, elements and sets are given).
class DeckReader {
  public:
    DeckReader(std::string_view text, const std::string& name) : lx_(text, name), name_(name) {}

    Deck read() {
        for (;;) {
            const int k = lx_.keyword(vocabulary::keywords, vocabulary::nkeywords);
            if (!keyword(k)) break;
            after_ = k;
        }
        finish();
        return std::move(d_);
    }

  private:
    // Reads the records of keyword k; false at "endi".
    bool keyword(int k) {
        switch (k) {
            case 1: return false;  // endi
            case 2: d_.title = lx_.rest_of_line(); break;
            case 3: nodecount(); break;
            case 4: d_.report = lx_.getint("report steps"); break;
            case 5: d_.hourglass = grammar::readhourglass(in_); break;
            case 6: timetable(); break;
            case 7: d_.endtime = lx_.getreal("end time"); break;
            case 8: d_.outtime = lx_.getreal("output interval"); break;
            case 9: materialcount(); break;
            case 10: materials(); break;
            case 11: nodes(); break;
            case 12: d_.jaumann = grammar::readswitch(in_); break;
            case 13: componentcount(); break;
            case 14: vectors(d_.loads, vocabulary::loadrecords, "load"); break;
            case 15: vectors(d_.velocities, vocabulary::velocityrecords, "velo"); break;
            case 16:
                if (d_.curves.size() >= 10) lx_.fail("more than 10 curves");
                d_.curves.push_back(grammar::readcurve(in_));
                break;
            case 17: d_.seos.push_back(grammar::readeos(in_, nmat(), matgiven_)); break;
            case 18: elements(); break;
            case 19: elementcount(); break;
            case 20: d_.rigid = grammar::readrigid(in_); break;
            case 21: d_.dtscale = grammar::readdtscale(in_); break;
            case 22: d_.fieldtime = grammar::readfieldstep(in_); break;
            case 23: d_.energy = switchrecord("ebal"); break;
            case 24: d_.checkpoint = grammar::readcheckpointsteps(in_); break;
            case 25: d_.bulk = grammar::readbulk(in_); break;
            case 26: d_.fixities.push_back(grammar::readfixity(in_, d_.ncomponents())); break;
            case 27: d_.stable = switchrecord("stab"); break;
            case 28: d_.midstep = switchrecord("midg"); break;
            case 32: d_.vonmises = switchrecord("vmis"); break;
            case 33: d_.consistent = switchrecord("cons"); break;
            case 34: d_.corrected = switchrecord("corr"); break;
            case 40: d_.solvermath = switchrecord("math"); break;
            case 36: {
                Function f = grammar::readfunction(in_);
                for (const Function& g : d_.functions)
                    if (g.func == f.func)
                        lx_.fail("tfun " + std::to_string(f.func) + " given a second time");
                d_.functions.push_back(std::move(f));
                break;
            }
            case 37:
                d_.drives.push_back(grammar::readdrive(in_, d_.ncomponents()));
                use(d_.drives.back().func);
                break;
            case 38: {
                const Reaction r = grammar::readreaction(in_, d_.ncomponents());
                const std::string fault = grammar::reactiontwicefault(d_.reactions, r.name);
                if (!fault.empty()) lx_.fail(fault);
                d_.reactions.push_back(r);
                break;
            }
            case 39: {
                const Body b = grammar::readbody(in_, nmat());
                const std::string fault = grammar::bodytwicefault(d_.bodies, b.set);
                if (!fault.empty()) lx_.fail(fault);
                d_.bodies.push_back(b);
                break;
            }
            case 29:
                once(seen_cont_, "cont");
                d_.contact = grammar::readcontact(in_, nmat());
                break;
            case 30:
                once(seen_glob_, "glob");
                grammar::readglobal(in_, seen_nbmp_ && seen_nbel_, nbmp_, nbel_, d_.node_global,
                                    d_.element_global);
                break;
            case 31:
                once(seen_fail_, "fail");
                d_.failure = grammar::readfailure(in_, nmat());
                break;
            case 35:
                once(seen_wall_, "wall");
                d_.walls = grammar::readwalls(in_, d_.ncomponents());
                break;
            default: {
                const std::string w(lx_.peek());
                const int count = after_ == 10 ? nmat() : after_ == 11 ? nbmp_ : nbel_;
                const std::string advice = grammar::keywordadvice(w, lx_.line(), after_, count);
                lx_.fail("unknown keyword \"" + w + "\"" + (advice.empty() ? "" : ": " + advice));
            }
        }
        return true;
    }

    int nmat() const { return static_cast<int>(d_.materials.size()); }

    void once(bool& seen, const char* k) {
        if (seen) lx_.fail(std::string("keyword \"") + k + "\" given a second time");
        seen = true;
    }

    bool switchrecord(const char* kw) {
        grammar::checkvalues(in_, kw, 1, "ON or OFF");
        return grammar::readswitch(in_);
    }

    void nodecount() {
        once(seen_nbmp_, "nbmp");
        nbmp_ = in_.count("node count", 5);  // "part" record of every node
        d_.nodes.assign(static_cast<size_t>(nbmp_), {0.0, 0.0, 0.0});
        nodegiven_.assign(static_cast<size_t>(nbmp_), 0);
        nodecomps_.assign(static_cast<size_t>(nbmp_), {});
    }

    void elementcount() {
        once(seen_nbel_, "nbel");
        nbel_ = in_.count("element count", 10);  // "elem" record of every element
        d_.elements.assign(static_cast<size_t>(nbel_), Element{});
        elemgiven_.assign(static_cast<size_t>(nbel_), 0);
    }

    void materialcount() {
        once(seen_nmat_, "nmat");
        // A set without its "mate" record has no model and cannot be
        // written back, so every set takes a record: number, model, 3 reals.
        const int n = in_.count("material count", 5);
        d_.materials.assign(static_cast<size_t>(n), Material{});
        matgiven_.assign(static_cast<size_t>(n), 0);
    }

    void componentcount() {
        once(seen_ncom_, "ncom");
        if (!seen_nbmp_) lx_.fail("\"ncom\" before \"nbmp\"");
        // Components may stay empty: a loose bound of one word each.
        const int n = in_.count("component count", 1);
        d_.components.assign(static_cast<size_t>(n), {});
    }

    void timetable() {
        if (d_.timetable) lx_.fail("keyword \"time\" given a second time");
        d_.timetable = grammar::readtimefunction(in_);
    }

    // "mate": records up to the one of the last set.
    void materials() {
        if (nmat() == 0) lx_.fail("\"mate\" before \"nmat\" (or with nmat 0)");
        int m = 0;
        do {
            grammar::materialrecord r = grammar::readmaterial(in_, nmat());
            m = r.set;
            Material& mat = d_.materials[static_cast<size_t>(m - 1)];
            mat.model = vocabulary::word(vocabulary::materials, vocabulary::nmaterials, r.model);
            mat.reals = std::move(r.reals);
            matgiven_[static_cast<size_t>(m - 1)] = 1;
        } while (m < nmat());
    }

    // "part": node records up to the one of the last node.
    void nodes() {
        if (!seen_nbmp_ || nbmp_ == 0) lx_.fail("\"part\" before \"nbmp\" (or with nbmp 0)");
        last_part_line_ = lx_.line();
        int n = 0;
        do {
            int c = 0;
            std::tie(n, c) = grammar::readnodenumbers(in_, nbmp_, d_.ncomponents());
            d_.nodes[static_cast<size_t>(n - 1)] = grammar::readcoordinates(in_);
            nodegiven_[static_cast<size_t>(n - 1)] = 1;
            if (c > 0) {
                auto& nc = nodecomps_[static_cast<size_t>(n - 1)];
                if (std::find(nc.begin(), nc.end(), c) == nc.end()) {
                    nc.push_back(c);
                    d_.components[static_cast<size_t>(c - 1)].push_back(n);
                }
            }
        } while (n != nbmp_);
    }

    // "elem": element records up to the one of the last element.
    void elements() {
        if (!seen_nbel_ || nbel_ == 0) lx_.fail("\"elem\" before \"nbel\" (or with nbel 0)");
        once(seen_elem_, "elem");
        int e = 0;
        do {
            const grammar::elementrecord r =
                grammar::readelement(in_, nbel_, nmat(), nbmp_, elemgiven_, matgiven_, nodegiven_);
            e = r.element;
            elemgiven_[static_cast<size_t>(e - 1)] = 1;
            d_.elements[static_cast<size_t>(e - 1)] = Element{r.mat, r.node};
        } while (e != nbel_);
        for (int i = 0; i < nbel_; ++i)
            if (!elemgiven_[static_cast<size_t>(i)])
                lx_.fail("element " + std::to_string(i + 1) +
                         " was never given (the block ended with element " + std::to_string(nbel_) +
                         ")");
    }

    // "load" and "velo": node and component records up to the block's end.
    void vectors(std::vector<VectorRecord>& out, const char* table, const char* block) {
        if (!seen_nbmp_) lx_.fail(std::string("\"") + block + "\" before \"nbmp\"");
        while (const std::optional<VectorRecord> r = grammar::readvector(
                   in_, table, nbmp_, d_.ncomponents(), block, "", &out == &d_.loads)) {
            if (r->comp && first_comprecord_line_ == 0) first_comprecord_line_ = lx_.line();
            if (r->func != 1) use(r->func);
            out.push_back(*r);
        }
    }

    // The first line that names each time function, for the check that the
    // deck gives it.
    void use(int func) {
        for (const auto& [f, line] : functionuse_)
            if (f == func) return;
        functionuse_.emplace_back(func, lx_.line());
    }

    // Checks that need the whole deck.
    void finish() const {
        for (const auto& [f, line] : functionuse_) {
            const std::string fault = grammar::functionfault(f, function_given(d_, f));
            if (!fault.empty()) throw Error(name_ + ":" + std::to_string(line) + ": " + fault);
        }
        if (const std::string fault = drive_fault(d_); !fault.empty())
            throw Error(name_ + ": " + fault);
        for (int i = 0; i < nbmp_; ++i)
            if (!nodegiven_[static_cast<size_t>(i)])
                throw Error(name_ + ": node " + std::to_string(i + 1) +
                            " has no coordinates (not given in \"part\")");
        if (nbel_ > 0 && !seen_elem_) throw Error(name_ + ": \"nbel\" given but no \"elem\" block");
        if (first_comprecord_line_ > 0 && last_part_line_ > first_comprecord_line_)
            throw Error(name_ + ":" + std::to_string(first_comprecord_line_) +
                        ": a \"comp\" record of \"load\" or \"velo\" comes before the \"part\" "
                        "block of line " +
                        std::to_string(last_part_line_) + " that fills the components");
        for (size_t i = 0; i < d_.curves.size(); ++i) {
            const Curve& c = d_.curves[i];
            const std::string fault = curvevariables::rangefault(c.option, c.element, nbel_, nbmp_);
            if (!fault.empty())
                throw Error(name_ + ": curve " + std::to_string(i + 1) + " (" +
                            curve_name(c.option) + ") " + fault);
        }
        // The failure records against the models of their sets, after the
        // curves as the solver checks them.
        if (d_.failure)
            for (const FailureRecord& r : *d_.failure) {
                const std::string fault = failure_model_fault(d_, r);
                if (!fault.empty()) lx_.fail_at(r.line, fault);
            }
    }

    Lexer lx_;
    DeckWords in_{lx_};
    std::string name_;
    Deck d_;
    bool seen_nbmp_ = false, seen_nbel_ = false, seen_nmat_ = false, seen_ncom_ = false,
         seen_elem_ = false, seen_cont_ = false, seen_glob_ = false, seen_fail_ = false,
         seen_wall_ = false;
    int nbmp_ = 0, nbel_ = 0;
    int after_ = 0;  // the keyword read last, for the advice on a word that is none
    std::vector<char> nodegiven_, elemgiven_, matgiven_;
    std::vector<std::vector<int>> nodecomps_;  // per node, for repeated memberships
    int last_part_line_ = 0, first_comprecord_line_ = 0;
    std::vector<std::pair<int, int>> functionuse_;  // (time function, first line naming it)
};

}  // namespace

Deck parse_deck(std::string_view text, const std::string& name) {
    return DeckReader(text, name).read();
}

Deck read_deck(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw Error("cannot read deck \"" + path + "\": it is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot open deck \"" + path + "\": " + std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) throw Error("cannot read deck \"" + path + "\"");
    std::string text = s.str();
    return parse_deck(text, path);
}

// ------------------------------------------------------------------ writing

void append_int(std::string& out, long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void append_real(std::string& out, double v) {
    char buf[48];
    const float f = static_cast<float>(v);
    auto r = std::to_chars(buf, buf + sizeof buf, f);
    out.append(buf, r.ptr);
}

namespace {

void require(const std::string& fault) {
    if (!fault.empty()) throw Error(fault);
}

void check_real(double v, const std::string& what) {
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
        throw Error(what + " is not a finite single-precision number");
}

}  // namespace

namespace {

// The title, the run control and the switch-like records.
void check_control(const Deck& d) {
    const int nc = d.ncomponents();
    if (d.title) {
        const std::string& t = *d.title;
        for (char ch : t)
            if (ch == '!' || static_cast<unsigned char>(ch) < 32)
                throw Error("the title may not hold \"!\" or control characters");
        if (t.size() + 5 > static_cast<size_t>(kLineWidth))
            throw Error("the title is longer than 251 characters");
    }
    if (d.endtime) check_real(*d.endtime, "the end time");
    if (d.outtime) check_real(*d.outtime, "the output interval");
    if (d.dtscale) {
        check_real(*d.dtscale, "the time-step scale");
        if (!(*d.dtscale > 0.0)) throw Error("the time-step scale must be positive");
    }
    if (d.fieldtime) {
        check_real(*d.fieldtime, "the field output interval");
        if (!(*d.fieldtime >= 0.0)) throw Error("the field output interval must not be negative");
    }
    if (d.hourglass) check_real(d.hourglass->coef, "the hourglass coefficient");
    if (d.rigid) check_real(d.rigid->coord, "the rigid-plane coordinate");
    if (d.bulk) {
        check_real(d.bulk->q1, "the bulk viscosity Q1");
        check_real(d.bulk->q2, "the bulk viscosity Q2");
        require(grammar::outside(grammar::bulkq1, d.bulk->q1, real_text));
        require(grammar::outside(grammar::bulkq2, d.bulk->q2, real_text));
    }
    for (const Fixity& f : d.fixities) {
        require(grammar::outside("fixd component", f.comp, 1, nc));
        for (int a : f.axis) require(grammar::outside("fixd direction flag", a, 0, 1));
    }
    if (d.timetable)
        for (const TimePoint& p : *d.timetable) {
            check_real(p.time, "a time-function time");
            check_real(p.value, "a time-function value");
        }
}

// The "mate" and "seos" records.
void check_materials(const Deck& d) {
    const int nm = static_cast<int>(d.materials.size());
    for (int m = 0; m < nm; ++m) {
        const Material& mat = d.materials[static_cast<size_t>(m)];
        const catalog::model* row = material_model(mat.model);
        if (!row || mat.model.size() != 4)
            throw Error("material set " + std::to_string(m + 1) + ": unknown model \"" + mat.model +
                        "\"");
        for (double x : mat.reals)
            check_real(x, "a constant of material set " + std::to_string(m + 1));
        require(grammar::materialfault(*row, mat.reals, m + 1, real_text));
    }
    for (const Seos& s : d.seos) {
        if (s.set < 1 || s.set > nm)
            throw Error("seos names material set " + std::to_string(s.set) + ", outside 1.." +
                        std::to_string(nm));
        if (s.type != 1) throw Error("seos type " + std::to_string(s.type) + " (only 1 exists)");
        check_real(s.c0, "a seos constant");
        check_real(s.s, "a seos constant");
        check_real(s.gamma0, "a seos constant");
    }
}

// Nodes, components, elements, loads and initial velocities.
void check_mesh(const Deck& d) {
    const int nn = d.nnodes(), ne = d.nelements(), nm = static_cast<int>(d.materials.size()),
              nc = d.ncomponents();
    for (int n = 0; n < nn; ++n)
        for (double x : d.nodes[static_cast<size_t>(n)])
            check_real(x, "a coordinate of node " + std::to_string(n + 1));
    std::vector<int> seen(static_cast<size_t>(nn), 0);
    for (int c = 0; c < nc; ++c) {
        for (int n : d.components[static_cast<size_t>(c)]) {
            if (n < 1 || n > nn)
                throw Error("component " + std::to_string(c + 1) + " holds node " +
                            std::to_string(n) + ", outside 1.." + std::to_string(nn));
            if (seen[static_cast<size_t>(n - 1)] == c + 1)
                throw Error("component " + std::to_string(c + 1) + " holds node " +
                            std::to_string(n) + " twice");
            seen[static_cast<size_t>(n - 1)] = c + 1;
        }
    }
    if (ne > 0 && nm == 0) throw Error("elements without material sets");
    for (int e = 0; e < ne; ++e) {
        const Element& el = d.elements[static_cast<size_t>(e)];
        if (el.mat < 1 || el.mat > nm)
            throw Error("element " + std::to_string(e + 1) + " uses material set " +
                        std::to_string(el.mat) + ", outside 1.." + std::to_string(nm));
        for (int n : el.node)
            if (n < 1 || n > nn)
                throw Error("element " + std::to_string(e + 1) + " uses node " + std::to_string(n) +
                            ", outside 1.." + std::to_string(nn));
        require(grammar::cornerfault(e + 1, el.node));
    }
    auto check_records = [&](const std::vector<VectorRecord>& rs, const char* what) {
        for (const VectorRecord& r : rs) {
            if (r.comp ? (r.id < 1 || r.id > nc) : (r.id < 1 || r.id > nn))
                throw Error(std::string(what) + " record names " +
                            (r.comp ? "component " : "node ") + std::to_string(r.id) +
                            ", outside 1.." + std::to_string(r.comp ? nc : nn));
            for (double x : r.v) check_real(x, std::string("a ") + what + " value");
        }
    };
    check_records(d.loads, "load");
    check_records(d.velocities, "velocity");
    if ((!d.loads.empty() || !d.velocities.empty()) && nn == 0)
        throw Error("load or velocity records without nodes");
}

void check_contact(const Contact& c, int nm) {
    if (c.scale) {
        check_real(*c.scale, "the contact penalty scale");
        require(grammar::outside(grammar::contactscale, *c.scale, real_text));
    }
    if (c.friction) {
        for (double x : {c.friction->stat, c.friction->dyn, c.friction->decay})
            check_real(x, "a friction constant");
        require(grammar::frictionfault(*c.friction, real_text));
    }
    for (const std::vector<int>& p : c.parts)
        if (p.empty() || p.size() > static_cast<size_t>(kContactPartSets))
            throw Error("a contact \"part\" record holds 1.." + std::to_string(kContactPartSets) +
                        " material sets, not " + std::to_string(p.size()));
    auto check_set = [&](int s) {
        require(grammar::outside("contact material set", s, 1, std::min(nm, grammar::contactsets)));
    };
    // A set or a pair given twice is refused as the solver refuses it.
    grammar::contactseen seen;
    for (const std::vector<int>& p : c.parts)
        for (int s : p) {
            check_set(s);
            require(grammar::contactpartfault(seen, s));
        }
    for (const std::array<int, 2>& p : c.pairs) {
        for (int s : p) check_set(s);
        require(grammar::contactpairfault(seen, p[0], p[1]));
    }
    for (const grammar::pairscale& p : c.pairscales) {
        check_set(p.a);
        check_set(p.b);
        require(grammar::contactpairscalefault(seen, p.a, p.b));
        check_real(p.scale, "a pair's contact penalty scale");
        require(grammar::outside(grammar::contactscale, p.scale, real_text));
    }
    std::vector<std::array<int, 2>> forces;
    for (const std::array<int, 2>& f : c.forces) {
        for (int s : f) check_set(s);
        require(grammar::contactforcefault(forces, f[0], f[1]));
        forces.push_back(f);
    }
}

}  // namespace

namespace {

// Time functions, driven components and constraint forces: their ranges,
// the functions they name given, no direction driven twice or held as well.
void check_motion(const Deck& d) {
    const int nc = d.ncomponents();
    std::vector<int> seen;
    for (const Function& f : d.functions) {
        require(grammar::outside("time function number", f.func, 2, grammar::maxfunctions));
        if (std::find(seen.begin(), seen.end(), f.func) != seen.end())
            throw Error("tfun " + std::to_string(f.func) + " given a second time");
        seen.push_back(f.func);
        if (f.points.size() < 2)
            throw Error("tfun " + std::to_string(f.func) + " needs at least 2 points, found " +
                        std::to_string(f.points.size()));
        for (size_t k = 0; k < f.points.size(); ++k) {
            check_real(f.points[k].time, "a time-function time");
            check_real(f.points[k].value, "a time-function value");
            if (k > 0 && f.points[k].time < f.points[k - 1].time)
                throw Error("tfun " + std::to_string(f.func) + ": point " + std::to_string(k + 1) +
                            " comes before point " + std::to_string(k));
        }
    }
    const auto named = [&d](int f) {
        require(grammar::outside("time function number", f, 1, grammar::maxfunctions));
        require(grammar::functionfault(f, function_given(d, f)));
    };
    for (const VectorRecord& r : d.loads)
        if (r.func != 1) named(r.func);
    for (const Drive& r : d.drives) {
        require(grammar::outside("component number", r.comp, 1, nc));
        require(grammar::outside("move axis", r.axis, 1, 3));
        check_real(r.scale, "a move scale");
        named(r.func);
    }
    std::vector<Reaction> given;
    for (const Reaction& r : d.reactions) {
        require(grammar::outside("component number", r.comp, r.comp == r.name ? 1 : 0, nc));
        require(grammar::outside("reac column number", r.name, 1, 999999));
        require(grammar::reactiontwicefault(given, r.name));
        given.push_back(r);
    }
    require(drive_fault(d));
}

}  // namespace

void check_deck(const Deck& d) {
    const int nn = d.nnodes(), ne = d.nelements(), nm = static_cast<int>(d.materials.size());
    check_control(d);
    check_materials(d);
    check_mesh(d);
    if (d.contact) check_contact(*d.contact, nm);
    std::vector<Body> bodies;
    for (const Body& b : d.bodies) {
        require(grammar::outside("rigd material set", b.set, 1, nm));
        for (const double v : b.v) require(grammar::outside(grammar::rigidspeed, v, real_text));
        for (const double w : b.w) require(grammar::outside(grammar::rigidspin, w, real_text));
        for (const int h : b.hold) require(grammar::outside("rigd hold (0 free, 1 held)", h, 0, 1));
        require(grammar::bodytwicefault(bodies, b.set));
        bodies.push_back(b);
    }
    if (d.walls) {
        if (d.walls->empty()) throw Error("a wall block holds no wall");
        for (std::size_t i = 0; i < d.walls->size(); ++i)
            require(grammar::wallfault((*d.walls)[i], static_cast<int>(i) + 1, d.ncomponents(),
                                       real_text));
    }
    if (!d.node_global.empty() || !d.element_global.empty()) {
        if (static_cast<int>(d.node_global.size()) != nn ||
            static_cast<int>(d.element_global.size()) != ne)
            throw Error("glob holds " + std::to_string(d.node_global.size()) + " node and " +
                        std::to_string(d.element_global.size()) + " element numbers for " +
                        std::to_string(nn) + " nodes and " + std::to_string(ne) + " elements");
        require(grammar::globalfault(d.node_global, "node"));
        require(grammar::globalfault(d.element_global, "element"));
    }
    if (d.failure) {
        grammar::failureseen seen;
        for (const FailureRecord& r : *d.failure) {
            for (double x : r.values) check_real(x, "a failure constant");
            require(grammar::failurefault(r, nm, real_text));
            require(grammar::failuretwicefault(seen, r));
            require(failure_model_fault(d, r));
        }
    }
    check_motion(d);
    if (d.curves.size() > 10) throw Error("more than 10 curves");
    for (const Curve& c : d.curves) {
        if (c.option < 1 || c.option > vocabulary::ncurves)
            throw Error("curve variable number " + std::to_string(c.option));
        const std::string fault = curvevariables::rangefault(c.option, c.element, ne, nn);
        if (!fault.empty()) throw Error("curve " + curve_name(c.option) + " " + fault);
        if (c.element < 1) throw Error("curve element number " + std::to_string(c.element));
    }
}

std::vector<std::vector<int>> node_components(const Deck& d) {
    std::vector<std::vector<int>> nc(static_cast<size_t>(d.nnodes()));
    for (int c = 0; c < d.ncomponents(); ++c)
        for (int n : d.components[static_cast<size_t>(c)])
            nc[static_cast<size_t>(n - 1)].push_back(c + 1);
    return nc;
}

namespace {

void put_vec(std::string& o, const std::array<double, 3>& v) {
    for (double x : v) {
        o += ' ';
        append_real(o, x);
    }
}

void put_node(std::string& o, int n, int c, const std::array<double, 3>& xyz) {
    append_int(o, n);
    o += ' ';
    append_int(o, c);
    put_vec(o, xyz);
    o += '\n';
}

// Keyword records of one line: "nbmp 8", "endt 1.5e-3", "hour 1 0.1".
void put_int_record(std::string& o, const char* key, long long v) {
    o += key;
    o += ' ';
    append_int(o, v);
    o += '\n';
}

void put_real_record(std::string& o, const char* key, double v) {
    o += key;
    o += ' ';
    append_real(o, v);
    o += '\n';
}

void put_int_real_record(std::string& o, const char* key, long long i, double v) {
    o += key;
    o += ' ';
    append_int(o, i);
    o += ' ';
    append_real(o, v);
    o += '\n';
}

void put_records(std::string& o, const std::vector<VectorRecord>& rs, const char* start,
                 const char* end) {
    if (rs.empty()) return;
    o += start;
    o += '\n';
    for (const VectorRecord& r : rs) {
        o += r.comp ? "comp " : "node ";
        append_int(o, r.id);
        put_vec(o, r.v);
        if (r.func != 1) {
            o += ' ';
            append_int(o, r.func);
        }
        o += '\n';
    }
    o += end;
    o += '\n';
}

void put_contact(std::string& o, const Contact& c) {
    o += "cont\n";
    if (c.scale) put_real_record(o, "scal", *c.scale);
    if (c.friction) {
        o += "fric";
        put_vec(o, {c.friction->stat, c.friction->dyn, c.friction->decay});
        o += '\n';
    }
    auto sets = [&](const char* key, const auto& list) {
        o += key;
        for (int s : list) {
            o += ' ';
            append_int(o, s);
        }
        o += '\n';
    };
    for (const std::vector<int>& p : c.parts) sets("part", p);
    for (const std::array<int, 2>& p : c.pairs) sets("pair", p);
    for (const grammar::pairscale& p : c.pairscales) {
        sets("psca", std::array<int, 2>{p.a, p.b});
        o.pop_back();
        o += ' ';
        append_real(o, p.scale);
        o += '\n';
    }
    for (const std::array<int, 2>& f : c.forces) sets("forc", f);
    o += "endc\n";
}

// Ten numbers a line.
void put_int_lines(std::string& o, const std::vector<int>& v) {
    for (size_t i = 0; i < v.size(); ++i) {
        append_int(o, v[i]);
        o += (i % 10 == 9 || i + 1 == v.size()) ? '\n' : ' ';
    }
}

void put_failure(std::string& o, const std::vector<FailureRecord>& list) {
    o += "fail\n";
    for (const FailureRecord& r : list) {
        o += failtable::table[r.criterion - 1].word;
        if (r.set > 0) {
            o += ' ';
            append_int(o, r.set);
        }
        for (const double v : r.values) {
            o += ' ';
            append_real(o, v);
        }
        o += '\n';
    }
    o += "endf\n";
}

// The "wall" block: each shape record, then the records that complete it.
void put_walls(std::string& o, const std::vector<Wall>& list) {
    static constexpr const char* shapes[] = {"plan", "cyli", "sphe"};
    o += "wall\n";
    for (const Wall& w : list) {
        o += shapes[w.shape - 1];
        put_vec(o, w.point);
        if (w.shape != 3) put_vec(o, w.direction);
        if (w.shape != 1) {
            o += ' ';
            append_real(o, w.radius);
        }
        o += '\n';
        if (w.edge) {
            o += "edge";
            put_vec(o, {(*w.edge)[0], (*w.edge)[1], (*w.edge)[2]});
            for (std::size_t k = 3; k < 5; ++k) {
                o += ' ';
                append_real(o, (*w.edge)[k]);
            }
            o += '\n';
        }
        if (w.length) put_real_record(o, "leng", *w.length);
        if (w.inside) o += "insi\n";
        if (w.move) {
            o += "move";
            put_vec(o, *w.move);
            o += '\n';
        }
        if (w.friction) put_real_record(o, "fric", *w.friction);
        if (w.comp) put_int_record(o, "comp", *w.comp);
    }
    o += "endw\n";
}

// The run control, switches and blocks of a deck, from "endt" to "fixd".
void put_controls(std::string& o, const Deck& d) {
    if (d.endtime) put_real_record(o, "endt", *d.endtime);
    if (d.outtime) put_real_record(o, "outt", *d.outtime);
    if (d.report) put_int_record(o, "repo", *d.report);
    if (d.dtscale) put_real_record(o, "dtsc", *d.dtscale);
    if (d.checkpoint) put_int_record(o, "chkp", *d.checkpoint);
    if (d.hourglass) put_int_real_record(o, "hour", d.hourglass->method, d.hourglass->coef);
    if (d.jaumann) o += *d.jaumann ? "jaum on\n" : "jaum off\n";
    if (d.midstep) o += *d.midstep ? "midg on\n" : "midg off\n";
    if (d.fieldtime) put_real_record(o, "fout", *d.fieldtime);
    if (d.energy) o += *d.energy ? "ebal on\n" : "ebal off\n";
    if (d.stable) o += *d.stable ? "stab on\n" : "stab off\n";
    if (d.vonmises) o += *d.vonmises ? "vmis on\n" : "vmis off\n";
    if (d.consistent) o += *d.consistent ? "cons on\n" : "cons off\n";
    if (d.corrected) o += *d.corrected ? "corr on\n" : "corr off\n";
    if (d.solvermath) o += *d.solvermath ? "math on\n" : "math off\n";
    if (d.rigid) put_int_real_record(o, "rigi", d.rigid->dir, d.rigid->coord);
    if (d.bulk) {
        o += "bulk ";
        append_real(o, d.bulk->q1);
        o += ' ';
        append_real(o, d.bulk->q2);
        o += '\n';
    }
    if (d.contact) put_contact(o, *d.contact);
    if (d.failure) put_failure(o, *d.failure);
    if (d.walls) put_walls(o, *d.walls);
    for (const Fixity& f : d.fixities) {
        o += "fixd ";
        append_int(o, f.comp);
        for (int a : f.axis) {
            o += ' ';
            append_int(o, a);
        }
        o += '\n';
    }
    for (const Drive& r : d.drives) {
        o += "move ";
        append_int(o, r.comp);
        o += ' ';
        o += vocabulary::word(vocabulary::axes, vocabulary::naxes, r.axis);
        o += r.disp ? " d " : " v ";
        append_int(o, r.func);
        o += ' ';
        append_real(o, r.scale);
        o += '\n';
    }
    for (const Reaction& r : d.reactions) {
        o += "reac ";
        append_int(o, r.comp);
        if (r.name != r.comp) {
            o += ' ';
            append_int(o, r.name);
        }
        o += '\n';
    }
    for (const Body& b : d.bodies) {
        o += "rigd ";
        append_int(o, b.set);
        bool moving = false, held = false;
        for (int i = 0; i < 3; ++i) moving = moving || b.v[i] != 0.0 || b.w[i] != 0.0;
        for (const int h : b.hold) held = held || h != 0;
        if (moving || held)
            for (const double* c : {b.v, b.w})
                for (int i = 0; i < 3; ++i) {
                    o += ' ';
                    append_real(o, c[i]);
                }
        if (held)
            for (const int h : b.hold) {
                o += ' ';
                append_int(o, h);
            }
        o += '\n';
    }
}

void put_timetable(std::string& o, const std::vector<TimePoint>& t) {
    o += "time ";
    append_int(o, static_cast<long long>(t.size()));
    o += '\n';
    for (const TimePoint& p : t) {
        append_real(o, p.time);
        o += ' ';
        append_real(o, p.value);
        o += '\n';
    }
}

// The "mate" block and the "seos" records.
void put_materials(std::string& o, const Deck& d) {
    if (!d.materials.empty()) {
        o += "mate\n";
        for (size_t m = 0; m < d.materials.size(); ++m) {
            append_int(o, static_cast<long long>(m) + 1);
            o += ' ';
            o += d.materials[m].model;
            for (double x : d.materials[m].reals) {
                o += ' ';
                append_real(o, x);
            }
            o += '\n';
        }
    }
    for (const Seos& s : d.seos) {
        o += "seos ";
        append_int(o, s.set);
        o += ' ';
        append_int(o, s.type);
        put_vec(o, {s.c0, s.s, s.gamma0});
        o += '\n';
    }
}

// The "part" block; `flush` may hand the buffer on after each node. The
// block ends with the first record of the highest node, so the further
// memberships of that node go into blocks of their own.
template <class Flush>
void put_nodes(std::string& o, const Deck& d, const Flush& flush) {
    const int nn = d.nnodes();
    const auto nc = node_components(d);
    o += "part\n";
    for (int n = 1; n <= nn; ++n) {
        const auto& cs = nc[static_cast<size_t>(n - 1)];
        const auto& xyz = d.nodes[static_cast<size_t>(n - 1)];
        if (cs.empty()) {
            put_node(o, n, 0, xyz);
        } else if (n < nn) {
            for (int c : cs) put_node(o, n, c, xyz);
        } else {
            put_node(o, n, cs[0], xyz);
            for (size_t i = 1; i < cs.size(); ++i) {
                o += "part\n";
                put_node(o, n, cs[i], xyz);
            }
        }
        flush();
    }
}

// The "elem" block; `flush` may hand the buffer on after each element.
template <class Flush>
void put_elements(std::string& o, const Deck& d, const Flush& flush) {
    o += "elem\n";
    for (int e = 1; e <= d.nelements(); ++e) {
        const Element& el = d.elements[static_cast<size_t>(e - 1)];
        append_int(o, e);
        o += ' ';
        append_int(o, el.mat);
        for (int n : el.node) {
            o += ' ';
            append_int(o, n);
        }
        o += '\n';
        flush();
    }
}

// Writes the deck text in pieces, handing each full buffer to `sink`.
template <class Sink>
void emit(const Deck& d, Sink&& sink) {
    check_deck(d);
    std::string o;
    o.reserve(1 << 20);
    auto flush_if_big = [&] {
        if (o.size() >= (1u << 20)) {
            sink(o);
            o.clear();
        }
    };
    const int nn = d.nnodes(), ne = d.nelements();
    if (d.title) {
        o += "sovr ";
        o += *d.title;
        o += '\n';
    }
    if (nn > 0) put_int_record(o, "nbmp", nn);
    const bool glob = !d.node_global.empty() || !d.element_global.empty();
    if (ne > 0 || glob) put_int_record(o, "nbel", ne);  // "glob" comes after both counts
    if (!d.materials.empty()) put_int_record(o, "nmat", static_cast<long long>(d.materials.size()));
    if (d.ncomponents() > 0 && nn > 0) put_int_record(o, "ncom", d.ncomponents());
    put_controls(o, d);
    if (d.timetable) put_timetable(o, *d.timetable);
    for (const Function& f : d.functions) {
        o += "tfun ";
        append_int(o, f.func);
        o += ' ';
        append_int(o, static_cast<long long>(f.points.size()));
        o += '\n';
        for (const TimePoint& p : f.points) {
            append_real(o, p.time);
            o += ' ';
            append_real(o, p.value);
            o += '\n';
        }
    }
    put_materials(o, d);
    if (nn > 0) put_nodes(o, d, flush_if_big);
    if (ne > 0) put_elements(o, d, flush_if_big);
    put_records(o, d.loads, "load", "endl");
    put_records(o, d.velocities, "velo", "endv");
    for (const Curve& c : d.curves) {
        o += "curv ";
        o += curve_name(c.option);
        o += ' ';
        append_int(o, c.element);
        o += '\n';
    }
    if (glob) {
        o += "glob\n";
        put_int_lines(o, d.node_global);
        put_int_lines(o, d.element_global);
    }
    o += "endi\n";
    sink(o);
}

}  // namespace

std::string deck_text(const Deck& d) {
    std::string all;
    emit(d, [&](const std::string& piece) { all += piece; });
    return all;
}

void write_text_file(const std::string& path, std::string_view text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw Error("cannot open \"" + path + "\" for writing: " + std::strerror(errno));
    const size_t w = std::fwrite(text.data(), 1, text.size(), f);
    const bool bad = w != text.size() || std::ferror(f);
    if (std::fclose(f) != 0 || bad) throw Error("writing \"" + path + "\" failed");
}

void write_deck(const Deck& d, const std::string& path) {
    check_deck(d);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw Error("cannot open \"" + path + "\" for writing: " + std::strerror(errno));
    bool bad = false;
    try {
        emit(d, [&](const std::string& piece) {
            if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) bad = true;
        });
    } catch (...) {
        std::fclose(f);
        throw;
    }
    bad = bad || std::ferror(f);
    if (std::fclose(f) != 0 || bad) throw Error("writing \"" + path + "\" failed");
}

std::vector<std::array<double, 3>> apply_records(const Deck& d,
                                                 const std::vector<VectorRecord>& records) {
    std::vector<std::array<double, 3>> v(static_cast<size_t>(d.nnodes()), {0.0, 0.0, 0.0});
    for (const VectorRecord& r : records) {
        if (r.comp) {
            if (r.id < 1 || r.id > d.ncomponents()) continue;
            for (int n : d.components[static_cast<size_t>(r.id - 1)])
                v[static_cast<size_t>(n - 1)] = r.v;
        } else if (r.id >= 1 && r.id <= d.nnodes()) {
            v[static_cast<size_t>(r.id - 1)] = r.v;
        }
    }
    return v;
}

}  // namespace formats
