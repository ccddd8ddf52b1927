// Merging of the per-process result files into the global mesh and export
// as a VTK XML time series (one .vtu per output time and a .pvd collection)
// plus one CSV table of all curves.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace exporting {

namespace fs = std::filesystem;

struct ExportOptions {
    fs::path dir = ".";  // directory holding the result files
    fs::path map;        // map file; empty: <dir>/hexdyn.map when it exists
    fs::path out;        // output prefix; empty: <dir>/hexdyn
    bool ascii = false;  // .vtu arrays as text instead of compressed binary
};

struct ExportReport {
    int processes = 0;
    bool used_map = false;
    long long nodes = 0;
    long long elements = 0;
    int zones = 0;
    long long curve_records = 0;  // 0 and csv empty when no curve files exist
    bool precise_times = false;   // .pvd times taken from the curve file
    fs::path pvd;
    fs::path csv;
    std::vector<fs::path> vtu;
    std::vector<std::string> notes;     // remarks worth showing to the user
    std::vector<std::string> warnings;  // data left out: a file cut off at its end
};

// Reads, checks and merges the result files and writes the outputs.
// Throws formats::Error on any problem; a failed export leaves no .pvd.
ExportReport run_export(const ExportOptions& options);

}  // namespace exporting
