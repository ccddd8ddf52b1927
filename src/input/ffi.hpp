// Free-format reader of the input deck, and the process's text files.
//
// The reader hands out the words of the deck one at a time, as keywords,
// integers, single-precision reals or whole lines, reading a new line only
// when the words of the current one are used up. Lines are cleaned before
// they are split: tabs and carriage returns become blanks, "!" starts a
// comment, the line is shifted left and runs of blanks are compacted. Every
// cleaned non-blank line is echoed as a 256-character record.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace ffi {

// A sequential text file written through one large buffer. A failed write
// stops the run with a message naming the file.
class textout {
public:
    bool open(const std::string& name);
    bool is_open() const { return f_ != nullptr; }
    const std::string& name() const { return name_; }
    // Appends one record (the text and a line end).
    void record(std::string_view text);
    // Access to the pending buffer, for writers that build records in place.
    std::string& buffer() { return buf_; }
    void endrecord() {
        buf_.push_back('\n');
        if (buf_.size() >= flush_at) flush();
    }
    void flush();
    void close();   // flushes, closes and checks for errors
    void discard(); // closes without writing what is pending
    void finish();  // writes what is pending and closes, without checks (after a stop)
    ~textout();

private:
    static constexpr size_t flush_at = 1 << 20;
    [[noreturn]] void fail();
    std::FILE* f_ = nullptr;
    std::string name_;
    std::string buf_;
};

// The three output units of the process: echo (13), animation (14), curves (15).
textout& unit(int u);

// Deck and output file names of this process.
std::string echoname();
std::string animname();
std::string curvename();

void openfile();
int readline();
int keyword(const char* table, int n);
int getint();
float getreal();
void getstring(std::array<char, 256>& str);
void errormsg();
bool isnumber(char c);
bool pcomp(const char* a, const char* b, int n);

// True when the current line still holds words that have not been handed out.
inline bool words_left();

// Closes every file of the process without further checks (used by reset).
void closeall();
// Writes what is pending in the three output units and closes every file,
// without checks: a run that stops on an error keeps what it wrote before.
void closeonstop();
// Closes the deck and the three output units in the driver's order, with
// write checks: input deck, animation file, curve file, echo file.
void closefiles();

}  // namespace ffi

#include "control/model.hpp"

inline bool ffi::words_left() { return ffi::nb_word > 0; }
