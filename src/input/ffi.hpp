// Free-format reader of the input deck.
//
// The reader hands out the words of the deck one at a time, as keywords,
// integers, single-precision reals or whole lines, reading a new line only
// when the words of the current one are used up. Lines are cleaned before
// they are split: tabs and carriage returns become blanks, "!" starts a
// comment, the line is shifted left and runs of blanks are compacted. Every
// cleaned non-blank line is echoed as a 256-character record to the echo
// file (output/units.hpp).
#pragma once

#include <array>
#include <string>

namespace ffi {

// Opens this process's deck (ffi::fileinp) and its three output files.
void openfile();
int readline();
int keyword(const char* table, int n);
int getint();
float getreal();
// As getint and getreal, but a word that does not start like a number stops
// the input naming it instead of reading as 0 with a warning.
int needint();
float needreal();
// The words left on the current line before the first that names an entry of
// `table` (n entries): the values given to the keyword just read.
int valuesonline(const char* table, int n);
void getstring(std::array<char, 256>& str);
// The next word (reading lines as needed), without its trailing blanks; it
// is not taken.
std::string pendingword();
// True when the next word (reading lines as needed) starts like a number.
bool numbernext();
// What to do when the deck ends inside the block being read, written after
// the end-of-file messages; empty outside a block.
extern std::string blocknote;
void errormsg();
bool isnumber(char c);
bool pcomp(const char* a, const char* b, int n);

// True when the current line still holds words that have not been handed out.
inline bool words_left();

// Closes the deck and the three output units without further checks (used
// by reset).
void closeall();
// Closes the deck, writes what is pending in the three output units and
// closes them, without checks: a run that stops on an error keeps what it
// wrote before.
void closeonstop();
// Closes the deck and the three output units in the driver's order, with
// write checks: input deck, animation file, curve file, echo file.
void closefiles();

}  // namespace ffi

#include "model/model.hpp"

inline bool ffi::words_left() { return ffi::nb_word > 0; }
