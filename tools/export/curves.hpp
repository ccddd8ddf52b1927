// The curves of the export: the columns of the merged CSV and the merge of
// the processes' curve files, record by record.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "formats/energy.hpp"
#include "formats/results.hpp"

namespace exporting {

namespace fs = std::filesystem;

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
    // The run's global energy balance, when it has one: its columns follow
    // the curves in place of the sums over the processes.
    const formats::EnergyTable* energy = nullptr;
};

// Takes the energies of `energy` (energy.dat) for the totals: kinetic,
// internal and total become engk_total, engs_total and ener_total (each
// shared node counted once, so correct for parallel runs), followed by
// hourglass, external_work, plane_work and energy_error.
void use_energy_balance(CurveLayout& layout, const formats::EnergyTable& energy);

// Plain-data view of one process's curve columns for the layout.
struct ProcessCurves {
    int id = 0;
    std::string file;
    std::vector<formats::CurveColumn> columns;
    const std::vector<long long>* element_global = nullptr;  // null: no map
    const std::vector<long long>* node_global = nullptr;     // null: no map
    long long elements = 0;                                  // element count of the process
    long long nodes = 0;                                     // node count of the process
};

// `kinetic_additive` tells whether the processes' kinetic energies add up to
// the model's: each process counts every node it holds with the node's full
// mass, so a node shared by k processes enters the sum k times. Without it
// no engk_total and ener_total are formed (engs_total, a sum over elements,
// is always exact).
CurveLayout curve_layout(const std::vector<ProcessCurves>& procs, bool single_global,
                         bool kinetic_additive);

// Writes the CSV `file`: the header of `layout`, then one row per record
// read from every process's curve file in lockstep (the times must agree),
// with the totals, or the energy balance's record of the same time (empty
// fields and a note when there is none). Returns the times of the records. Throws formats::Error;
// a failed merge leaves no CSV. A curve file cut off at its end (a killed
// run) ends the table at the records every file holds whole, with a warning.
std::vector<double> write_curve_table(
    const fs::path& file, const std::vector<std::unique_ptr<formats::CurveReader>>& readers,
    const CurveLayout& layout, std::vector<std::string>& notes, std::vector<std::string>& warnings);

}  // namespace exporting
