#include "parallel/commtable.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace commnodes {

namespace {

struct Fault {
    std::string what;
};

// Splits one line into list-directed items (blanks and commas separate).
std::vector<std::string> items_of(const std::string& line) {
    std::vector<std::string> items;
    std::string cur;
    bool have = false;
    for (char ch : line) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == ',') {
            if (have) items.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur.push_back(ch);
            have = true;
        }
    }
    if (have) items.push_back(cur);
    return items;
}

int to_int(const std::string& s, int lineno) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
        throw Fault{"line " + std::to_string(lineno) + ": \"" + s + "\" is not an integer"};
    return static_cast<int>(v);
}

void read(std::istream& in, int nprocs, CommTable& t) {
    std::string line;
    int lineno = 0;
    std::vector<std::string> items;
    while (items.empty()) {
        if (!std::getline(in, line)) throw Fault{"ends before the number of shared-node slots"};
        ++lineno;
        items = items_of(line);
    }
    t.ncomde = to_int(items[0], lineno);
    const int n = t.ncomde > 0 ? t.ncomde : 0;
    t.comnode.assign(static_cast<size_t>(nprocs) * static_cast<size_t>(n), 0);
    if (n == 0) return;
    for (int p = 1; p <= nprocs; ++p) {
        int got = 0;
        while (got < n) {
            if (!std::getline(in, line))
                throw Fault{"too short: row of process " + std::to_string(p - 1) + " has " +
                            std::to_string(got) + " of " + std::to_string(n) + " values"};
            ++lineno;
            for (const std::string& it : items_of(line)) {
                if (got == n) break;  // rest of the row's last line is ignored
                t.comnode[static_cast<size_t>(p - 1) * n + static_cast<size_t>(got)] =
                    to_int(it, lineno);
                ++got;
            }
        }
    }
}

}  // namespace

std::string readcommtable(std::istream& in, int nprocs, CommTable& table) {
    try {
        read(in, nprocs, table);
    } catch (const Fault& f) { return f.what; }
    return {};
}

std::string commtext(int ncomde, const std::vector<std::vector<int>>& rows) {
    std::string o = std::to_string(ncomde);
    o += '\n';
    for (const std::vector<int>& row : rows) {
        if (row.empty()) {
            o += '\n';
            continue;
        }
        for (size_t j = 0; j < row.size(); ++j) {
            o += std::to_string(row[j]);
            o += (j + 1 == row.size() || (j + 1) % 20 == 0) ? '\n' : ' ';
        }
    }
    return o;
}

}  // namespace commnodes
