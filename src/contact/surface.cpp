#include "contact/surface.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "contact/exchange.hpp"
#include "model/model.hpp"

namespace contact {

long long globalnode(int k) {
    return particledata::global.empty() ? k + 1 : particledata::global[static_cast<std::size_t>(k)];
}

long long globalelement(int e) {
    return elementdata::global.empty() ? e + 1 : elementdata::global[static_cast<std::size_t>(e)];
}

namespace {

using key = std::array<long long, 4>;

key sortedkey(const int node[4], bool global) {
    key k{};
    for (int i = 0; i < 4; ++i) k[i] = global ? globalnode(node[i]) : node[i];
    std::sort(k.begin(), k.end());
    return k;
}

// Orders the corners of face `f` so that its normal points away from the
// centre of its element.
void orient(face& f) {
    const element& el = elementdata::element_list[static_cast<std::size_t>(f.element)];
    const double* x = particledata::pos.data();
    double c[3] = {0.0, 0.0, 0.0}, m[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 8; ++i)
        for (int d = 0; d < 3; ++d) c[d] += 0.125 * x[3 * (el.node[i] - 1) + d];
    for (int i = 0; i < 4; ++i)
        for (int d = 0; d < 3; ++d) m[d] += 0.25 * x[3 * f.node[i] + d];
    const std::array<double, 3> n = diagonalcross(x, f.node);
    const double s = n[0] * (m[0] - c[0]) + n[1] * (m[1] - c[1]) + n[2] * (m[2] - c[2]);
    if (s < 0.0) std::swap(f.node[1], f.node[3]);
}

// Local nodes that another process holds too.
std::vector<char> sharednodes() {
    std::vector<char> shared(static_cast<std::size_t>(particledata::nb_particle), 0);
    for (const int k : commnodes::mycnode)
        if (k > 0) shared[static_cast<std::size_t>(k - 1)] = 1;
    for (const int k : commnodes::nbnode)
        if (k > 0) shared[static_cast<std::size_t>(k - 1)] = 1;
    return shared;
}

}  // namespace

std::vector<face> exteriorfaces() {
    const int ne = elementdata::nb_element;
    std::vector<face> all;
    all.reserve(6 * static_cast<std::size_t>(ne));
    const bool erosion = failuredata::anyeroded;
    for (int e = 0; e < ne; ++e) {
        if (erosion && failuredata::eroded[static_cast<std::size_t>(e)]) continue;
        const element& el = elementdata::element_list[static_cast<std::size_t>(e)];
        for (int s = 0; s < 6; ++s) {
            face f{};
            for (int i = 0; i < 4; ++i) f.node[i] = el.node[hexfaces[s][i]] - 1;
            f.element = e;
            f.side = s;
            all.push_back(f);
        }
    }
    // A face twice among the process's elements is between two of them.
    std::vector<std::pair<key, std::size_t>> keys(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) keys[i] = {sortedkey(all[i].node, false), i};
    std::sort(keys.begin(), keys.end());
    std::vector<face> out;
    for (std::size_t i = 0; i < keys.size();) {
        std::size_t j = i + 1;
        while (j < keys.size() && keys[j].first == keys[i].first) ++j;
        if (j == i + 1) out.push_back(all[keys[i].second]);
        i = j;
    }
    std::sort(out.begin(), out.end(), [](const face& a, const face& b) {
        return a.element != b.element ? a.element < b.element : a.side < b.side;
    });

    if (commnodes::nprocs > 1) {
        // A face whose four nodes are shared may be the boundary between
        // two processes' pieces: it is inside the body when another process
        // has it too. Its number key goes to every process whose candidates
        // lie near it.
        const std::vector<char> shared = sharednodes();
        std::vector<std::size_t> cand;
        box mine = emptybox();
        std::vector<box> fbox;
        const double* x = particledata::pos.data();
        for (std::size_t i = 0; i < out.size(); ++i) {
            bool all4 = true;
            for (const int k : out[i].node) all4 = all4 && shared[static_cast<std::size_t>(k)];
            if (!all4) continue;
            cand.push_back(i);
            box b = emptybox();
            for (const int k : out[i].node) enclose(b, x + 3 * static_cast<std::ptrdiff_t>(k));
            enclose(mine, b.lo);
            enclose(mine, b.hi);
            fbox.push_back(b);
        }
        const std::vector<box> boxes = gatherboxes(mine);
        const int np = commnodes::nprocs;
        std::vector<std::vector<double>> send(static_cast<std::size_t>(np));
        for (std::size_t c = 0; c < cand.size(); ++c) {
            const key k = sortedkey(out[cand[c]].node, true);
            for (int q = 0; q < np; ++q) {
                if (q == commnodes::myid ||
                    !overlaps(fbox[c], boxes[static_cast<std::size_t>(q)], 0.0))
                    continue;
                for (const long long g : k)
                    send[static_cast<std::size_t>(q)].push_back(static_cast<double>(g));
            }
        }
        send[static_cast<std::size_t>(commnodes::myid)].clear();
        const std::vector<std::vector<double>> got = sendlists(send);
        std::vector<key> theirs;
        for (int q = 0; q < np; ++q) {
            if (q == commnodes::myid) continue;
            const std::vector<double>& v = got[static_cast<std::size_t>(q)];
            for (std::size_t i = 0; i + 3 < v.size(); i += 4)
                theirs.push_back({static_cast<long long>(v[i]), static_cast<long long>(v[i + 1]),
                                  static_cast<long long>(v[i + 2]),
                                  static_cast<long long>(v[i + 3])});
        }
        std::sort(theirs.begin(), theirs.end());
        std::vector<char> inner(out.size(), 0);
        for (const std::size_t i : cand)
            inner[i] = static_cast<char>(
                std::binary_search(theirs.begin(), theirs.end(), sortedkey(out[i].node, true)) ? 1
                                                                                               : 0);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < out.size(); ++i)
            if (!inner[i]) out[kept++] = out[i];
        out.resize(kept);
    }
    for (face& f : out) orient(f);
    return out;
}

}  // namespace contact
