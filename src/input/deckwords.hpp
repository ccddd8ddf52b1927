// The solver's deck as the shared record readers (input/grammar.hpp) take it:
// the free-format reader's words, and a stop that names the deck line.
#pragma once

#include <string>

#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

namespace datain {

// Names the deck line, then stops with the message.
[[noreturn]] inline void inputerror(const std::string& message) {
    ffi::errormsg();
    errorstop::stop(message);
}

// A real as the messages show it: list-directed, without the leading blank.
inline std::string number(double v) {
    std::string s = records::listed(v);
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

// Numbers of the newer keywords are read strictly; those of the oldest
// records read as 0, with a warning, from a word that is not a number.
struct deckwords {
    static int keyword(const char* table, int n) { return ffi::keyword(table, n); }
    static int integer(const char*) { return ffi::needint(); }
    static double real(const char*) { return static_cast<double>(ffi::needreal()); }
    static int oldint(const char*) { return ffi::getint(); }
    static double oldreal(const char*) { return static_cast<double>(ffi::getreal()); }
    static bool words_left() { return ffi::words_left(); }
    static int line() { return ffi::line_nb; }
    static int valuesonline(const char* table, int n) { return ffi::valuesonline(table, n); }
    static std::string word() { return ffi::pendingword(); }
    static bool numbernext() { return ffi::numbernext(); }
    static void opened(const std::string& note) { ffi::blocknote = note; }
    [[noreturn]] static void fail(const std::string& message) {
        inputerror("*** Error *** " + message);
    }
    // The oldest records keep their own terse texts.
    [[noreturn]] static void stop(const std::string& terse, const std::string&) {
        inputerror(terse);
    }
    // The keyword reader has named the word already.
    [[noreturn]] static void unknown(const std::string& terse, const std::string&) {
        inputerror(terse);
    }
    [[noreturn]] static void toomany(const char* what, const char*, int required, int inputed) {
        ffi::errormsg();
        errorstop::writeline(records::listed("*** Error *** Too many ", what));
        errorstop::writeline(records::listed("required : ", required));
        errorstop::writeline(records::listed("inputed  : ", inputed));
        errorstop::stop();
    }
    // A size too large for memory is caught where the arrays are allocated.
    static int count(const char*, int) { return ffi::getint(); }
    static std::string show(double v) { return number(v); }
};

inline deckwords in;

}  // namespace datain
