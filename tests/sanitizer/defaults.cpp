// Run-time defaults of AddressSanitizer, LeakSanitizer and
// UndefinedBehaviorSanitizer, linked into every executable of a sanitizer
// build. They hold for every way the executables start: the test discovery
// that runs during the build, ctest, the solver and the tools under the MPI
// launcher, or a developer's shell. Options in ASAN_OPTIONS, LSAN_OPTIONS and
// UBSAN_OPTIONS still override them.
//
// Leaks: MPI start-up allocates blocks it keeps until the process ends. Some
// of them are made by plug-in modules that the MPI library loads and unloads
// again before exit; with the fast (frame-pointer) unwinder the stack of such
// a block ends in that unloaded module, shown as "<unknown module>", and no
// suppression by library name can match it. The slow unwinder follows the
// stack down through the MPI library that is still loaded, so the rules below
// match on every machine. Only frames inside these libraries are excused: a
// block leaked by hexdyn's own code is still reported (see leak_canary.cpp).

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0:halt_on_error=1:fast_unwind_on_malloc=0";
}

const char* __lsan_default_options() { return "fast_unwind_on_malloc=0:print_suppressions=0"; }

const char* __lsan_default_suppressions() {
    return "leak:libmpi\n"
           "leak:libhwloc\n"
           "leak:libucp\n"
           "leak:libucs\n"
           "leak:libuct\n"
           "leak:libfabric\n";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
}
