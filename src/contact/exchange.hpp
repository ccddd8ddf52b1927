// Messages of the contact between processes: every process's box, and
// variable-length lists sent to chosen processes only.
#pragma once

#include <cstddef>
#include <vector>

namespace contact {

// An axis-aligned box: lo x, y, z then hi x, y, z. An empty box has lo > hi.
struct box {
    double lo[3], hi[3];
};
box emptybox();
void enclose(box& b, const double x[3]);
// The two boxes overlap once each is widened by `pad` on every side.
bool overlaps(const box& a, const box& b, double pad);

// The boxes of all processes, in process order (collective).
std::vector<box> gatherboxes(const box& mine);

// Sends out[q] to every partner q and returns, per process, what each
// partner sent here, empty lists included: one message each way between
// partners and none between others, the lengths learnt from the messages.
// `partner` must be symmetric (q is a partner of p when p is of q), as two
// processes find it from the same pair of gathered boxes.
std::vector<std::vector<double>> sendpartners(const std::vector<std::vector<double>>& out,
                                              const std::vector<char>& partner);

// The same when each process already knows how much every other sends it
// (`incount` per process): point-to-point messages between partners only.
std::vector<std::vector<double>> sendknown(const std::vector<std::vector<double>>& out,
                                           const std::vector<std::size_t>& incount);

// The largest value over the processes (collective).
double globalmax(double v);
double globalmin(double v);

}  // namespace contact
