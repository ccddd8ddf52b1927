#include "parallel/commtable.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

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

std::string at(int lineno) { return "line " + std::to_string(lineno) + ": "; }

int to_int(const std::string& s, int lineno) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
        throw Fault{at(lineno) + "\"" + s + "\" is not an integer"};
    return static_cast<int>(v);
}

std::string processes(int n) { return std::to_string(n) + (n == 1 ? " process" : " processes"); }

// The table was written for another number of processes than the run has.
[[noreturn]] void wrongcount(int table, int run) {
    throw Fault{"the table is for " + processes(table) + ", but the run has " +
                std::to_string(run) + " (start it with " + processes(table) +
                ": mpiexec.mpich -n " + std::to_string(table) + ")"};
}

// Lines of the file with their numbers, skipping lines without items.
class Lines {
  public:
    explicit Lines(std::istream& in) : in_(in) {}
    // The next line that holds items; false at the end of the file.
    bool next(std::vector<std::string>& items) {
        std::string line;
        while (std::getline(in_, line)) {
            ++lineno_;
            items = items_of(line);
            if (!items.empty()) return true;
        }
        return false;
    }
    int lineno() const { return lineno_; }

  private:
    std::istream& in_;
    int lineno_ = 0;
};

void readdense(Lines& lines, std::vector<std::string>& first, int nprocs, int myid, CommPart& t) {
    t.ncomde = to_int(first[0], lines.lineno());
    if (t.ncomde < 0)
        throw Fault{at(lines.lineno()) + "slot count " + std::to_string(t.ncomde) +
                    " is negative (0 or more)"};
    const int n = t.ncomde;
    if (n == 0) return;  // no rows to read; the process count cannot be told
    // The row grows as its values are read: a count the file does not hold
    // then ends as a short table instead of an allocation of that size.
    std::vector<std::string> items;
    for (int p = 0; p < nprocs; ++p) {
        int got = 0;
        while (got < n) {
            if (!lines.next(items)) {
                if (got == 0 && p > 0) wrongcount(p, nprocs);
                throw Fault{"too short: row of process " + std::to_string(p) + " has " +
                            std::to_string(got) + " of " + std::to_string(n) + " values"};
            }
            for (const std::string& it : items) {
                if (got == n) break;  // rest of the row's last line is ignored
                const int v = to_int(it, lines.lineno());
                if (p == myid) {
                    t.row.push_back(v);
                    t.line.push_back(lines.lineno());
                }
                ++got;
            }
        }
    }
    // Values after the last row belong to processes the run does not have.
    long long left = 0;
    while (lines.next(items)) left += static_cast<long long>(items.size());
    if (left == 0) return;
    if (left % n == 0 && left / n <= INT_MAX - nprocs)
        wrongcount(nprocs + static_cast<int>(left / n), nprocs);
    throw Fault{std::to_string(left) + (left == 1 ? " value follows" : " values follow") +
                " the rows of the " + processes(nprocs) + " of the run (a row has " +
                std::to_string(n) + "): the table is for more processes than the run has"};
}

// Expects `items` to be the words and numbers of `pattern` ("process # neighbours #",
// '#' for a number); returns the numbers.
std::vector<int> record(const std::vector<std::string>& items, const std::string& pattern,
                        int lineno) {
    const std::vector<std::string> want = items_of(pattern);
    std::vector<int> values;
    bool ok = items.size() == want.size();
    for (size_t i = 0; ok && i < want.size(); ++i) {
        if (want[i] == "#")
            values.push_back(to_int(items[i], lineno));
        else
            ok = items[i] == want[i];
    }
    if (!ok) {
        std::string got;
        for (const std::string& s : items) got += (got.empty() ? "" : " ") + s;
        std::string form = pattern;
        std::replace(form.begin(), form.end(), '#', 'N');
        throw Fault{at(lineno) + "expected \"" + form + "\", found \"" + got + "\""};
    }
    return values;
}

