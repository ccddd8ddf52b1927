// The process's three output files: the echo of the deck ("?sovra.rst"),
// the animation file ("?result_anim.dat") and the curve file
// ("?result_curv.dat"), "?" being the process's deck name. Each is a
// sequential text file written through one large buffer, reached by its unit
// number (ffi::iores, ffi::iow1, ffi::iow2 in the model data).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ffi {

// A sequential text file written through one large buffer. A failed write
// stops the run with a message naming the file.
class textout {
  public:
    bool open(const std::string& name);
    // Opens an existing file for appending at its end, keeping what it holds.
    bool openexisting(const std::string& name);
    // Keeps the records for the file `name` in memory, without touching the
    // file, until release() writes them: a restart that is refused leaves the
    // file of the run as it was.
    void hold(const std::string& name);
    // Creates the held file afresh with the records kept so far and goes on
    // writing to it; stops the run when it cannot.
    void release();
    bool is_open() const { return f_ != nullptr || held_; }
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
    // Writes what is pending and hands it to the system: a process killed
    // afterwards leaves every record written so far in the file.
    void sync();
    // Length of the file in bytes once sync has run.
    long long length();
    // Cuts the file to `len` bytes and goes on writing at its end; false when
    // the file is shorter than that.
    bool truncate(long long len);
    void close();    // flushes, closes and checks for errors
    void discard();  // closes without writing what is pending
    void finish();   // writes what is pending and closes, without checks (after a stop)
    ~textout();

  private:
    static constexpr size_t flush_at = 1 << 20;
    // Stops naming the file and the system's reason `err` (an errno value).
    [[noreturn]] void fail(int err);
    std::FILE* f_ = nullptr;
    bool held_ = false;
    std::string name_;
    std::string buf_;
};

// The three output units of the process: echo (13), animation (14), curves (15).
textout& unit(int u);

// Output file names of this process: its deck name followed by a fixed tail.
std::string echoname();
std::string animname();
std::string curvename();

// Opens the echo, animation and curve files for writing, in that order;
// stops the run when one cannot be opened.
void openunits();
// Continuing a run after a restart: openunits keeps the animation and curve
// files (and fails when they are missing) instead of starting them afresh,
// and holds the echo in memory until keepecho().
extern bool continueresults;
// The restart has been accepted: the held echo replaces the echo file.
void keepecho();
// Writes what is pending in the three units and hands it to the system.
void syncunits();
// Lengths in bytes of the echo, animation and curve files after syncunits.
void unitlengths(long long len[3]);

// Closes the three units with write checks: animation, curve, echo.
void closeunits();
// Writes what is pending in the three units and closes them, without checks:
// a run that stops on an error keeps what it wrote before.
void finishunits();
// Closes the three units without writing what is pending (used by reset).
void discardunits();

// Result files that process 0 alone writes and closes after each record
// (energy.dat, walls.dat, forces.dat, rigid.dat): the length a checkpoint
// records, and the cut back to it on restart. Both stop with the file's name
// when the file cannot be read or is shorter than the checkpoint says.
std::int64_t lengthforcheckpoint(const std::string& filename);
void cutbackfile(const std::string& checkpoint, const std::string& filename, std::int64_t bytes);

}  // namespace ffi
