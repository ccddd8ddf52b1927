#include "input/ffi.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "input/lexical.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "output/units.hpp"

namespace ffi {

namespace {

std::FILE* deck = nullptr;
char* linebuf = nullptr;
size_t linecap = 0;
// full length of each word of the current line (before the 20-character cut)
std::array<int, 16> wordlen{};

// The deck ended while a word was needed.
[[noreturn]] void endoffile() {
    errorstop::writeline(records::listed("End of File!"));
    errorstop::writeline(" encounter EOF when reading without seeing END");
    if (!blocknote.empty()) errorstop::writeline(" " + blocknote);
    errorstop::stop();
}

[[noreturn]] void input_stop(const std::string& message) {
    errormsg();
    errorstop::stop(message);
}

std::string deckname() {
    std::string n = fileinp;
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

std::string_view current_word() {
    return std::string_view(cmd_line[static_cast<size_t>(nb_read)].data(), 20);
}

std::string trimmed_word() {
    std::string_view w = current_word();
    size_t n = w.size();
    while (n > 0 && w[n - 1] == ' ') --n;
    return std::string(w.substr(0, n));
}

// Makes sure a word is available, reading lines as needed.
void need_word() {
    while (nb_word == 0) {
        nb_word = readline();
        nb_read = 0;
    }
}

void use_word() {
    --nb_word;
    ++nb_read;
}

void nonnumeric_warning() {
    errorstop::writeline(
        records::listed("*** Warning *** Non Numeric Field ", current_word(), "on line ", line_nb));
}

// The word up to its first comma (a comma ends a list-directed value).
std::string_view numeric_text() { return lexical::numeric_text(current_word()); }

// "Inf", "-Infinity", "NaN" and the like: a word a reader of reals in
// another language would take for a number that is not finite.
bool nonfinite_word(std::string_view w) {
    size_t n = w.size();
    while (n > 0 && w[n - 1] == ' ') --n;
    w = w.substr(0, n);
    if (!w.empty() && (w[0] == '+' || w[0] == '-')) w.remove_prefix(1);
    auto is = [&](std::string_view t) {
        if (w.size() != t.size()) return false;
        for (size_t i = 0; i < t.size(); ++i)
            if (!lexical::charmatch(w[i], t[i])) return false;
        return true;
    };
    return is("inf") || is("infinity") || is("nan");
}

void check_number_length() {
    int len = wordlen[static_cast<size_t>(nb_read)];
    if (len > 20)
        input_stop("*** Error *** number longer than 20 characters: " + trimmed_word() + "...");
}

// The next word converted by `parse`: a word that does not start like a
// number reads as 0 with a warning (or, `strict`, stops the input naming the
// word), one that starts like a number but does not convert stops the input
// naming `what` was wanted.
template <class T>
T getnumber(bool (*parse)(std::string_view, T&), const char* what, bool finite = false,
            bool strict = false) {
    need_word();
    T value = 0;
    if (isnumber(current_word()[0])) {
        check_number_length();
        const bool ok = parse(numeric_text(), value);
        if (!ok) input_stop(std::string("*** Error *** not ") + what + ": " + trimmed_word());
    } else if (finite && nonfinite_word(numeric_text())) {
        input_stop("*** Error *** not a finite number: " + trimmed_word());
    } else if (strict) {
        input_stop(std::string("*** Error *** not ") + what + ": " + trimmed_word());
    } else {
        nonnumeric_warning();
    }
    use_word();
    return value;
}

}  // namespace

void openfile() {
    const std::string name = deckname();
    std::FILE* f = name.empty() ? nullptr : std::fopen(name.c_str(), "r");
    if (!f) {
        std::string padded = fileinp;
        if (padded.size() < 100) padded.resize(100, ' ');
        std::string line = "Input File ";
        records::put_a(line, padded, 10);
        line += "does not exist !";
        errorstop::writeline(line);
        errorstop::stop();
    }
    if (deck) std::fclose(deck);
    deck = f;
    openunits();
    line_nb = 0;
    nb_word = 0;
    nb_read = 0;
}

int readline() {
    for (auto& w : cmd_line) w.fill(' ');
    if (!deck) endoffile();
    ssize_t got = ::getline(&linebuf, &linecap, deck);
    if (got < 0) {
        if (std::ferror(deck)) {
            std::string rec = "error on reading, line ";
            records::put_i(rec, line_nb, 5);
            unit(iores).record(rec);
            errorstop::stop("error on reading");
        }
        endoffile();
    }
    size_t len = static_cast<size_t>(got);
    if (len > 0 && linebuf[len - 1] == '\n') --len;
    ++line_nb;

    // Tabs and carriage returns are blanks.
    for (size_t i = 0; i < len; ++i)
        if (linebuf[i] == '\t' || linebuf[i] == '\r') linebuf[i] = ' ';
    // Text beyond the 256 columns of the buffer must be blank or comment.
    if (len > 256) {
        const char* bang = static_cast<const char*>(std::memchr(linebuf, '!', len));
        size_t stop_at = bang ? static_cast<size_t>(bang - linebuf) : len;
        for (size_t i = 256; i < stop_at; ++i) {
            if (linebuf[i] != ' ')
                input_stop("*** Error *** line longer than 256 characters: text beyond column 256");
        }
    }

    char c[257];
    size_t keep = len < 256 ? len : 256;
    std::memcpy(c, linebuf, keep);
    std::memset(c + keep, ' ', 256 - keep);
    c[256] = ' ';
    // Comment.
    for (int i = 0; i < 256; ++i) {
        if (c[i] == '!') {
            std::memset(c + i, ' ', static_cast<size_t>(256 - i));
            break;
        }
    }
    // Left shift and length.
    int first = 0;
    while (first < 256 && c[first] == ' ') ++first;
    if (first == 256) return 0;
    if (first > 0) {
        std::memmove(c, c + first, static_cast<size_t>(256 - first));
        std::memset(c + 256 - first, ' ', static_cast<size_t>(first));
    }
    int n = 256;
    while (n > 0 && c[n - 1] == ' ') --n;

    lexical::wordspan words[lexical::linewidth + 1];
    const int k = lexical::splitwords(c, n, words);
    if (k > 15) {
        // Echo first so the echo file shows the offending line.
        std::memcpy(sss.data(), c, 256);
        unit(iores).record(std::string_view(sss.data(), 256));
        input_stop("*** Error *** more than 15 words on one line (" + std::to_string(k) +
                   " found)");
    }
    for (int w = 0; w < k; ++w) {
        int wl = words[w].last - words[w].first + 1;
        if (wl < 0) wl = 0;
        wordlen[static_cast<size_t>(w)] = wl;
        int cl = wl < 20 ? wl : 20;
        if (cl > 0)
            std::memcpy(cmd_line[static_cast<size_t>(w)].data(), c + words[w].first - 1,
                        static_cast<size_t>(cl));
    }
    std::memcpy(sss.data(), c, 256);
    unit(iores).record(std::string_view(sss.data(), 256));
    return k;
}

bool isnumber(char ch) { return ch == '-' || (ch >= '0' && ch <= '9'); }

bool pcomp(const char* a, const char* b, int n) {
    for (int i = 0; i < n; ++i)
        if (!lexical::charmatch(a[i], b[i])) return false;
    return true;
}

int keyword(const char* table, int n) {
    need_word();
    const int k = lexical::match4(current_word(), table, n);
    if (k > 0) {
        use_word();
        return k;
    }
    errorstop::writeline(
        records::listed("*** Warning *** invalid keyword ", current_word(), "on line ", line_nb));
    return -1;
}

int getint() { return getnumber<int>(lexical::parse_int, "an integer"); }

// Correctly rounded conversion straight to single precision; "Inf" and "NaN"
// are refused rather than read as 0.
float getreal() { return getnumber<float>(lexical::parse_real, "a real number", true); }

int needint() { return getnumber<int>(lexical::parse_int, "an integer", false, true); }

float needreal() { return getnumber<float>(lexical::parse_real, "a real number", true, true); }

int valuesonline(const char* table, int n) {
    int k = 0;
    for (size_t w = static_cast<size_t>(nb_read); k < nb_word; ++k, ++w)
        if (lexical::match4(std::string_view(cmd_line[w].data(), 20), table, n) >= 1) break;
    return k;
}

void getstring(std::array<char, 256>& str) {
    str = sss;
    nb_word = 0;
}

std::string blocknote;

std::string pendingword() {
    need_word();
    return trimmed_word();
}

bool numbernext() {
    need_word();
    return isnumber(current_word()[0]);
}

void errormsg() { errorstop::writeline(records::listed("input file error, line", line_nb)); }

void closeall() {
    if (deck) std::fclose(deck);
    deck = nullptr;
    discardunits();
}

void closeonstop() {
    if (deck) std::fclose(deck);
    deck = nullptr;
    finishunits();
}

void closefiles() {
    if (deck) std::fclose(deck);
    deck = nullptr;
    closeunits();
}

}  // namespace ffi
