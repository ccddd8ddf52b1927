#include "input/resoption.hpp"

#include "input/ffi.hpp"
#include "input/vocabulary.hpp"
#include "model/errorstop.hpp"

int setresoption() {
    const int k = ffi::keyword(vocabulary::curves, vocabulary::ncurves);
    if (k >= 1 && k <= vocabulary::ncurves) return k;
    ffi::errormsg();
    errorstop::stop("Result option error");
}
