// libFuzzer target: the curve-file reader (formats::CurveReader) on arbitrary
// bytes, every record read. A refusal (formats::Error) is a normal outcome; a
// crash, a sanitizer report, another exception or a record without a value
// for every column is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_curve -max_total_time=600 -dict=tests/fuzz/results.dict
//       WORK-FOLDER tests/fuzz/corpus-curve
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "formats/results.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        formats::CurveReader in(formats::LineReader::from_text(
            std::string_view(reinterpret_cast<const char*>(data), size), "aresult_curv.dat"));
        double time = 0.0;
        std::vector<double> values;
        while (in.next(time, values))
            if (values.size() != in.columns().size()) std::abort();
    } catch (const formats::Error&) {}
    return 0;
}
