// Reader of the solver's global energy balance "energy.dat" (written by
// process 0 when the deck has "ebal on"): a column line starting with '#'
//   #            time          kinetic         internal ... energy_error
// then one record per output time and one at the end of the run, the time
// and the energies of the whole model as E17.9 fields.
#pragma once

#include <string>
#include <vector>

#include "formats/lines.hpp"

namespace formats {

inline constexpr const char* energy_file = "energy.dat";

struct EnergyTable {
    std::vector<std::string> names;         // the column line's names, "time" first
    std::vector<std::vector<double>> rows;  // one per record, names.size() values
};

// Reads the whole file; throws formats::Error on a malformed one or on a
// value that is not a finite number.
EnergyTable read_energy(const fs::path& file);
// The same over a reader already open (a file held in memory).
EnergyTable read_energy(LineReader in);

// The column of `name` (index into names), or -1.
int energy_column(const EnergyTable& table, const std::string& name);

}  // namespace formats
