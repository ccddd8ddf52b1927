// Every stop and warning of the input phase, through the real executable:
// small bad decks, the exact lines on standard output (with the deck line
// named by "input file error, line"), the exit status, and for warnings that
// the run goes on to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testutil.hpp"

using namespace testutil;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

namespace {

// Deck "a" made a directory, so that opening it works and reading fails.
const std::string kDeckIsDirectory = "<directory>";

std::string errline(int n) {
    std::string s = std::to_string(n);
    return " input file error, line" + std::string(12 - s.size(), ' ') + s;
}

// A list-directed record of a text and an integer.
std::string item(const std::string& text, long long v) {
    std::string s = std::to_string(v);
    return " " + text + std::string(s.size() < 12 ? 12 - s.size() : 0, ' ') + s;
}

std::string word20(std::string w) {
    w.resize(20, ' ');
    return w;
}

std::string invalid(const std::string& word, int line) {
    return " *** Warning *** invalid keyword " + word20(word) + item("on line ", line).substr(1);
}

std::string nonnumeric(const std::string& word, int line) {
    return " *** Warning *** Non Numeric Field " + word20(word) + item("on line ", line).substr(1);
}

std::string padded(std::string s) {
    s.resize(256, ' ');
    return s;
}

struct Case {
    const char* name;
    std::string deck;
    std::vector<std::string> lines;  // consecutive lines of standard output
    bool stops;                      // false: a warning, the run goes on
    std::string echo = {};           // expected echo file, when given
    std::string prefix = {};         // shell commands before the launcher
    bool nodeck = false;             // no deck "a" at all
};

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

}  // namespace

