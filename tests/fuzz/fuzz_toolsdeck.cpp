// libFuzzer target: the tools' deck reader (formats::parse_deck) on arbitrary
// bytes. A refusal (formats::Error) is a normal outcome; a crash, a sanitizer
// report or another exception is a finding. A deck that is read and passes
// check_deck must also be written and read back: the writer may not produce
// text that its own reader refuses.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_toolsdeck -max_total_time=600 -dict=tests/fuzz/deck.dict
//       WORK-FOLDER tests/fuzz/corpus-toolsdeck
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/deck.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    formats::Deck deck;
    try {
        deck = formats::parse_deck(text, "deck");
        formats::check_deck(deck);
    } catch (const formats::Error&) { return 0; }
    const std::string written = formats::deck_text(deck);
    try {
        const formats::Deck again = formats::parse_deck(written, "written");
        if (again.nnodes() != deck.nnodes() || again.nelements() != deck.nelements() ||
            again.materials.size() != deck.materials.size())
            throw formats::Error("the counts differ");
    } catch (const formats::Error& e) {
        std::fprintf(stderr, "a written deck does not read back: %s\n%s\n", e.what(),
                     written.c_str());
        std::abort();
    }
    return 0;
}
