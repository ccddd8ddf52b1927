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

// Side s of local element e, its corners in the element's order.
face elementface(int e, int s) {
    const element& el = elementdata::element_list[static_cast<std::size_t>(e)];
    face f{};
    for (int i = 0; i < 4; ++i) f.node[i] = el.node[hexfaces[s][i]] - 1;
    f.element = e;
    f.side = s;
    return f;
}

}  // namespace

void localexterior::update() {
    const std::size_t ne = static_cast<std::size_t>(elementdata::nb_element);
    const bool erosion = failuredata::anyeroded && failuredata::eroded.size() == ne;
    if (group.size() != 6 * ne) {
        // A face twice among the process's elements is between two of them.
        std::vector<std::pair<key, std::size_t>> keys(6 * ne);
        for (std::size_t i = 0; i < keys.size(); ++i)
            keys[i] = {sortedkey(elementface(static_cast<int>(i / 6), static_cast<int>(i % 6)).node,
                                 false),
                       i};
        std::sort(keys.begin(), keys.end());
        group.assign(6 * ne, 0);
        alive.clear();
        for (std::size_t i = 0; i < keys.size();) {
            std::size_t j = i;
            for (; j < keys.size() && keys[j].first == keys[i].first; ++j)
                group[keys[j].second] = static_cast<int>(alive.size());
            alive.push_back(static_cast<int>(j - i));
            i = j;
        }
        gone.assign(ne, 0);
    }
    if (!erosion) return;
    for (std::size_t e = 0; e < ne; ++e) {
        if (gone[e] || !failuredata::eroded[e]) continue;
        gone[e] = 1;
        for (std::size_t s = 0; s < 6; ++s) alive[static_cast<std::size_t>(group[6 * e + s])] -= 1;
    }
}

std::vector<face> localexterior::faces() const {
    std::vector<face> out;
    for (std::size_t i = 0; i < group.size(); ++i)
        if (!gone[i / 6] && alive[static_cast<std::size_t>(group[i])] == 1)
            out.push_back(elementface(static_cast<int>(i / 6), static_cast<int>(i % 6)));
    return out;
}

std::vector<face> exteriorfaces(localexterior& known) {
    known.update();
    std::vector<face> out = known.faces();

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
        // A face sent to q lies in this process's box.
        std::vector<char> partner(static_cast<std::size_t>(np), 0);
        for (int q = 0; q < np; ++q)
            partner[static_cast<std::size_t>(q)] = static_cast<char>(
                q != commnodes::myid && overlaps(mine, boxes[static_cast<std::size_t>(q)], 0.0));
        const std::vector<std::vector<double>> got = sendpartners(send, partner);
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
