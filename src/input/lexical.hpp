// Lexical rules of the input deck that do not depend on the reader's state:
// the keyword character rule and the conversion of number words. Shared by
// the solver's reader and the tools that read and write decks.
#pragma once

#include <string_view>

namespace lexical {

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
