// libFuzzer target: the Gmsh import (mesh::import_text) on arbitrary bytes.
// A refusal (formats::Error) is a normal outcome; a crash, a sanitizer
// report, another exception or an imported mesh whose numbers reach outside
// its nodes is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_gmsh -max_total_time=600 -dict=tests/fuzz/gmsh.dict
//       WORK-FOLDER tests/fuzz/corpus-gmsh
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/deck.hpp"
#include "mesh/gmsh.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    formats::Deck deck;
    mesh::ImportReport report;
    try {
        report = mesh::import_text(text, "mesh.msh", deck);
    } catch (const formats::Error&) { return 0; }
    const int nn = deck.nnodes();
    for (const formats::Element& e : deck.elements)
        for (int n : e.node)
            if (n < 1 || n > nn) std::abort();
    for (const auto& members : deck.components)
        for (int n : members)
            if (n < 1 || n > nn) std::abort();
    if (report.hexahedra != deck.nelements()) std::abort();
    return 0;
}
