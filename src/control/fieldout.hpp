// Field output ("fout"): at each field-output time every process writes one
// compressed binary VTK piece of its own nodes and elements,
// field/tNNNNN_<deck>.vtu; process 0 writes field/tNNNNN.pvtu, which joins
// the pieces of that time, and rewrites field.pvd, the series of all times,
// once every process has written its piece.
//
// A frame is the state of one time t(n): the time loop writes it once the
// element pass of the step has given the stresses of t(n) and before the
// nodes move on to t(n+1).
//
// Points are the coordinates of that time (deformed) in Float64; every node
// of the process is a point. Point data: velocity (the active vectors, the
// velocity of t(n)), displacement from the deck's coordinates, node (the
// process's node number, or the whole model's with "glob"). Cell data, one
// value per element not eroded (eroded elements are left out of the cells,
// so that what remains is drawn closed): stress_xx .. stress_xy, pressure,
// equivalent_stress, plastic_strain, relative_volume; then internal_energy
// (only when a material has the Gruneisen equation of state), temperature
// (only when a material keeps one, jcth; NaN in the elements of the other
// sets) and damage (only with "fail"); then material, element (the process's
// or, with "glob", the whole model's number), process. Fields are Float32,
// numbers Int32. The arrays that change only when elements erode (numbers,
// cells) are compressed at the first frame and again after an erosion, and
// their bytes reused by the frames in between.
#pragma once

#include <string>
#include <vector>

namespace fieldout {

// Names of the files of frame `frame`: the piece of process `id`, the
// parallel file joining the pieces, both relative to the working directory.
std::string piecename(int frame, int id);
std::string parallelname(int frame);
inline constexpr const char* seriesname = "field.pvd";

// Keeps the deck's coordinates for the displacement (once, before the loop).
void start();
// Writes the field output of the current state, labelled `time`. With
// `lag` non-zero the velocities held are those of the half step before
// `time` and the accelerations held those of `time`, and the frame's
// velocities are v + lag a. The state is copied at once; the files are compressed and written on a background
// thread while the run goes on (the same bytes as written at once).
void write(double time, double lag = 0.0);
// Waits until the frame under way is written; raises its stop, if any. The
// processes then agree that every piece of it is on disk, and process 0
// lists it in field.pvd (a frame that failed anywhere stops every process).
// A collective when a frame is under way: every process calls it at the same
// step. The time loop calls it before a checkpoint records the series, on a
// stop signal and before the run ends; write() calls it first.
void wait();

// The piece of this process as write would give it, with every array at zlib
// level `level` (the connectivity at least at write's level), on this thread.
std::string piece(double time, int level);

// The times of the frames written so far, which field.pvd lists (kept by a
// checkpoint).
const std::vector<double>& frames();
// Continues a series from a checkpoint: `times` are its frames; process 0
// rewrites field.pvd to list those whose files are all on disk, with a
// warning when some are not (removes it when there are none).
void resume(const std::vector<double>& times);

}  // namespace fieldout