void readsparse(Lines& lines, std::vector<std::string>& first, int nprocs, int myid, CommPart& t) {
    t.sparse = true;
    const int table = record(first, "sparse #", lines.lineno())[0];
    if (table < 1)
        throw Fault{at(lines.lineno()) + "process count " + std::to_string(table) +
                    " is outside the valid range 1.." + std::to_string(INT_MAX)};
    if (table != nprocs) wrongcount(table, nprocs);
    std::vector<std::string> items;
    // Sections before this process's own are read for their form only.
    for (int p = 0; p <= myid; ++p) {
        if (!lines.next(items))
            throw Fault{"ends before the section of process " + std::to_string(p)};
        const std::vector<int> head = record(items, "process # neighbours #", lines.lineno());
        if (head[0] != p)
            throw Fault{at(lines.lineno()) + "section of process " + std::to_string(head[0]) +
                        " where the section of process " + std::to_string(p) + " belongs"};
        if (head[1] < 0 || head[1] > nprocs - 1)
            throw Fault{at(lines.lineno()) + "neighbour count " + std::to_string(head[1]) +
                        " is outside the valid range 0.." + std::to_string(nprocs - 1)};
        const bool own = p == myid;
        Neighbours& nb = t.neighbours;
        if (own) nb.start.push_back(0);
        int previous = -1;
        for (int i = 0; i < head[1]; ++i) {
            if (!lines.next(items))
                throw Fault{"ends in the section of process " + std::to_string(p) + " after " +
                            std::to_string(i) + " of its " + std::to_string(head[1]) +
                            " neighbours"};
            const int withline = lines.lineno();
            const std::vector<int> with = record(items, "with # nodes #", withline);
            const int q = with[0], m = with[1];
            if (q < 0 || q > nprocs - 1 || q == p)
                throw Fault{at(withline) + "neighbour " + std::to_string(q) +
                            " is outside the valid range 0.." + std::to_string(nprocs - 1) +
                            (q == p ? " without the process itself" : "")};
            if (q <= previous)
                throw Fault{at(withline) + "neighbour " + std::to_string(q) + " after neighbour " +
                            std::to_string(previous) +
                            " (neighbours go in increasing process number)"};
            previous = q;
            if (m < 1)
                throw Fault{at(withline) + "node count " + std::to_string(m) +
                            " is outside the valid range 1.." + std::to_string(INT_MAX)};
            const size_t first_entry = nb.node.size();
            int got = 0;
            while (got < m) {
                if (!lines.next(items))
                    throw Fault{"ends in the list of process " + std::to_string(p) +
                                " for neighbour " + std::to_string(q) + " after " +
                                std::to_string(got) + " of " + std::to_string(m) + " nodes"};
                if (items.size() > static_cast<size_t>(m - got))
                    throw Fault{at(lines.lineno()) + std::to_string(items.size()) +
                                " values where the list of process " + std::to_string(p) +
                                " for neighbour " + std::to_string(q) + " has " +
                                std::to_string(m - got) + " left"};
                for (const std::string& it : items) {
                    const int k = to_int(it, lines.lineno());
                    if (k < 1)
                        throw Fault{at(lines.lineno()) + "node " + std::to_string(k) +
                                    " is outside the valid range 1.." + std::to_string(INT_MAX)};
                    if (own) {
                        nb.node.push_back(k);
                        t.line.push_back(lines.lineno());
                    }
                    ++got;
                }
            }
            if (!own) continue;
            // A node twice in one list would add that neighbour's share twice.
            std::vector<std::pair<int, size_t>> sorted;
            for (size_t e = first_entry; e < nb.node.size(); ++e)
                sorted.emplace_back(nb.node[e], e);
            std::sort(sorted.begin(), sorted.end());
            for (size_t e = 1; e < sorted.size(); ++e)
                if (sorted[e].first == sorted[e - 1].first)
                    throw Fault{at(t.line[std::max(sorted[e].second, sorted[e - 1].second)]) +
                                "node " + std::to_string(sorted[e].first) +
                                " appears twice in the list of process " + std::to_string(p) +
                                " for neighbour " + std::to_string(q)};
            nb.proc.push_back(q);
            nb.start.push_back(static_cast<int>(nb.node.size()));
        }
    }
}

void read(std::istream& in, int nprocs, int myid, CommPart& t) {
    Lines lines(in);
    std::vector<std::string> first;
    if (!lines.next(first)) throw Fault{"ends before the number of shared-node slots"};
    if (first[0] == "sparse")
        readsparse(lines, first, nprocs, myid, t);
    else
        readdense(lines, first, nprocs, myid, t);
}

void putnumbers(std::string& o, const std::vector<int>& v, size_t from, size_t to) {
    for (size_t j = from; j < to; ++j) {
        o += std::to_string(v[j]);
        o += (j + 1 == to || (j + 1 - from) % 20 == 0) ? '\n' : ' ';
    }
}

}  // namespace

std::string readcommpart(std::istream& in, int nprocs, int myid, CommPart& part) {
    part = CommPart{};
    try {
        read(in, nprocs, myid, part);
    } catch (const Fault& f) { return f.what; }
    return {};
}

std::string commrowtext(const std::vector<int>& row) {
    if (row.empty()) return "\n";
    std::string o;
    putnumbers(o, row, 0, row.size());
    return o;
}

std::string commtext(int ncomde, const std::vector<std::vector<int>>& rows) {
    std::string o = std::to_string(ncomde);
    o += '\n';
    for (const std::vector<int>& row : rows) o += commrowtext(row);
    return o;
}

std::string sparseheadtext(int nprocs) { return "sparse " + std::to_string(nprocs) + "\n"; }

std::string sparsesectiontext(int process, const Neighbours& n) {
    std::string o = "process " + std::to_string(process) + " neighbours " +
                    std::to_string(n.proc.size()) + "\n";
    for (size_t i = 0; i < n.proc.size(); ++i) {
        const size_t from = static_cast<size_t>(n.start[i]),
                     to = static_cast<size_t>(n.start[i + 1]);
        o += "with " + std::to_string(n.proc[i]) + " nodes " + std::to_string(to - from) + "\n";
        putnumbers(o, n.node, from, to);
    }
    return o;
}

}  // namespace commnodes
