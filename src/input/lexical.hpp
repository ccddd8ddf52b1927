// Lexical rules of the input deck that do not depend on the reader's state:
// the keyword character rule and the conversion of number words. Shared by
// the solver's reader and the tools that read and write decks.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lexical {

// Columns of a deck line the readers keep.
inline constexpr int linewidth = 256;

// A word of a line: its first and last characters (1-based, inclusive; an
// empty word has last = first - 1).
struct wordspan {
    int first, last;
};

// Splits a line into words by the deck's rules, in place. The line c[0..n)
// comes with tabs made blanks, its comment removed, shifted left and without
// trailing blanks (n <= linewidth). A blank before a blank or a comma is
// dropped; then blanks and commas separate words, a comma followed by a
// blank counts once (the blank is dropped), two commas enclose an empty
// word, and the first and last characters never separate. Dropped
// characters leave the line shorter (n falls) and blanks at its end.
// Returns the number of words, their spans in `words`; `origin`, when given,
// holds the place in the line as given of every character left.
int splitwords(char* c, int& n, wordspan (&words)[linewidth + 1],
               std::vector<std::size_t>* origin = nullptr);

// Two characters match when their codes are equal or differ by exactly 32,
// so letters match regardless of case.
bool charmatch(char a, char b);

// Index (1-based) of the first 4-character entry of `table` (n entries) that
// the first four characters of `word` (blank padded) match, or -1.
int match4(std::string_view word, const char* table, int n);

// The part of a number word before its first comma (a comma ends a value),
// without trailing blanks.
std::string_view numeric_text(std::string_view word);

// An optional "-" and decimal digits, within 32 bits.
bool parse_int(std::string_view text, int& value);

// [-]digits[.digits][(E|e|D|d)[+|-]digits] with at least one mantissa digit,
// converted with correct rounding straight to single precision. A value below
// the smallest single-precision number becomes zero (or a denormal); one above
// the largest does not convert.
bool parse_real(std::string_view text, float& value);

}  // namespace lexical
