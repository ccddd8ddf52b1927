// Checkpoints and restart.
//
// With "chkp n" in the deck every process writes, after every n-th step, its
// whole state to a binary file "<deck>chkp.1" or "<deck>chkp.2" (the two
// alternate, so the last two are kept). A checkpoint is written to
// "<deck>chkp.tmp", synced and renamed over the older of the two: a process
// that dies while writing leaves both previous checkpoints intact.
//
// File layout (native byte order, every field 8-byte aligned):
//
//   header, 64 bytes
//     0  "HXDCHKPT"          magic
//     8  u32 version          layout of the sections (4; 3 lacked MOTION, 2 held
//                             ENERGY in place of BALANCE, 1 lacked FIELD and ENERGY)
//    12  u32 header bytes     64
//    16  u64 sequence         1 for the first checkpoint of the run, then 2, 3, ...
//    24  i32 processes        size of the job that wrote it
//    28  i32 process          number of the process that wrote it
//    32  u64 deck hash        of the deck's bytes
//    40  u64 Comm hash        of the bytes of "Comm"
//    48  u64 payload bytes    everything after the header
//    56  u64 checksum         of the payload and of header bytes 0..55
//   sections, each: 8-character name, u64 byte count, the data padded to 8
//     "STEP    " the time, the step variables, the output schedule
//     "FILES   " lengths of the echo, animation and curve files
//     "POS     " "VEL     " "ACC     " "MASS    " node arrays
//     "LAYOUT  " the fields of a history record, the text historylayout of
//                model.hpp (absent before this section was added: such a
//                checkpoint has the layout unrecordedlayout)
//     "HISTORY " history records
//     "FIELD   " with field output ("fout") only: the next field-output
//                time, the number of frames written and the time of each
//                (the series that field.pvd lists)
//     "BALANCE " with the energy balance ("ebal on") only: the sums carried
//                over the steps (initial kinetic energy, work of the loads,
//                of the hourglass forces and of the constraints), the number
//                of records of energy.dat and, on process 0, its length. The
//                "ENERGY" section of version 2 summed the work of another
//                balance and is not read: such a checkpoint restarts a run
//                without the energy balance only
//     "CONTACT " with contact ("cont") only: the work of the contact forces,
//                then per node the starting depth it is allowed to keep and
//                the hold code of the face that holds it (0 none)
//     "WALLS   " with rigid walls ("wall") only: per wall the momentum given
//                to the nodes since the last record of walls.dat, the work
//                over the whole steps and its part after t(n), then the time
//                since that record, the number of records and, on process 0,
//                the length of walls.dat
//     "RIGID   " with rigid bodies ("rigd") only: per body the centre of
//                mass, its velocity, the rotation (a unit quaternion), the
//                angular momentum and angular velocity, then the number of
//                records of rigid.dat and, on process 0, its length
//     "FAILURE " with failure ("fail") only: the number of eroded elements
//                and the energy they took away, then per element the damage,
//                the erosion flag, the plastic strain at the last pass and
//                the plastic work
//     "MOTION  " with driven components ("move") or constraint forces ("reac")
//                only: the work of the driven components, the number of
//                records of forces.dat and, on process 0, its length
//
// A reader takes the sections by name: a later version adds sections (and
// raises the version) without moving the existing ones, so a version-1 file
// still restarts a run without field output and energy balance.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contact/contact.hpp"

namespace checkpoint {

inline constexpr std::uint32_t version = 4;

// The output schedule of the time loop: the next output time, the next
// report step and the next field-output time. `restored` tells the loop that
// it continues a run: the field series and the energy sums come from the
// checkpoint and are not started afresh. The loop also carries the contact's
// state in it, which a restart fills from the checkpoint.
struct schedule {
    double nextout = 0.0;
    int nextreport = 0;
    double nextfield = 0.0;
    bool restored = false;
    contact::surface contact;
};

// True after a step whose number (counted from 1) is a multiple of the
// interval.
bool due(int stepsdone);

// Writes the checkpoint of this process; the result files are synced first
// and their lengths recorded.
void write(const schedule& s);

// Sequence number of the last checkpoint written or read (0 none).
std::uint64_t lastsequence();

// The layout of the history records of checkpoints written without a
// "LAYOUT" section.
inline constexpr char unrecordedlayout[] = "vol0 sig_y sm seqv sd:6 epeff eint q temp";

// Why a checkpoint whose history records have the layout `stored` cannot
// restart this solver; empty when it is this solver's layout.
std::string layoutfault(std::string_view stored);

// File name of checkpoint slot 1 or 2 of this process.
std::string filename(int slot);

// Restart: reads the latest checkpoint that every process holds complete
// (a damaged one is skipped with a warning naming it), refuses one from a
// job of another size or another deck, loads the state into the model data
// and cuts the result files back to their recorded lengths: energy.dat too,
// the field files of frames written after the checkpoint are removed and
// field.pvd lists exactly the frames up to it. Collective over all
// processes; called after the deck has been read.
void restore(schedule& s);

// 64-bit hash of a byte range (FNV-1a over 8-byte words, then the tail).
std::uint64_t hash(const void* data, std::size_t n, std::uint64_t h = 0xcbf29ce484222325ULL);

// Forgets the sequence and the hashes (reset between test cases).
void reset();

}  // namespace checkpoint
