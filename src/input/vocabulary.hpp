// The words of the input deck, in one place for the solver's reader and for
// the tools that read and write decks. Each table holds 4-character entries
// (blank padded) as the keyword search takes them; entry k (1-based) is the
// number the readers switch on.
#pragma once

#include <string_view>

#include "model/curvevariables.hpp"

namespace vocabulary {

// Keywords at the top level of a deck:
//  1 endi  2 sovr  3 nbmp  4 repo  5 hour  6 time  7 endt  8 outt  9 nmat
// 10 mate 11 part 12 jaum 13 ncom 14 load 15 velo 16 curv 17 seos 18 elem
// 19 nbel 20 rigi 21 dtsc 22 fout 23 ebal 24 chkp 25 bulk 26 fixd 27 stab 28 midg
inline constexpr char keywords[] =
    "endisovrnbmprepohourtimeendtouttnmatmatepartjaumncomloadvelocurvseoselemnbelrigidtsc"
    "foutebalchkpbulkfixdstabmidg";
inline constexpr int nkeywords = 28;

// Material models after the set number of a "mate" record:
// 1 elastic, 2 elastic-perfectly plastic, 3 linear hardening, 4 Johnson-Cook
// (reference strain rate 1e-3 /s), 5 Johnson-Cook with thermal softening
// (reference strain rate given).
inline constexpr char materials[] = "elaspla1pla2johnjcth";
inline constexpr int nmaterials = 5;

// The paragraph the solver's and every tool's help ends with: the reference
// strain rate of each material word (a macro, so that help texts join it as
// a string literal).
#define HEXDYN_MATERIAL_RATES_HELP                                                     \
    "\nReference strain rates of the material words: elas, pla1, pla2 none (no rate\n" \
    "term); john 1e-3 per second, fixed (the rate term is ln(rate / 0.001)); jcth\n"   \
    "the last constant of its record, RATE0 (1 per second for published constants).\n"

// Result variables of a "curv" record, in the order of the curve-variable
// table (model/curvevariables.hpp).
inline constexpr const char* curves = curvevariables::words.data();
inline constexpr int ncurves = curvevariables::count;

// Records of a "load" block and of a "velo" block: its end, a node, a component.
inline constexpr char loadrecords[] = "endlnodecomp";
inline constexpr char velocityrecords[] = "endvnodecomp";
inline constexpr int nvectorrecords = 3;

// Values of a switch ("jaum on").
inline constexpr char switches[] = "on  off ";
inline constexpr int nswitches = 2;

// Entry k (1-based) of a table as written in a deck, without its padding:
// word(curves, 3) is "mat". Empty when k is outside 1..n.
std::string_view word(const char* table, int n, int k);

}  // namespace vocabulary
