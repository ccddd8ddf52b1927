// libFuzzer target: the energy-balance reader (formats::read_energy over LineReader::from_text) on
// arbitrary bytes. A refusal (formats::Error) is a normal outcome; a crash, a
// sanitizer report, another exception or a row without a value for every
// column is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_energy -max_total_time=600
//       WORK-FOLDER tests/fuzz/corpus-energy
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "formats/energy.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    formats::EnergyTable table;
    try {
        table = formats::read_energy(formats::LineReader::from_text(
            std::string_view(reinterpret_cast<const char*>(data), size), "energy.dat"));
    } catch (const formats::Error&) { return 0; }
    for (const std::vector<double>& row : table.rows)
        if (row.size() != table.names.size()) std::abort();
    return 0;
}
