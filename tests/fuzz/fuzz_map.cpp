// libFuzzer target: the map-file reader (formats::read_map_text) on arbitrary
// bytes. A refusal (formats::Error) is a normal outcome; a crash, a sanitizer
// report, another exception or an accepted map with a number outside its
// counts is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_map -max_total_time=600 -dict=tests/fuzz/map.dict
//       WORK-FOLDER tests/fuzz/corpus-map
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/map.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    formats::Map map;
    try {
        map = formats::read_map_text(std::string_view(reinterpret_cast<const char*>(data), size),
                                     "hexdyn.map");
    } catch (const formats::Error&) { return 0; }
    for (const formats::MapProcess& p : map.procs) {
        for (long long n : p.node_global)
            if (n < 1 || n > map.nodes) std::abort();
        for (long long e : p.element_global)
            if (e < 1 || e > map.elements) std::abort();
    }
    return 0;
}