TEST(InputErrors, EveryStopAndWarning) {
    const std::string nb2 = item("nb_particle = ", 2);
    const std::string nm1 = item("nb_mat = ", 1);
    const std::string eof1 = " End of File!";
    const std::string eof2 = " encounter EOF when reading without seeing END";
    const std::string mate1 = "nmat 1\nmate\n1 elas 7800 2.1e11 0.3\n";
    const std::string body16 = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16";
    const std::string line256 = "nbmp 2" + std::string(250, ' ');
    const std::string kJcthConstants =
        " *** Error *** jcth needs Tmelt above Troom and a positive cp and reference strain rate";
    std::string curv11 = "nbel 1\n";
    for (int i = 0; i < 11; ++i) curv11 += "curv seqv\n";

    const std::vector<Case> cases = {
        // ---- the reader
        {"missing deck", "", {"Input File a         does not exist !"}, true, {}, {}, true},
        {"end of file before endi", "nbmp 2\n", {nb2, eof1, eof2}, true},
        {"end of file inside a record", "nmat 1\nmate\n1 elas 7800\n", {nm1, eof1, eof2}, true},
        {"empty deck", "", {eof1, eof2}, true},
        {"read error",
         kDeckIsDirectory,
         {" error on reading"},
         true,
         "error on reading, line     0\n"},
        {"sign before a number", "repo +5\nendi\n", {nonnumeric("+5", 1)}, false},
        {"point before a number",
         "\nendt .5\nendi\n",
         {nonnumeric(".5", 2), " EndTime =    0.0000000000000000E+00"},
         false},
        {"empty word", "time 2,,2 1.0 0\nendi\n", {nonnumeric("", 1)}, false},
        {"more than 15 words",
         "nbmp 2\n\n" + body16 + "\nendi\n",
         {nb2, errline(3), " *** Error *** more than 15 words on one line (16 found)"},
         true,
         padded("nbmp 2") + "\n" + padded(body16) + "\n"},
        {"number longer than 20 characters",
         "\nnbmp 123456789012345678901\n",
         {errline(2), " *** Error *** number longer than 20 characters: 12345678901234567890..."},
         true},
        {"text beyond column 256",
         line256 + "x\nendi\n",
         {errline(1), " *** Error *** line longer than 256 characters: text beyond column 256"},
         true},
        {"blank beyond column 256", line256 + "     ! note\nendi\n", {nb2}, false},
        {"real given for an integer",
         "nbmp 5.0\nendi\n",
         {errline(1), " *** Error *** not an integer: 5.0"},
         true},
        {"integer with a letter",
         "nbmp 8\nnbel 1x\nendi\n",
         {item("nb_particle = ", 8), errline(2), " *** Error *** not an integer: 1x"},
         true},
        {"integer beyond 32 bits",
         "nbmp 2147483648\nendi\n",
         {errline(1), " *** Error *** not an integer: 2147483648"},
         true},
        {"two points in a real",
         "endt 1.2.3\nendi\n",
         {errline(1), " *** Error *** not a real number: 1.2.3"},
         true},
        {"real beyond single precision",
         "endt 1e39\nendi\n",
         {errline(1), " *** Error *** not a real number: 1e39"},
         true},

        // ---- keyword dispatch
        {"invalid keyword",
         "nbmp 2\n\nnbmq 2\nendi\n",
         {nb2, invalid("nbmq", 3), " error GetData"},
         true},
        {"keyword of 26 characters",
         "abcdefghijklmnopqrstuvwxyz 1\nendi\n",
         {invalid("abcdefghijklmnopqrstuvwxyz", 1), " error GetData"},
         true},
        {"end is not endi", "end\n", {invalid("end", 1), " error GetData"}, true},
        {"ncom before nbmp",
         "ncom 2\nendi\n",
         {item("nb_comp = ", 2), " *** Error *** nb_particle must be defined first!"},
         true},
        {"eleventh curve",
         curv11,
         {item("nb_element = ", 1), " *** Error *** Too many curves defined !"},
         true},
        {"unknown curve variable",
         "nbel 1\ncurv sxx 1\nendi\n",
         {item("nb_element = ", 1), invalid("sxx", 2), errline(2), " Result option error"},
         true},
        {"curve of a missing element",
         "nbel 2\ncurv seqv\ncurv seqv 3\nendi\n",
         {item("nb_element = ", 2), errline(3),
          " *** Error *** curve 2 names element 3, outside 1..2"},
         true},
        {"curve of a missing node",
         "nbmp 2\ncurv vz 3\nendi\n",
         {nb2, errline(2), " *** Error *** curve 1 names node 3, outside 1..2"},
         true},
        {"nbmp twice",
         "nbmp 2\nnbmp 2\nendi\n",
         {nb2, errline(2), " *** Error *** keyword \"nbmp\" given a second time"},
         true},
        {"nbel twice",
         "nbel 1 nbel 1\nendi\n",
         {item("nb_element = ", 1), errline(1),
          " *** Error *** keyword \"nbel\" given a second time"},
         true},
        {"nmat twice",
         "nmat 1\nnmat 1\nendi\n",
         {nm1, errline(2), " *** Error *** keyword \"nmat\" given a second time"},
         true},
        {"ncom twice",
         "nbmp 2\nncom 1\nncom 1\nendi\n",
         {item("nb_comp = ", 1), errline(3), " *** Error *** keyword \"ncom\" given a second time"},
         true},
        {"time twice",
         "time 0\ntime 2 0 0 1 1\nendi\n",
         {errline(2), " *** Error *** keyword \"time\" given a second time"},
         true},
        {"dtsc zero",
         "dtsc 0\nendi\n",
         {errline(1), " *** Error *** dtsc must be positive, got 0.0000000000000000E+00"},
         true},
        {"dtsc negative",
         "\ndtsc -0.5\nendi\n",
         {errline(2), " *** Error *** dtsc must be positive, got -5.0000000000000000E-01"},
         true},
        {"fout negative",
         "fout -1.0e-6\nendi\n",
         {errline(1), " *** Error *** fout must not be negative, got -9.9999999747524271E-07"},
         true},
        {"ebal word",
         "ebal yes\nendi\n",
         {invalid("yes", 1), errline(1), " switch should be ON/OFF"},
         true},
        {"chkp zero",
         "chkp 0\nendi\n",
         {errline(1), " *** Error *** chkp needs a positive number of steps, got 0"},
         true},
        {"chkp negative",
         "\nchkp -10\nendi\n",
         {errline(2), " *** Error *** chkp needs a positive number of steps, got -10"},
         true},
        {"bulk Q1 negative",
         "bulk -0.06 1.5\nendi\n",
         {errline(1),
          " *** Error *** bulk viscosity Q1 -5.9999998658895493E-02 is outside the valid range "
          "0..1"},
         true},
        {"bulk Q1 above 1",
         "bulk 1e6 1e6\nendi\n",
         {errline(1),
          " *** Error *** bulk viscosity Q1 1.0000000000000000E+06 is outside the valid range "
          "0..1"},
         true},
        {"bulk Q2 negative",
         "bulk 0.06 -1\nendi\n",
         {errline(1),
          " *** Error *** bulk viscosity Q2 -1.0000000000000000E+00 is outside the valid range "
          "0..10"},
         true},
        {"bulk Q2 above 10",
         "bulk 0.06 10.5\nendi\n",
         {errline(1),
          " *** Error *** bulk viscosity Q2 1.0500000000000000E+01 is outside the valid range "
          "0..10"},
         true},

        // ---- rigid bodies
        {"rigd set outside the sets",
         mate1 + "rigd 2\nendi\n",
         {nm1, errline(4), " *** Error *** rigd material set 2 is outside the valid range 1..1"},
         true},
        {"rigd velocity out of range",
         mate1 + "rigd 1 0 0 2e6 0 0 0\nendi\n",
         {nm1, errline(4),
          " *** Error *** rigd velocity 2.0000000000000000E+06 is outside the valid range "
          "-1e6..1e6"},
         true},
        {"rigd angular velocity out of range",
         mate1 + "rigd 1 0 0 0 0 -2e7 0\nendi\n",
         {nm1, errline(4),
          " *** Error *** rigd angular velocity -2.0000000000000000E+07 is outside the valid "
          "range -1e7..1e7"},
         true},
        {"rigd with part of its velocities",
         mate1 + "rigd 1 0 0 5\nendi\n",
         {nm1, errline(4),
          " *** Error *** rigd takes 1, 7 or 11 values (SET [VX VY VZ WX WY WZ [HX HY HZ HR]]) on "
          "its line, found 4"},
         true},
        {"rigd hold neither 0 nor 1",
         mate1 + "rigd 1 0 0 5 0 0 0 1 1 2 0\nendi\n",
         {nm1, errline(4),
          " *** Error *** rigd hold (0 free, 1 held) 2 is outside the valid range 0..1"},
         true},
        {"rigd twice for one set",
         mate1 + "rigd 1\nrigd 1\nendi\n",
         {nm1, errline(5), " *** Error *** rigd: material set 1 is made rigid twice"},
         true},
        {"node of two rigid sets",
         "nbmp 12\nnbel 2\nnmat 2\nmate\n1 elas 7800 2.1e11 0.3\n2 elas 7800 2.1e11 0.3\npart\n"
         "1 0 0 0 0\n2 0 1 0 0\n3 0 1 1 0\n4 0 0 1 0\n5 0 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n"
         "8 0 0 1 1\n9 0 0 0 2\n10 0 1 0 2\n11 0 1 1 2\n12 0 0 1 2\nelem\n"
         "1 1 1 2 3 4 5 6 7 8\n2 2 5 6 7 8 9 10 11 12\nrigd 1 rigd 2\nendi\n",
         {" *** Error *** node 5 belongs to the rigid sets 1 and 2; join them in one set"},
         true},

        {"held node of a rigid set",
         "nbmp 8\nnbel 1\nnmat 1\nncom 1\nmate\n1 elas 7800 2.1e11 0.3\npart\n1 0 0 0 0\n"
         "2 0 1 0 0\n3 0 1 1 0\n4 0 0 1 0\n5 1 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n8 0 0 1 1\n"
         "elem\n1 1 1 2 3 4 5 6 7 8\nfixd 1 0 0 1\nrigd 1\nendi\n",
         {" *** Error *** component 1 (fixd) holds node 5 of rigid set 1: a rigid body's nodes "
          "move with the body alone"},
         true},

        // ---- contact and whole-model numbers
        {"wall radius zero",
         "wall\nsphe 0 0 0 0\nendw\nendi\n",
         {errline(2),
          " *** Error *** wall 1: wall radius 0.0000000000000000E+00 is outside the valid range "
          "1e-9..1e9"},
         true},
        {"wall friction above 10",
         "wall\nplan 0 0 0 0 0 1\nfric 11\nendw\nendi\n",
         {errline(3),
          " *** Error *** wall 1: wall friction coefficient 1.1000000000000000E+01 is outside the "
          "valid range 0..10"},
         true},
        {"wall normal of no length",
         "wall\nplan 0 0 0 0 0 0\nendw\nendi\n",
         {errline(2),
          " *** Error *** wall 1: the normal 0.0000000000000000E+00 0.0000000000000000E+00 "
          "0.0000000000000000E+00 has no direction: give a vector of length above 0"},
         true},
        {"wall record before any wall",
         "wall\nfric 0.3\nendw\nendi\n",
         {errline(2),
          " *** Error *** wall: \"fric\" on line 2 before any wall: begin the wall with plan, "
          "cyli or sphe"},
         true},
        {"wall edge of a sphere",
         "wall\nsphe 0 0 0 1\nedge 1 0 0 1 1\nendw\nendi\n",
         {errline(3), " *** Error *** wall 1: edge belongs to a plane (plan)"},
         true},
        {"wall component without ncom",
         "wall\nplan 0 0 0 0 0 1\ncomp 1\nendw\nendi\n",
         {errline(3),
          " *** Error *** wall 1: comp needs the components: give \"ncom\" before \"wall\""},
         true},
        {"wall edge along the normal",
         "wall\nplan 0 0 0 0 0 1\nedge 0 0 2 1 1\nendw\nendi\n",
         {errline(3),
          " *** Error *** wall 1: the edge 0.0000000000000000E+00 0.0000000000000000E+00 "
          "2.0000000000000000E+00 does not lie in the plane (it has no part across the normal): "
          "give a direction in the plane"},
         true},
        {"wall block without a wall",
         "wall\nendw\nendi\n",
         {errline(2),
          " *** Error *** wall: the block opened on line 1 holds no wall: give plan, cyli or sphe "
          "records before endw"},
         true},
        {"cont before nmat",
         "cont\nendc\nendi\n",
         {errline(1), " *** Error *** nmat must be defined before \"cont\""},
         true},
        {"cont scale zero",
         "nmat 1\ncont\nscal 0\nendc\nendi\n",
         {nm1, errline(3),
          " *** Error *** contact penalty scale 0.0000000000000000E+00 is outside the valid range "
          "1e-6..10"},
         true},
        {"cont dynamic friction above static",
         "nmat 1\ncont\nfric 0.2 0.3 0\nendc\nendi\n",
         {nm1, errline(3),
          " *** Error *** dynamic friction coefficient 3.0000001192092896E-01 is outside the valid "
          "range 0..2.0000000298023224E-01 (the static one)"},
         true},
        {"cont part outside",
         "nmat 2\ncont\npart 1 3\nendc\nendi\n",
         {item("nb_mat = ", 2), errline(3),
          " *** Error *** contact material set 3 is outside the valid range 1..2"},
         true},
        {"cont pair outside",
         "nmat 2\ncont\npair 0 1\nendc\nendi\n",
         {item("nb_mat = ", 2), errline(3),
          " *** Error *** contact material set 0 is outside the valid range 1..2"},
         true},
        {"cont unknown record",
         "nmat 1\ncont\nscle 0.1\nendc\nendi\n",
         {nm1, invalid("scle", 3), errline(3),
          " *** Error *** unknown record in the \"cont\" block (endc, scal, fric, part, pair, "
          "psca or forc expected)"},
         true},
        {"cont scal twice",
         "nmat 1\ncont\nscal 0.1\nfric 0 0 0\nscal 0.2\nendc\nendi\n",
         {nm1, errline(5), " *** Error *** cont: scal given twice (the block takes one)"},
         true},
        {"cont fric twice",
         "nmat 1\ncont\nfric 0 0 0\nfric 0.1 0 0\nendc\nendi\n",
         {nm1, errline(4), " *** Error *** cont: fric given twice (the block takes one)"},
         true},
        {"cont pair twice in the other order",
         "nmat 2\ncont\npair 1 2\npair 2 2\npair 2 1\nendc\nendi\n",
         {item("nb_mat = ", 2), errline(5),
          " *** Error *** cont: pair 2 1 given twice (a pair is given once, in either order)"},
         true},
        {"cont psca twice in the other order",
         "nmat 2\ncont\npsca 1 2 0.5\npsca 2 1 1\nendc\nendi\n",
         {item("nb_mat = ", 2), errline(4),
          " *** Error *** cont: psca 2 1 given twice (a pair takes one scale, in either order)"},
         true},
        {"cont part set in two records",
         "nmat 2\ncont\npart 1\npart 2 1\nendc\nendi\n",
         {item("nb_mat = ", 2), errline(4),
          " *** Error *** cont: material set 1 listed twice in part (a set takes part once)"},
         true},
        {"cont twice",
         "nmat 1\ncont\nendc\ncont\nendc\nendi\n",
         {nm1, errline(4), " *** Error *** keyword \"cont\" given a second time"},
         true},
        {"glob before nbel",
         "nbmp 2\nglob\n1 2\nendi\n",
         {nb2, errline(2), " *** Error *** \"glob\" must follow \"nbmp\" and \"nbel\""},
         true},
        {"glob number twice",
         "nbmp 2\nnbel 1\nglob\n5 5 1\nendi\n",
         {nb2, item("nb_element = ", 1), errline(4),
          " *** Error *** global node number 5 given twice (local nodes 1 and 2)"},
         true},
        {"glob number below 1",
         "nbmp 2\nnbel 1\nglob\n0 5 1\nendi\n",
         {nb2, item("nb_element = ", 1), errline(4),
          " *** Error *** global node number 0 of local node 1 is below 1"},
         true},

        // ---- block ends, values too many, and the bounds as written
        {"cont without endc at the end of the deck",
         "nmat 1\ncont\nscal 0.1\n",
         {nm1, eof1, eof2,
          " the \"cont\" block opened on line 2 has no \"endc\": end it with \"endc\" after its "
          "last record"},
         true},
        {"cont without endc before endi",
         "nmat 1\n\ncont\nscal 0.1\nendi\n",
         {nm1, invalid("endi", 5), errline(5),
          " *** Error *** cont: \"endi\" on line 5 before \"endc\": the \"cont\" block opened on "
          "line 3 has no \"endc\": end it with \"endc\" after its last record"},
         true},
        {"fail without endf at the end of the deck",
         "nmat 1\nfail\nepsp 1 0.5\n",
         {nm1, eof1, eof2,
          " the \"fail\" block opened on line 2 has no \"endf\": end it with \"endf\" after its "
          "last record"},
         true},
        {"endc without cont",
         "nmat 1\nendc\nendi\n",
         {nm1, invalid("endc", 2), " error GetData",
          " \"endc\" on line 2 ends a \"cont\" block, but none is open: begin the block with "
          "\"cont\" (or remove the word)"},
         true},
        {"endf without fail",
         "nmat 1\nendf\nendi\n",
         {nm1, invalid("endf", 2), " error GetData",
          " \"endf\" on line 2 ends a \"fail\" block, but none is open: begin the block with "
          "\"fail\" (or remove the word)"},
         true},
        {"endl without load",
         "endl\nendi\n",
         {invalid("endl", 1), " error GetData",
          " \"endl\" on line 1 ends a \"load\" block, but none is open: begin the block with "
          "\"load\" (or remove the word)"},
         true},
        {"endv without velo",
         "nmat 1\nendv\nendi\n",
         {nm1, invalid("endv", 2), " error GetData",
          " \"endv\" on line 2 ends a \"velo\" block, but none is open: begin the block with "
          "\"velo\" (or remove the word)"},
         true},
        {"scal value too many",
         "nmat 1\ncont\nscal 0.1 0.2\nendc\nendi\n",
         {nm1, invalid("0.2", 3), errline(3),
          " *** Error *** cont: the value 0.2 on line 3 follows a complete \"scal\" record (scal "
          "F): remove the extra value, or begin a new record with its word"},
         true},
        {"fric value too many on the next line",
         "nmat 1\ncont\nfric 0.3 0.2\n0 1\nendc\nendi\n",
         {nm1, invalid("1", 4), errline(4),
          " *** Error *** cont: the value 1 on line 4 follows a complete \"fric\" record (fric MUS "
          "MUD DC): remove the extra value, or begin a new record with its word"},
         true},
        {"pair value too many",
         "nmat 3\ncont\npair 1 2 3\nendc\nendi\n",
         {item("nb_mat = ", 3), invalid("3", 3), errline(3),
          " *** Error *** cont: the value 3 on line 3 follows a complete \"pair\" record (pair S1 "
          "S2): remove the extra value, or begin a new record with its word"},
         true},
        {"cont value before any record",
         "nmat 1\ncont\n0.1\nendc\nendi\n",
         {nm1, invalid("0.1", 3), errline(3),
          " *** Error *** cont: the value 0.1 on line 3 stands where a record word is expected: "
          "begin every record with its word"},
         true},
        {"jc value too many",
         "nmat 1\nfail\njc 1 0.1 0.1 -1 0 0 0.5\nendf\nendi\n",
         {nm1, invalid("0.5", 3), errline(3),
          " *** Error *** fail: the value 0.5 on line 3 follows a complete \"jc\" record (jc SET "
          "D1 D2 D3 D4 D5): remove the extra value, or begin a new record with its word"},
         true},
        {"epsp value too many",
         "nmat 1\nfail\nepsp 1 0.5 0.6\nendf\nendi\n",
         {nm1, invalid("0.6", 3), errline(3),
          " *** Error *** fail: the value 0.6 on line 3 follows a complete \"epsp\" record (epsp "
          "SET LIMIT): remove the extra value, or begin a new record with its word"},
         true},
        {"step given a set number",
         "nmat 1\nfail\nstep 1 0.05\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: \"step\" holds for every material set and takes no set number "
          "(step FRACTION): line 3 gives 2 values, the first 1; remove the set number"},
         true},
        {"glob one number short",
         "nbmp 3\nnbel 1\nglob\n1 2\n1\nendi\n",
         {item("nb_particle = ", 3), item("nb_element = ", 1), errline(6),
          " *** Error *** \"glob\" on line 3 takes nbmp + nbel = 3 + 1 = 4 global numbers (every "
          "local node's, then every element's), found 3 before \"endi\": give the missing "
          "number(s)"},
         true},
        {"glob one number too many",
         "nbmp 2\nnbel 1\nglob\n1 2\n1 9\nendi\n",
         {nb2, item("nb_element = ", 1), errline(5),
          " *** Error *** \"glob\" on line 3 takes nbmp + nbel = 2 + 1 = 3 global numbers (every "
          "local node's, then every element's), found more: 9 is one too many; remove it"},
         true},
        {"material records out of order",
         "nmat 2\nmate\n2 pla1 7800 2.1e11 0.3 3.0e8\n1 elas 7800 2.1e11 0.3\nendi\n",
         {item("nb_mat = ", 2), invalid("1", 4), " error GetData",
          " the number 1 on line 4 follows the \"mate\" block, which ends with the record of "
          "material set 2 (nmat 2): give the records in order, that one last"},
         true},
        {"node records out of order",
         "nbmp 2\npart\n2 0 1 0 0\n1 0 0 0 0\nendi\n",
         {nb2, invalid("1", 4), " error GetData",
          " the number 1 on line 4 follows the \"part\" block, which ends with the record of node "
          "2 (nbmp 2): give the records in order, that one last"},
         true},
        {"element record after the last one",
         "nbmp 8\nnbel 2\nnmat 1\nmate\n1 elas 7800 2.1e11 0.3\npart\n1 0 0 0 0\n2 0 1 0 0\n"
         "3 0 1 1 0\n4 0 0 1 0\n5 0 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n8 0 0 1 1\nelem\n"
         "1 1 1 2 3 4 5 6 7 8\n2 1 1 2 3 4 5 6 7 8\n1 1 1 2 3 4 5 6 7 8\nendi\n",
         {item("nb_mat = ", 1), invalid("1", 18), " error GetData",
          " the number 1 on line 18 follows the \"elem\" block, which ends with the record of "
          "element 2 (nbel 2): give the records in order, that one last"},
         true},
        // The bounds as the deck writes them, read in single precision, are
        // inside the range.
        {"contact and failure bounds as written",
         "nmat 1\ncont\nscal 1e-6\nfric 0.5 0.1 1e30\nendc\nfail\nstep 1e-6\nendf\nendi\n",
         {nm1},
         false},
        {"step fraction bound as written", "nmat 1\nfail\nstep 0.999\nendf\nendi\n", {nm1}, false},

        {"fail before nmat",
         "fail\nendf\nendi\n",
         {errline(1), " *** Error *** nmat must be defined before \"fail\""},
         true},
        {"fail set outside",
         "nmat 1\nfail\nepsp 2 0.5\nendf\nendi\n",
         {nm1, errline(3), " *** Error *** failure material set 2 is outside the valid range 1..1"},
         true},
        {"fail limit not positive",
         "nmat 1\nfail\nspal 1 0\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: tension limit (spal) must be positive, got "
          "0.0000000000000000E+00"},
         true},
        {"fail step fraction outside",
         "nmat 1\nfail\nstep 1.5\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: erosion step fraction (step) must be within 1e-6..0.999, got "
          "1.5000000000000000E+00"},
         true},
        {"fail shear limit not positive",
         "nmat 1\nfail\nshea 1 -0.5\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: shear strain limit (shea) must be positive, got "
          "-5.0000000000000000E-01"},
         true},
        {"fail unknown record",
         "nmat 1\nfail\nepsx 1 0.5\nendf\nendi\n",
         {nm1, invalid("epsx", 3), errline(3),
          " *** Error *** unknown record in the \"fail\" block (endf, jc, epsp, prin, spal, step, "
          "cdam or shea expected)"},
         true},
        {"fail critical damage outside",
         "nmat 1\nfail\njc 1 0.1 0.1 -1 0 0\ncdam 1 1.0\nendf\nendi\n",
         {nm1, errline(4),
          " *** Error *** fail: critical damage (cdam) must be above 0 and below 1, got "
          "1.0000000000000000E+00"},
         true},
        {"fail critical damage without jc",
         "nmat 1\nfail\ncdam 1 0.3\nendf\nendi\n",
         {nm1, errline(4),
          " *** Error *** fail: the critical damage (cdam) of material set 1 needs its "
          "Johnson-Cook damage (jc)"},
         true},
        {"fail criterion twice for a set",
         "nmat 2\nfail\nepsp 1 0.5\nspal 1 1e9\nepsp 2 0.5\nepsp 1 0.6\nendf\nendi\n",
         {item("nb_mat = ", 2), errline(6),
          " *** Error *** fail: epsp given twice for material set 1 (a set takes each criterion "
          "once)"},
         true},
        {"fail step twice",
         "nmat 1\nfail\nstep 0.1\nspal 1 1e9\nstep 0.2\nendf\nendi\n",
         {nm1, errline(5), " *** Error *** fail: step given twice (the block takes one)"},
         true},
        // Johnson-Cook constants whose failure strain is not positive at a
        // reachable state would erode every element at its first plastic
        // increment.
        {"fail jc D1 and D2 zero",
         "nmat 1\nfail\njc 1 0 0 -1.5 0.01 0.5\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: jc stress factor D1 + D2 exp(D3 s) must be positive for "
          "triaxiality s in -1.5..1.5, got 0.0000000000000000E+00 at s = -1.5000000000000000E+00 "
          "(D1 0.0000000000000000E+00, D2 0.0000000000000000E+00, D3 -1.5000000000000000E+00)"},
         true},
        {"fail jc rate factor negative",
         "nmat 1\nfail\njc 1 0.05 3.44 -2.12 -5 0.61\nendf\nendi\n",
         {nm1, errline(3),
          " *** Error *** fail: Johnson-Cook rate constant D4 (jc) must be above -1/ln(1e20) = "
          "-0.0217 (1 + D4 ln rate* positive for rate* up to 1e20), got -5.0000000000000000E+00"},
         true},
        {"fail jc temperature factor zero",
         "nmat 1\nfail\njc 1 0.05 3.44\n-2.12 0.002 -1\nendf\nendi\n",
         {nm1, errline(4),
          " *** Error *** fail: Johnson-Cook temperature constant D5 (jc) must be above -1 (1 + D5 "
          "T* positive for T* in 0..1), got -1.0000000000000000E+00"},
         true},
        {"fail jc on an elastic set",
         "nbmp 8\nnbel 1\n" + mate1 +
             "fail\njc 1 0.1 0.1 -1 0 0\nendf\npart\n1 0 0 0 0\n2 0 1 0 0\n3 0 1 1 0\n"
             "4 0 0 1 0\n5 0 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n8 0 0 1 1\nelem\n1 1 1 2 3 4 5 6 7 "
             "8\nendi\n",
         {errline(7),
          " *** Error *** fail: Johnson-Cook damage (jc) of material set 1 needs a Johnson-Cook "
          "material (john or jcth), the set is elas"},
         true},
        {"fail epsp on an elastic set",
         "nbmp 8\nnbel 1\n" + mate1 +
             "fail\nepsp 1 0.5\nendf\npart\n1 0 0 0 0\n2 0 1 0 0\n3 0 1 1 0\n"
             "4 0 0 1 0\n5 0 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n8 0 0 1 1\nelem\n1 1 1 2 3 4 5 6 7 "
             "8\nendi\n",
         {errline(7),
          " *** Error *** fail: the plastic strain limit (epsp) of material set 1 can never act: "
          "elas keeps no plastic strain"},
         true},

        // ---- the newer keywords: values on the keyword's own line, numbers only
        {"bulk with one coefficient",
         "bulk 0.06\nendi\n",
         {errline(1), " *** Error *** bulk takes 0 or 2 values (Q1 Q2) on its line, found 1"},
         true},
        {"fixd value missing",
         "nbmp 2\nncom 1\nfixd 1 1 0\nendi\n",
         {item("nb_comp = ", 1), errline(3),
          " *** Error *** fixd takes 4 values (C FX FY FZ) on its line, found 3"},
         true},
        {"fixd value extra",
         "nbmp 2\nncom 1\nfixd 1 1 0 0 1 ebal on\nendi\n",
         {item("nb_comp = ", 1), errline(3),
          " *** Error *** fixd takes 4 values (C FX FY FZ) on its line, found 5"},
         true},
        {"fout value on the next line",
         "fout\n1.0e-6\nendi\n",
         {errline(1), " *** Error *** fout takes 1 value (T) on its line, found 0"},
         true},
        {"ebal without its switch",
         "ebal\nendi\n",
         {errline(1), " *** Error *** ebal takes 1 value (ON or OFF) on its line, found 0"},
         true},
        {"corr with two switches",
         "corr on off\nendi\n",
         {errline(1), " *** Error *** corr takes 1 value (ON or OFF) on its line, found 2"},
         true},
        {"chkp two values",
         "\nchkp 10 20\nendi\n",
         {errline(2), " *** Error *** chkp takes 1 value (N) on its line, found 2"},
         true},
        {"dtsc without value",
         "dtsc endi\n",
         {errline(1), " *** Error *** dtsc takes 1 value (SCALE) on its line, found 0"},
         true},
        {"fixd word for a flag",
         "nbmp 2\nncom 3\nfixd 3 nan 1 0\nendi\n",
         {item("nb_comp = ", 3), errline(3), " *** Error *** not an integer: nan"},
         true},
        {"chkp word",
         "chkp many\nendi\n",
         {errline(1), " *** Error *** not an integer: many"},
         true},
        {"fout word",
         "fout often\nendi\n",
         {errline(1), " *** Error *** not a real number: often"},
         true},
        {"bulk sign before a number",
         "bulk +0.06 1.5\nendi\n",
         {errline(1), " *** Error *** not a real number: +0.06"},
         true},
        {"fixd component beyond nb_comp",
         "nbmp 2\nncom 1\nfixd 2 1 1 0\nendi\n",
         {item("nb_comp = ", 1), errline(3),
          " *** Error *** component number 2 is outside the valid range 1..1"},
         true},
        {"fixd without ncom",
         "fixd 1 0 0 1\nendi\n",
         {errline(1), " *** Error *** component number 1 is outside the valid range 1..0"},
         true},
        {"fixd flag other than 0 or 1",
         "nbmp 2\nncom 1\n\nfixd 1 0 2 0\nendi\n",
         {item("nb_comp = ", 1), errline(4),
          " *** Error *** fixd direction flag 2 is outside the valid range 0..1"},
         true},
        {"fixd flag negative",
         "nbmp 2\nncom 1\nfixd 1 -1 0 0\nendi\n",
         {item("nb_comp = ", 1), errline(3),
          " *** Error *** fixd direction flag -1 is outside the valid range 0..1"},
         true},
        {"size beyond memory",
         "nbmp 2147483647\nendi\n",
         {item("nb_particle = ", 2147483647), errline(1),
          " *** Error *** not enough memory for the sizes given in the deck"},
         true,
         {},
         "ulimit -v 4000000; "},

        // ---- materials and equation of state
        {"mate before nmat",
         "mate\n1 elas 7800 2.1e11 0.3\nendi\n",
         {" *** Error *** nb_mat must be defined in advance!"},
         true},
        {"too many material sets",
         "nmat 1\nmate\n\n2 elas 7800 2.1e11 0.3\nendi\n",
         {nm1, errline(4), " *** Error *** Too many material sets", item("required : ", 1),
          item("inputed  : ", 2)},
         true},
        {"material set below 1",
         "nmat 1\nmate\n0 elas 7800 2.1e11 0.3\nendi\n",
         {nm1, errline(3), " *** Error *** material set number 0 is outside the valid range 1..1"},
         true},
        {"invalid material type",
         "nmat 1\nmate\n1\nsteel 7800 2.1e11 0.3\nendi\n",
         {nm1, invalid("steel", 4), errline(4), " *** Error *** Invalid Material Type!"},
         true},
        {"jcth Tmelt not above Troom",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 294 294 383 0.9 "
         "1\nendi\n",
         {nm1, errline(3), kJcthConstants},
         true},
        {"jcth cp zero",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 294 0 0.9 "
         "1\nendi\n",
         {nm1, errline(3), kJcthConstants},
         true},
        {"jcth reference rate negative",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 294 383 0.9 "
         "-1\nendi\n",
         {nm1, errline(3), kJcthConstants},
         true},
        {"jcth m zero",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 0 1356 294 383 0.9 "
         "1\nendi\n",
         {nm1, errline(3),
          " *** Error *** material set 1: the softening exponent m must be positive, got "
          "0.0000000000000000E+00"},
         true},
        {"jcth beta above 1",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 294 383 1.5 "
         "1\nendi\n",
         {nm1, errline(3),
          " *** Error *** material set 1: the share of plastic work turned into heat must be "
          "within 0..1, got 1.5000000000000000E+00"},
         true},
        {"jcth room temperature below 0 K",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 -20 383 0.9 "
         "1\nendi\n",
         {nm1, errline(3),
          " *** Error *** material set 1: the room temperature TROOM must be at least 0 K, got "
          "-2.0000000000000000E+01"},
         true},
        {"jcth specific heat absurdly small",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 294 1e-38 0.9 "
         "1\nendi\n",
         {nm1, errline(3),
          " *** Error *** material set 1: the specific heat CP must be at least 1 J/(kg K), got "
          "9.9999993504564039E-39"},
         true},
        {"jcth word for a constant",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356 room 383 0.9 "
         "1\nendi\n",
         {nm1, errline(3), " *** Error *** not a real number: room"},
         true},
        {"jcth record cut short",
         "nmat 1\nmate\n1 jcth 8960 1.24e11 0.34 9e7 2.92e8 0.31 0.025 1.09 1356\n",
         {nm1, eof1, eof2},
         true},
        {"seos type other than 1",
         mate1 + "seos 1 2 4570 1.49 1.93\nendi\n",
         {errline(4), " Error set EOS parameter (seos)"},
         true},
        {"seos set beyond nb_mat",
         mate1 + "seos 2 1 4570 1.49 1.93\nendi\n",
         {errline(4), " *** Error *** material set number 2 is outside the valid range 1..1"},
         true},
        {"seos set below 1",
         mate1 + "seos 0 1 4570 1.49 1.93\nendi\n",
         {errline(4), " *** Error *** material set number 0 is outside the valid range 1..1"},
         true},
        {"seos before nmat",
         "seos 1 1 4570 1.49 1.93\nendi\n",
         {errline(1), " *** Error *** material set number 1 is outside the valid range 1..0"},
         true},
        {"seos before its mate record",
         "nmat 2\nmate\n2 elas 7800 2.1e11 0.3\nseos 1 1 4570 1.49 1.93\nendi\n",
         {item("nb_mat = ", 2), errline(4),
          " *** Error *** seos for material set 1 before its \"mate\" record (its density is not "
          "defined)"},
         true},

        // ---- nodes, loads, velocities, switch
        {"part before nbmp",
         "part\n1 0 0 0 0\nendi\n",
         {" *** Error *** nbmp must be defined in advance!"},
         true},
        {"load before nbmp", "load\nendl\nendi\n", {" *** Error *** nbmp must be defined !"}, true},
        {"velo before nbmp", "velo\nendv\nendi\n", {" *** Error *** nbmp must be defined !"}, true},
        {"too many particles",
         "nbmp 2\npart\n1 0 0 0 0\n3 0 0 0 0\nendi\n",
         {nb2, errline(4), " *** Error *** Too many particles", item("required : ", 2),
          item("inputed  : ", 3)},
         true},
        {"node 0 in part",
         "nbmp 2\npart\n0 0 0 0 0\nendi\n",
         {nb2, errline(3), " *** Error *** node number 0 is outside the valid range 1..2"},
         true},
        {"negative node in part",
         "nbmp 2\npart\n-1 0 0 0 0\nendi\n",
         {nb2, errline(3), " *** Error *** node number -1 is outside the valid range 1..2"},
         true},
        {"component beyond nb_comp",
         "nbmp 2\nncom 1\npart\n1 2 0 0 0\nendi\n",
         {item("nb_comp = ", 1), errline(4),
          " *** Error *** component number greater than nb_comp"},
         true},
        {"component without ncom",
         "nbmp 2\npart\n1 1 0 0 0\nendi\n",
         {nb2, errline(3), " *** Error *** component number greater than nb_comp"},
         true},
        {"component overfilled",
         "nbmp 2\nncom 1\npart\n1 1 0 0 0\n1 1 0 0 0\n1 1 0 0 0\nendi\n",
         {item("nb_comp = ", 1), errline(6),
          " *** Error *** component 1 would receive more than 2 members (nodes repeated in "
          "\"part\")"},
         true},
        {"load node beyond nbmp",
         "nbmp 2\nload\nnode 3 0 0 0\nendl\nendi\n",
         {nb2, errline(3), " *** Error *** node number 3 is outside the valid range 1..2"},
         true},
        {"load node 0",
         "nbmp 2\nload\nnode\n0 0 0 0\nendl\nendi\n",
         {nb2, errline(4), " *** Error *** node number 0 is outside the valid range 1..2"},
         true},
        {"velocity node beyond nbmp",
         "nbmp 2\nvelo\nnode 3 0 0 0\nendv\nendi\n",
         {nb2, errline(3), " *** Error *** node number 3 is outside the valid range 1..2"},
         true},
        {"velocity node negative",
         "nbmp 2\nvelo\nnode -2 0 0 0\nendv\nendi\n",
         {nb2, errline(3), " *** Error *** node number -2 is outside the valid range 1..2"},
         true},
        {"load component beyond nb_comp",
         "nbmp 2\nncom 1\nload\ncomp 2 0 0 0\nendl\nendi\n",
         {item("nb_comp = ", 1), errline(4),
          " *** Error *** component number 2 is outside the valid range 1..1"},
         true},
        {"load component without ncom",
         "nbmp 2\nload\ncomp 1 0 0 0\nendl\nendi\n",
         {nb2, errline(3), " *** Error *** component number 1 is outside the valid range 1..0"},
         true},
        {"velocity component 0",
         "nbmp 2\nncom 1\nvelo\ncomp 0 0 0 0\nendv\nendi\n",
         {item("nb_comp = ", 1), errline(4),
          " *** Error *** component number 0 is outside the valid range 1..1"},
         true},
        {"load sub-keyword",
         "nbmp 2\nload\nnade 1 0 0 0\nendl\nendi\n",
         {nb2, invalid("nade", 3), errline(3), " error GetLoad"},
         true},
        {"velocity sub-keyword",
         "nbmp 2\nvelo\nnode 1 0 0 0\nend\nendi\n",
         {nb2, invalid("end", 4), errline(4), " error GetVelocity"},
         true},
        {"switch word",
         "jaum yes\nendi\n",
         {invalid("yes", 1), errline(1), " switch should be ON/OFF"},
         true},
        {"switch number",
         "jaum\n1\nendi\n",
         {invalid("1", 2), errline(2), " switch should be ON/OFF"},
         true},
        {"nbel without elements",
         "nbmp 8\nnbel 1\nendi\n",
         {item("nb_element = ", 1),
          " *** Error *** element 1 was never given (elements 1..1 must all be given)"},
         true},
        {"element of a set without its mate record",
         "nbmp 8\nnbel 1\nnmat 2\nmate\n2 elas 7800 2.1e11 0.3\npart\n1 0 0 0 0\n2 0 1 0 0\n"
         "3 0 1 1 0\n4 0 0 1 0\n5 0 0 0 1\n6 0 1 0 1\n7 0 1 1 1\n8 0 0 1 1\nelem\n"
         "1 1 1 2 3 4 5 6 7 8\nendi\n",
         {errline(16),
          " *** Error *** element 1 uses material set 1, not defined before \"elem\" (no \"mate\" "
          "record)"},
         true},
        {"elem before nbel",
         "elem\n1 1 1 2 3 4 5 6 7 8\nendi\n",
         {" *** Error *** nbel must be defined in advance!"},
         true},

        // ---- the load function during the run
        {"time beyond the load function",
         "nbmp 1\npart\n1 0 0 0 0\ntime 2 -1.0 1.0 -0.5 1.0\nendi\n",
         {" ***Error*** Current time is out of time function ! ", "    Current time =  0.000E+00",
          "    End time of the time function = -5.000E-01"},
         true},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A memory limit set with ulimit keeps AddressSanitizer from mapping
        // its shadow memory, so those cases run in the optimised build only.
        if (kAddressSanitizer && !c.prefix.empty()) continue;
        TempDir dir("input-errors");
        write_file(dir / "Comm", "0\n\n");
        if (c.deck == kDeckIsDirectory)
            fs::create_directory(dir / "a");
        else if (!c.nodeck)
            write_file(dir / "a", c.deck);
        const RunResult r =
            run_command(c.prefix + mpiexec() + " -n 1 " + exe("hexdyn"), dir.path(), 60);
        ASSERT_FALSE(r.timed_out) << r.out;
        const std::string head = " Myid=           0\n nprocs=           1\n";
        EXPECT_EQ(r.out.rfind(head, 0), 0u) << r.out;
        const std::string block = joined(c.lines);
        if (c.stops) {
            EXPECT_NE(r.status, 0) << r.out;
            // the messages are the last thing the process writes
            EXPECT_GE(r.out.size(), block.size());
            EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), block.size())), block)
                << r.out;
            if (r.out.size() >= head.size() + block.size()) {
                // and nothing but the sizes echoed by their keywords comes before them
                const std::string between =
                    r.out.substr(head.size(), r.out.size() - head.size() - block.size());
                EXPECT_EQ(between.find("***"), std::string::npos) << r.out;
            }
        } else {
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_NE(r.out.find(block), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(" solving...\n"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(" ** Timefor computation is"), std::string::npos) << r.out;
        }
        if (!c.echo.empty()) { EXPECT_EQ(read_file(dir / "asovra.rst"), c.echo); }
    }
}
