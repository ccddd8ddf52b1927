#include "input/resoption.hpp"

#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

int setresoption() {
    const int n = static_cast<int>(dataout::outputname.size());
    const int k = ffi::keyword(dataout::outputname[0].data(), n);
    if (k >= 1 && k <= n) return k;
    ffi::errormsg();
    errorstop::stop("Result option error");
}
