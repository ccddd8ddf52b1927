// Readers of the solver's per-process result files.
//
// Animation file "<deck>result_anim.dat": title record, variables record,
// empty record, then one zone per output time:
//   ZONE T="Time =  0.0000E+00" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN
// followed by N node records of three E12.4 fields; after the first zone
// only, E connectivity records of eight I7 fields. Later zone records end
// with " D=(FECONNECT)" (they reuse the first zone's connectivity).
//
// Curve file "<deck>result_curv.dat": title record, column record
//   VARIABLES= "Time" "seqv at     5" "mat  at    12"
// empty record, then one record per output time: the time as D15.6 and each
// curve's value as D15.6 ("mat " as I3), written without separators.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "formats/lines.hpp"

namespace formats {

// ---------------------------------------------------------- animation file

struct AnimZone {
    int index = 0;  // 0-based zone number
    double time = 0.0;
    long long first_line = 0;  // line of the zone record
    std::vector<double> xyz;   // 3 per node
};

class AnimReader {
  public:
    // Opens the file and reads its three header records.
    explicit AnimReader(const fs::path& file);
    // The same over a reader already open (a file held in memory).
    explicit AnimReader(LineReader in);

    const std::string& title() const { return title_; }
    const std::string& name() const { return in_.name(); }

    // Reads the next zone; false at the end of the file. The first zone also
    // fixes the node and element counts and the connectivity; every later
    // zone must repeat the counts. Counts are checked against the file's
    // size before anything is allocated; a time or coordinate that is not a
    // finite number is an error.
    //
    // A file whose last zone (not its first) is cut off - it ends inside the
    // zone, or its last line is incomplete and has no line end, as when the
    // run was killed while writing - ends before that zone: next() returns
    // false and cut_zone() names it. Damage anywhere else is an error.
    bool next(AnimZone& zone);
    // 1-based number of the zone that was cut off (0: none), and the line
    // where the file ends.
    int cut_zone() const { return cut_zone_; }
    long long cut_line() const { return cut_line_; }

    long long nodes() const { return nodes_; }
    long long elements() const { return elements_; }
    // Connectivity of the first zone: 8 local node numbers (1-based) per element.
    const std::vector<std::array<long long, 8>>& connectivity() const { return conn_; }

  private:
    bool next_line(std::string_view& line);
    void push_back(std::string_view line);
    [[noreturn]] void fail(const std::string& what) const;
    // True when the line just read is the incomplete last line of the file
    // in a zone after the first: the zone is then taken as cut off.
    bool cut_here() const;
    bool stop_cut();

    LineReader in_;
    std::string title_;
    std::string pending_;
    bool has_pending_ = false;
    long long pending_line_ = 0;
    long long cur_line_ = 0;
    int zones_ = 0;
    int cut_zone_ = 0;
    long long cut_line_ = 0;
    long long nodes_ = -1;
    long long elements_ = -1;
    std::vector<std::array<long long, 8>> conn_;
};

// --------------------------------------------------------------- curve file

struct CurveColumn {
    // trimmed result name, a word of the curve-variable table: "seqv", "dx", ...
    std::string variable;
    // element (node for a node variable) of the column record; -1 when it
    // overflowed its field
    long long element = 0;
    bool integer = false;  // I3 field ("mat ") rather than D15.6
    bool energy = false;   // a process total (engk, engs, ener): the element plays no part
    bool node = false;     // taken at a node (dx, vx, ...): `element` is a node number
};

class CurveReader {
  public:
    // Opens the file and reads the title and column records.
    explicit CurveReader(const fs::path& file);
    // The same over a reader already open (a file held in memory).
    explicit CurveReader(LineReader in);

    const std::string& title() const { return title_; }
    const std::string& name() const { return in_.name(); }
    const std::vector<CurveColumn>& columns() const { return columns_; }

    // Reads the next record; false at the end of the file. A value that
    // overflowed its integer field reads as NaN; a time or value written as
    // a number that is not finite (NaN, Infinity) is an error. An incomplete
    // last line without a line end (the run was killed while writing it)
    // ends the file before that record: next() returns false and
    // cut_record() names it; a malformed record anywhere else is an error.
    bool next(double& time, std::vector<double>& values);
    long long records() const { return records_; }
    // 1-based number of the record that was cut off (0: none).
    long long cut_record() const { return cut_record_; }
    long long line_number() const { return in_.line_number(); }

  private:
    LineReader in_;
    std::string title_;
    std::vector<CurveColumn> columns_;
    long long records_ = 0;
    long long cut_record_ = 0;
};

}  // namespace formats
