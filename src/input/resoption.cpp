#include "input/resoption.hpp"

#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

int setresoption() {
    const int k = ffi::keyword(dataout::outputname[0].data(), 8);
    if (k >= 1 && k <= 8) return k;
    ffi::errormsg();
    errorstop::stop("Result option error");
}
