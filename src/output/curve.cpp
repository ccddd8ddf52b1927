#include "output/curve.hpp"

#include "model/curvevariables.hpp"
#include "model/errorstop.hpp"
#include "output/records.hpp"
#include "output/units.hpp"

std::string titlefield() {
    std::string t(simulation::title.data(), 60);
    for (char& ch : t)
        if (ch == '\0') ch = ' ';
    return t;
}

// The variable of curve i; stops on an option outside the table.
static const curvevariables::variable& variableof(int i) {
    const int opt = dataout::curveoption[static_cast<size_t>(i)];
    if (opt < 1 || opt > curvevariables::count)
        errorstop::stop("***Error*** Invalid output variable !");
    return curvevariables::of(opt);
}

static const element& elementof(int e) {
    return elementdata::element_list[static_cast<size_t>(e - 1)];
}

double curvevalue(int i) {
    using curvevariables::source;
    const curvevariables::variable& v = variableof(i);
    const int p = dataout::curvepoint[static_cast<size_t>(i)];
    const size_t component = 3 * static_cast<size_t>(p - 1) + static_cast<size_t>(v.axis);
    switch (v.from) {
        case source::history:
            return materialdata::history_list[static_cast<size_t>(elementof(p).nhistory - 1)].*
                   v.field;
        case source::material: return elementof(p).mat;
        case source::damage:
            return failuredata::damage.empty() ? 0.0
                                               : failuredata::damage[static_cast<size_t>(p - 1)];
        case source::kinetic: return simulation::engkinetic;
        case source::strain: return simulation::engstrain;
        case source::total: return simulation::engstrain + simulation::engkinetic;
        case source::displacement:
            return particledata::pos[component] - dataout::curveorigin[static_cast<size_t>(i)];
        case source::velocity: return particledata::vel[component];
        case source::contactnormal: return simulation::contactnormal;
        case source::contactfriction: return simulation::contactfriction;
    }
    return 0.0;
}

void putvariable(std::string& out, int i) {
    if (variableof(i).from == curvevariables::source::material)
        records::put_i(out, elementof(dataout::curvepoint[static_cast<size_t>(i)]).mat, 3);
    else
        records::put_d(out, curvevalue(i), 15, 6);
}

void checkcurves() {
    for (int i = 0; i < dataout::ncurves; ++i) {
        const size_t c = static_cast<size_t>(i);
        const int p = dataout::curvepoint[c];
        const std::string fault = curvevariables::rangefault(
            dataout::curveoption[c], p, elementdata::nb_element, particledata::nb_particle);
        if (!fault.empty()) {
            errorstop::writeline(records::listed("input file error, line", dataout::curveline[c]));
            errorstop::stop("*** Error *** curve " + std::to_string(i + 1) + " " + fault);
        }
        const curvevariables::variable& v = curvevariables::of(dataout::curveoption[c]);
        if (v.from == curvevariables::source::displacement)
            dataout::curveorigin[c] =
                particledata::pos[3 * static_cast<size_t>(p - 1) + static_cast<size_t>(v.axis)];
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
            variableof(i);
            const size_t k = static_cast<size_t>(dataout::curveoption[static_cast<size_t>(i)] - 1);
            b.append(curvevariables::words.data() + 4 * k, 4);
            b += " at";
            records::put_i(b, dataout::curvepoint[static_cast<size_t>(i)], 6);
            b += '"';
        }
        out.endrecord();
        out.endrecord();
    }
    dataout::npts += 1;
    records::put_d(b, time, 15, 6);
    for (int i = 0; i < dataout::ncurves; ++i) putvariable(b, i);
    out.endrecord();
}
