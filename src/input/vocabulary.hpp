// The words of the input deck, in one place for the solver's reader and for
// the tools that read and write decks. Each table holds 4-character entries
// (blank padded) as the keyword search takes them; entry k (1-based) is the
// number the readers switch on.
#pragma once

#include <string_view>

#include "failure/failtable.hpp"
#include "material/catalog.hpp"
#include "model/curvevariables.hpp"

namespace vocabulary {

// Keywords at the top level of a deck:
//  1 endi  2 sovr  3 nbmp  4 repo  5 hour  6 time  7 endt  8 outt  9 nmat
// 10 mate 11 part 12 jaum 13 ncom 14 load 15 velo 16 curv 17 seos 18 elem
// 19 nbel 20 rigi 21 dtsc 22 fout 23 ebal 24 chkp 25 bulk 26 fixd 27 stab 28 midg
// 29 cont 30 glob 31 fail 32 vmis 33 cons 34 corr 35 wall 36 tfun 37 move 38 reac
// 39 rigd 40 math
inline constexpr char keywords[] =
    "endisovrnbmprepohourtimeendtouttnmatmatepartjaumncomloadvelocurvseoselemnbelrigidtsc"
    "foutebalchkpbulkfixdstabmidgcontglobfailvmisconscorrwalltfunmovereacrigdmath";
inline constexpr int nkeywords = 40;

// The axis of a "move" record (x, y, z) and what it prescribes: the
// velocity or the displacement.
inline constexpr char axes[] = "x   y   z   ";
inline constexpr int naxes = 3;
inline constexpr char motions[] = "v   d   ";
inline constexpr int nmotions = 2;

// Material models after the set number of a "mate" record, one per row of
// the material table (material/catalog.hpp), numbered by their row.
inline constexpr const char* materials = catalog::words.data();
inline constexpr int nmaterials = catalog::nmodels;

// Result variables of a "curv" record, in the order of the curve-variable
// table (model/curvevariables.hpp).
inline constexpr const char* curves = curvevariables::words.data();
inline constexpr int ncurves = curvevariables::count;

// Records of a "load" block and of a "velo" block: its end, a node, a component.
inline constexpr char loadrecords[] = "endlnodecomp";
inline constexpr char velocityrecords[] = "endvnodecomp";
inline constexpr int nvectorrecords = 3;

// Records of a "cont" block: its end, the penalty scale, friction, the
// material sets in contact, a pair of sets in contact, the penalty scale of a
// pair of sets, the contact force between two sets written out.
inline constexpr char contactrecords[] = "endcscalfricpartpairpscaforc";
inline constexpr int ncontactrecords = 7;

// Records of a "wall" block: its end, the three shapes (plane, cylinder,
// sphere), then the words that complete the wall before them: the length of
// a finite cylinder, the body inside, the wall's velocity, its friction, the
// component it holds, the edge of a finite plane.
inline constexpr char wallrecords[] = "endwplancylisphelenginsimovefriccompedge";
inline constexpr int nwallrecords = 10;

// Records of a "fail" block: its end, then one per row of the failure
// criteria table (failure/failtable.hpp), entry k + 1 for criterion k.
inline constexpr const char* failurerecords = failtable::words.data();
inline constexpr int nfailurerecords = failtable::count + 1;

// Values of a switch ("jaum on").
inline constexpr char switches[] = "on  off ";
inline constexpr int nswitches = 2;

// Entry k (1-based) of a table as written in a deck, without its padding:
// word(curves, 3) is "mat". Empty when k is outside 1..n.
std::string_view word(const char* table, int n, int k);

}  // namespace vocabulary
