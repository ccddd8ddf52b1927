#include "material/constitution.hpp"

#include "model/errorstop.hpp"
#include "output/records.hpp"

namespace materialdata {

void invalidmaterial(int mtype) {
    std::string line = " *** Stop *** material type ";
    records::put_i(line, mtype, 2);
    line += " has not been implemented !";
    errorstop::writeline(line);
    errorstop::stop();
}

void inithistory() {
    lenhistorylist = 0;
    for (history& h : history_list) {
        h.sig_y = 0.0;
        h.sm = 0.0;
        for (double& s : h.sd) s = 0.0;
        h.epeff = 0.0;
        h.eint = 0.0;
        h.q = 0.0;
        h.temp = 0.0;
    }
}

}  // namespace materialdata
