// Readers for the solver's per-process result files and for the partition
// map that ties the process numbering to the global mesh.
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
//
// The records are fixed-width: a field may touch its neighbour, a number too
// wide for an integer field shows as asterisks, and an exponent of three
// digits drops its letter ("1.0000+100", "0.100000-100").
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace results {

namespace fs = std::filesystem;

// Every problem with the input files is reported as this exception; the
// message names the file and, where it applies, the line.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Sequential line reader over a large file: reads in big chunks, hands out
// views into its buffer (valid until the next call), strips a trailing
// carriage return.
class LineReader {
public:
    LineReader() = default;
    explicit LineReader(const fs::path& file);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    LineReader(LineReader&& other) noexcept;
    LineReader& operator=(LineReader&& other) noexcept;

    // Next line into `line`; false at the end of the file.
    bool next(std::string_view& line);
    // 1-based number of the line last returned.
    long long line_number() const { return line_no_; }
    const std::string& name() const { return name_; }
    // "file:line: " prefix for messages about the line last returned.
    std::string where() const;

private:
    bool fill();

    std::FILE* file_ = nullptr;
    std::string name_;
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    long long line_no_ = 0;
};

// Fortran-style real field ("  1.5000E-03", "   0.150000D+09", "1.0000+100",
// "NaN", "-Infinity"); surrounding blanks are ignored. False when the text
// is not a number (asterisks, empty, garbage).
bool parse_real(std::string_view field, double& value);
// Integer field; false when empty, asterisks or not an integer.
bool parse_int(std::string_view field, long long& value);
// True when the field consists of asterisks only (a value too wide for it).
bool is_overflow(std::string_view field);

std::string_view trim(std::string_view s);

// Deck name of process p as the solver derives it: "a".."z", "aa", "ab", ...
std::string deck_name(int process);

// ---------------------------------------------------------------- map file

struct MapProcess {
    int id = 0;
    std::string deck;
    std::vector<long long> node_global;     // local node k (0-based) -> global number (1-based)
    std::vector<long long> element_global;  // local element e (0-based) -> global number (1-based)
};

struct Map {
    long long nodes = 0;
    long long elements = 0;
    std::vector<MapProcess> procs;
};

// Reads and checks a map file: format line, counts, one block per process in
// order, numbers in range, no node repeated within a process, every global
// node held by at least one process and every global element by exactly one.
Map read_map(const fs::path& file);

// ---------------------------------------------------------- animation file

struct AnimZone {
    int index = 0;                 // 0-based zone number
    double time = 0.0;
    long long first_line = 0;      // line of the zone record
    std::vector<double> xyz;       // 3 per node
};

class AnimReader {
public:
    // Opens the file and reads its three header records.
    explicit AnimReader(const fs::path& file);

    const std::string& title() const { return title_; }
    const std::string& name() const { return in_.name(); }

    // Reads the next zone; false at the end of the file. The first zone also
    // fixes the node and element counts and the connectivity; every later
    // zone must repeat the counts.
    bool next(AnimZone& zone);

    long long nodes() const { return nodes_; }
    long long elements() const { return elements_; }
    // Connectivity of the first zone: 8 local node numbers (1-based) per element.
    const std::vector<std::array<long long, 8>>& connectivity() const { return conn_; }

private:
    bool next_line(std::string_view& line);
    void push_back(std::string_view line);
    [[noreturn]] void fail(const std::string& what) const;

    LineReader in_;
    std::string title_;
    std::string pending_;
    bool has_pending_ = false;
    long long pending_line_ = 0;
    long long cur_line_ = 0;
    int zones_ = 0;
    long long nodes_ = -1;
    long long elements_ = -1;
    std::vector<std::array<long long, 8>> conn_;
};

// --------------------------------------------------------------- curve file

struct CurveColumn {
    std::string variable;   // trimmed result name: "seqv", "epef", "mat", "sm", "vol", "engk", "engs", "ener"
    long long element = 0;  // element number of the column record; -1 when it overflowed its field
    bool integer = false;   // I3 field ("mat ") rather than D15.6
    bool energy = false;    // a process total (engk, engs, ener): the element plays no part
};

class CurveReader {
public:
    // Opens the file and reads the title and column records.
    explicit CurveReader(const fs::path& file);

    const std::string& title() const { return title_; }
    const std::string& name() const { return in_.name(); }
    const std::vector<CurveColumn>& columns() const { return columns_; }

    // Reads the next record; false at the end of the file. A value that
    // overflowed its integer field reads as NaN.
    bool next(double& time, std::vector<double>& values);
    long long records() const { return records_; }
    long long line_number() const { return in_.line_number(); }

private:
    LineReader in_;
    std::string title_;
    std::vector<CurveColumn> columns_;
    long long records_ = 0;
};

}  // namespace results
