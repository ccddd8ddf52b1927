// libFuzzer target: the animation-file reader (formats::AnimReader) on
// arbitrary bytes, every zone read. A refusal (formats::Error) is a normal
// outcome; a crash, a sanitizer report, another exception or a zone that
// does not match the counts it was read with is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_anim -max_total_time=600 -dict=tests/fuzz/results.dict
//       WORK-FOLDER tests/fuzz/corpus-anim
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/results.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        formats::AnimReader in(formats::LineReader::from_text(
            std::string_view(reinterpret_cast<const char*>(data), size), "aresult_anim.dat"));
        formats::AnimZone zone;
        while (in.next(zone)) {
            if (zone.xyz.size() != 3 * static_cast<size_t>(in.nodes())) std::abort();
            for (const auto& corners : in.connectivity())
                for (long long n : corners)
                    if (n < 1 || n > in.nodes()) std::abort();
        }
    } catch (const formats::Error&) {}
    return 0;
}
