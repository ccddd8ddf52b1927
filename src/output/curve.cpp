#include "output/curve.hpp"

#include "model/errorstop.hpp"
#include "output/records.hpp"
#include "output/units.hpp"

std::string titlefield() {
    std::string t(simulation::title.data(), 60);
    for (char& ch : t)
        if (ch == '\0') ch = ' ';
    return t;
}

void putvariable(std::string& out, int option, const element& el, const history& h) {
    switch (option) {
        case 1: records::put_d(out, h.seqv, 15, 6); break;
        case 2: records::put_d(out, h.epeff, 15, 6); break;
        case 3: records::put_i(out, el.mat, 3); break;
        case 4: records::put_d(out, h.sm, 15, 6); break;
        case 5: records::put_d(out, h.vol0, 15, 6); break;
        case 6: records::put_d(out, simulation::engkinetic, 15, 6); break;
        case 7: records::put_d(out, simulation::engstrain, 15, 6); break;
        case 8: records::put_d(out, simulation::engstrain + simulation::engkinetic, 15, 6); break;
        case 9: records::put_d(out, h.temp, 15, 6); break;
        default: errorstop::stop("***Error*** Invalid output variable !");
    }
}

static bool elementvariable(int option) { return (option >= 1 && option <= 5) || option == 9; }

void checkcurves() {
    for (int i = 0; i < dataout::ncurves; ++i) {
        const int opt = dataout::curveoption[static_cast<size_t>(i)];
        const int e = dataout::curvepoint[static_cast<size_t>(i)];
        if (elementvariable(opt) && (e < 1 || e > elementdata::nb_element)) {
            errorstop::writeline(records::listed("input file error, line",
                                                 dataout::curveline[static_cast<size_t>(i)]));
            errorstop::stop("*** Error *** curve " + std::to_string(i + 1) + " names element " +
                            std::to_string(e) + ", outside 1.." +
                            std::to_string(elementdata::nb_element));
        }
    }
}

void outcurve(double time) {
    ffi::textout& out = ffi::unit(ffi::iow2);
    std::string& b = out.buffer();
    if (dataout::npts == 0) {
        b += "TITLE = \"";
        b += titlefield();
        b += '"';
        out.endrecord();
        b += "VARIABLES= \"Time\"";
        for (int i = 0; i < dataout::ncurves; ++i) {
            b += " \"";
            const auto& nm = dataout::outputname[static_cast<size_t>(
                dataout::curveoption[static_cast<size_t>(i)] - 1)];
            b.append(nm.data(), 4);
            b += " at";
            records::put_i(b, dataout::curvepoint[static_cast<size_t>(i)], 6);
            b += '"';
        }
        out.endrecord();
        out.endrecord();
    }
    dataout::npts += 1;
    records::put_d(b, time, 15, 6);
    static const element noelement{};
    static const history nohistory{};
    for (int i = 0; i < dataout::ncurves; ++i) {
        const int opt = dataout::curveoption[static_cast<size_t>(i)];
        const int e = dataout::curvepoint[static_cast<size_t>(i)];
        const element* el = &noelement;
        const history* h = &nohistory;
        if (elementvariable(opt)) {
            el = &elementdata::element_list[static_cast<size_t>(e - 1)];
            h = &materialdata::history_list[static_cast<size_t>(el->nhistory - 1)];
        }
        putvariable(b, opt, *el, *h);
    }
    out.endrecord();
}
