// Names of the process decks: "a" to "z" for processes 0 to 25, then "aa",
// "ab", ... like spreadsheet columns.
#pragma once

#include <string>

namespace commnodes {
std::string deckname(int id);
}  // namespace commnodes
