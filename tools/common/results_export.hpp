// Merging of the per-process result files into the global mesh and export
// as a VTK XML time series (one .vtu per output time and a .pvd collection)
// plus one CSV table of all curves.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "results_io.hpp"

namespace results {

struct ExportOptions {
    fs::path dir = ".";  // directory holding the result files
    fs::path map;        // map file; empty: <dir>/hexdyn.map when it exists
    fs::path out;        // output prefix; empty: <dir>/hexdyn
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
    std::vector<std::string> notes;  // warnings worth showing to the user
};

// Reads, checks and merges the result files and writes the outputs.
// Throws results::Error on any problem; a failed export leaves no .pvd.
ExportReport run_export(const ExportOptions& options);

// Column names of the merged CSV, in order ("time" first), for the curves of
// the processes whose readers are given. `map` gives the global element
// numbers; with `identity` the process numbering is the global one.
struct CurveLayout {
    std::vector<std::string> names;
    // For every total column (engk_total, ...): the source column of each
    // process (index into that process's values).
    struct Total {
        std::string variable;
        std::vector<size_t> column_of_process;
    };
    std::vector<Total> totals;
    std::vector<std::string> notes;
};

// Plain-data view of one process's curve columns for the layout.
struct ProcessCurves {
    int id = 0;
    std::string file;
    std::vector<CurveColumn> columns;
    const std::vector<long long>* element_global = nullptr;  // null: no map
    long long elements = 0;                                   // element count of the process
};

// `kinetic_additive` tells whether the processes' kinetic energies add up to
// the model's: each process counts every node it holds with the node's full
// mass, so a node shared by k processes enters the sum k times. Without it
// no engk_total and ener_total are formed (engs_total, a sum over elements,
// is always exact).
CurveLayout curve_layout(const std::vector<ProcessCurves>& procs, bool single_global, bool kinetic_additive);

}  // namespace results
