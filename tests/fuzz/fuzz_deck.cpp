// libFuzzer target: the whole input phase (reader, keyword dispatch, block
// readers) on arbitrary bytes as deck "a" of a one-process run.
//
// Build and run with AddressSanitizer and UndefinedBehaviorSanitizer:
//
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
//         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
//         -DHEXDYN_FUZZ=ON -DHEXDYN_SANITIZE=ON -DHEXDYN_TOOLS=OFF -DHEXDYN_BENCH=OFF
//   ninja -C build-fuzz hexdyn_fuzz_deck
//   mkdir -p /tmp/deck-corpus
//   build-fuzz/tests/fuzz/hexdyn_fuzz_deck -max_total_time=300 -max_len=4096 \
//         -dict=tests/fuzz/deck.dict /tmp/deck-corpus tests/fuzz/corpus
//
// A run must end by returning or by an error stop (stop_exception); anything
// else (a crash, a sanitizer report, another exception) is a finding. Set
// HEXDYN_FUZZ_VERBOSE=1 to see the solver's messages on standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

namespace {

std::string workdir;

void write_all(const char* name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
}

void cleanup() {
    process::reset();
    for (const char* n : {"a", "Comm", "asovra.rst", "aresult_anim.dat", "aresult_curv.dat"})
        ::unlink((workdir + "/" + n).c_str());
    ::rmdir(workdir.c_str());
}

// Sizes from the deck allocate arrays of that many entries (and "ncom" one
// of nb_comp times nb_particle). Decks with a count large enough to need
// gigabytes only test the allocator, and under the sanitizers a failed
// allocation aborts instead of throwing; they are skipped. Numbers beyond
// the 32-bit range still reach the reader, which rejects them.
bool has_large_count(const uint8_t* data, size_t size) {
    constexpr long long cap = 4096;
    size_t i = 0;
    while (i < size) {
        if (data[i] < '0' || data[i] > '9') {
            ++i;
            continue;
        }
        long long v = 0;
        bool beyond = false;
        for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i) {
            if (!beyond) {
                v = v * 10 + (data[i] - '0');
                if (v > 2147483647LL) beyond = true;
            }
        }
        if (!beyond && v >= cap) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/hexdyn-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    workdir = tmpl;
    if (::chdir(workdir.c_str()) != 0) std::abort();
    const uint8_t comm[] = "0\n\n";
    write_all("Comm", comm, sizeof comm - 1);
    std::atexit(cleanup);
    if (!std::getenv("HEXDYN_FUZZ_VERBOSE")) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            std::fflush(stdout);
            ::dup2(devnull, 1);
            ::close(devnull);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (has_large_count(data, size)) return -1;  // not added to the corpus
    process::reset();
    write_all("a", data, size);
    try {
        datain::inputpara();
    } catch (const errorstop::stop_exception&) {}
    std::fflush(stdout);
    return 0;
}
