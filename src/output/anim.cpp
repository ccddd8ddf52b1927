#include "output/anim.hpp"

#include <cstddef>

#include "model/model.hpp"
#include "output/curve.hpp"
#include "output/records.hpp"
#include "output/units.hpp"

void outanim(double time) {
    ffi::textout& out = ffi::unit(ffi::iow1);
    std::string& b = out.buffer();
    const bool first = dataout::nres == 0;
    if (first) {
        b += "TITLE = \"";
        b += titlefield();
        b += '"';
        out.endrecord();
        b += "VARIABLES= \"X\"   \"Y\"   \"Z\"  ";
        out.endrecord();
        out.endrecord();
    }
    dataout::nres += 1;
    b += "ZONE T=\"Time =";
    records::put_e(b, time, 12, 4);
    b += "\" F=FEPOINT N=";
    records::put_i(b, particledata::nb_particle, 5);
    b += " E=";
    records::put_i(b, elementdata::nb_element, 5);
    b += first ? " ET=BRICK C=CYAN" : " ET=BRICK C=CYAN D=(FECONNECT)";
    out.endrecord();
    const double* pos = particledata::pos.data();
    const int n = particledata::nb_particle;
    for (int k = 0; k < n; ++k) {
        const double* pk = pos + 3 * static_cast<std::ptrdiff_t>(k);
        records::put_e(b, pk[0], 12, 4);
        records::put_e(b, pk[1], 12, 4);
        records::put_e(b, pk[2], 12, 4);
        out.endrecord();
    }
    if (first) {
        for (const element& el : elementdata::element_list) {
            for (int k = 0; k < 8; ++k) records::put_i(b, el.node[k], 7);
            out.endrecord();
        }
    }
}
