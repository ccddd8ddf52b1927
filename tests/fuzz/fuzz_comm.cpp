// libFuzzer target: the reader of "Comm", the table of shared nodes
// (commnodes::readcommpart), on arbitrary bytes, as read by every process of
// runs of one, two and three processes. A fault it reports is a normal
// outcome; a crash, a sanitizer report, an exception or a table accepted with
// parts that do not fit together is a finding.
//
//   build-fuzz/tests/fuzz/hexdyn_fuzz_comm -max_total_time=600 -dict=tests/fuzz/comm.dict
//       WORK-FOLDER tests/fuzz/corpus-comm
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "parallel/commtable.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int nprocs = 1; nprocs <= 3; ++nprocs) {
        for (int myid = 0; myid < nprocs; ++myid) {
            std::istringstream in(text);
            commnodes::CommPart part;
            if (!commnodes::readcommpart(in, nprocs, myid, part).empty()) continue;
            if (!part.sparse) {
                check(part.ncomde >= 0);
                check(part.row.size() == static_cast<size_t>(part.ncomde));
                check(part.line.size() == part.row.size());
                continue;
            }
            const commnodes::Neighbours& nb = part.neighbours;
            check(nb.start.size() == nb.proc.size() + 1);
            check(nb.start.front() == 0);
            check(nb.start.back() == static_cast<int>(nb.node.size()));
            check(part.line.size() == nb.node.size());
            for (size_t i = 0; i < nb.proc.size(); ++i) {
                check(nb.proc[i] >= 0 && nb.proc[i] < nprocs && nb.proc[i] != myid);
                check(i == 0 || nb.proc[i] > nb.proc[i - 1]);
                check(nb.start[i] < nb.start[i + 1]);
            }
            for (int k : nb.node) check(k >= 1);
        }
    }
    return 0;
}
