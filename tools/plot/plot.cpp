#include "plot/plot.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "formats/deck.hpp"
#include "formats/map.hpp"

extern char** environ;

namespace plot {

using formats::CurveColumn;
using formats::Error;
using formats::trim;

namespace {

std::vector<std::string_view> split_csv(std::string_view line) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t c = line.find(',', start);
        out.push_back(trim(
            line.substr(start, c == std::string_view::npos ? std::string_view::npos : c - start)));
        if (c == std::string_view::npos) break;
        start = c + 1;
    }
    return out;
}

std::string unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

// The numbering a process's curve file names its points in, and how to
// name them as the deck does. With the partition map beside the file the
// process's numbers become the deck's; a file of the only process (no map,
// no second curve file) already has the deck's numbers; otherwise the names
// keep the process's own numbers with the process in front, "p1:dz@n3",
// as hexdyn-export names them.
struct Numbering {
    const formats::MapProcess* map = nullptr;
    bool deck_numbers = false;
    int process = 0;
    formats::Map loaded;
};

void find_numbering(const fs::path& file, Numbering& n) {
    const std::string base = file.filename().string();
    const std::string suffix = "result_curv.dat";
    if (base.size() <= suffix.size() ||
        base.compare(base.size() - suffix.size(), suffix.size(), suffix) != 0)
        return;
    const std::string deck = base.substr(0, base.size() - suffix.size());
    for (int id = 0; id < 1000; ++id)
        if (formats::deck_name(id) == deck) {
            n.process = id;
            break;
        }
    std::error_code ec;
    const fs::path map = file.parent_path() / "hexdyn.map";
    if (fs::is_regular_file(map, ec)) {
        n.loaded = formats::read_map(map);
        for (const formats::MapProcess& mp : n.loaded.procs)
            if (mp.deck == deck) {
                n.map = &mp;
                n.process = mp.id;
            }
        if (n.map) return;
    }
    n.deck_numbers =
        n.process == 0 && !fs::exists(file.parent_path() / (formats::deck_name(1) + suffix), ec);
}

std::string point_name(const CurveColumn& c, const Numbering& n) {
    std::string local = "p";
    local += std::to_string(n.process);
    local += ':';
    local += c.variable;
    // A total of the process (engk, cnor, ...) is the model's only in a run
    // of one process.
    if (c.energy)
        return n.deck_numbers || (n.map && n.loaded.procs.size() == 1) ? c.variable : local;
    if (c.element < 0) return local + "@?";
    if (n.map) {
        const std::vector<long long>& global = c.node ? n.map->node_global : n.map->element_global;
        if (c.element >= 1 && c.element <= static_cast<long long>(global.size()))
            return c.variable + (c.node ? "@node" : "@elem") +
                   std::to_string(global[static_cast<size_t>(c.element - 1)]);
    } else if (n.deck_numbers) {
        return c.variable + (c.node ? "@node" : "@elem") + std::to_string(c.element);
    }
    return local + (c.node ? "@n" : "@") + std::to_string(c.element);
}

PlotTable read_curve_table(const fs::path& file) {
    formats::CurveReader r(file);
    PlotTable t;
    t.title = r.title();
    // The title record repeats the deck's title line, keyword and all.
    if (t.title.rfind("sovr ", 0) == 0) t.title.erase(0, 5);
    t.names.push_back("time");
    Numbering numbering;
    find_numbering(file, numbering);
    std::map<std::string, int> used;
    for (const CurveColumn& c : r.columns()) {
        std::string name = point_name(c, numbering);
        const int n = ++used[name];
        if (n > 1) {
            name += '#';
            name += std::to_string(n);
        }
        t.names.push_back(name);
    }
    double time = 0.0;
    std::vector<double> values;
    while (r.next(time, values)) {
        std::vector<double> row;
        row.reserve(values.size() + 1);
        row.push_back(time);
        row.insert(row.end(), values.begin(), values.end());
        t.rows.push_back(std::move(row));
    }
    if (r.cut_record())
        t.warnings.push_back(r.name() + ":" + std::to_string(r.line_number()) +
                             ": the file ends inside record " + std::to_string(r.cut_record()) +
                             " (cut off while it was written?): records 1.." +
                             std::to_string(r.cut_record() - 1) + " are plotted");
    return t;
}

PlotTable read_csv_table(const fs::path& file) {
    formats::LineReader in(file);
    PlotTable t;
    std::string_view line;
    if (!in.next(line)) throw Error(in.name() + ": the file is empty");
    for (std::string_view f : split_csv(line)) t.names.push_back(unquote(f));
    if (t.names.size() < 2) throw Error(in.where() + "the header names fewer than two columns");
    for (const std::string& n : t.names)
        if (n.empty()) throw Error(in.where() + "the header has an empty column name");
    while (in.next(line)) {
        if (trim(line).empty()) continue;
        const std::vector<std::string_view> f = split_csv(line);
        if (f.size() != t.names.size())
            throw Error(in.where() + "record of " + std::to_string(f.size()) +
                        " fields, the header names " + std::to_string(t.names.size()));
        std::vector<double> row(f.size());
        for (size_t c = 0; c < f.size(); ++c) {
            if (f[c].empty()) {
                if (c == 0) throw Error(in.where() + "a record without a time");
                row[c] = std::numeric_limits<double>::quiet_NaN();
            } else if (!formats::real_field(f[c], row[c])) {
                throw Error(in.where() + "field " + std::to_string(c + 1) + " (\"" +
                            std::string(f[c]) + "\") is not a number");
            }
        }
        if (!std::isfinite(row[0])) throw Error(in.where() + "the time is not a finite number");
        t.rows.push_back(std::move(row));
    }
    return t;
}

}  // namespace

std::string gnuplot_quote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'') r += '\'';
        if (c == '\n' || c == '\r') c = ' ';
        r += c;
    }
    r += '\'';
    return r;
}

namespace {

// Column name of an energy of the balance: the three that the curve files
// also carry take the names of their totals, so that they share a panel.
std::string energy_name(const std::string& n) {
    return n == "kinetic"    ? "engk_total"
           : n == "internal" ? "engs_total"
           : n == "total"    ? "ener_total"
                             : n;
}

PlotTable read_energy_table(const fs::path& file) {
    const formats::EnergyTable e = formats::read_energy(file);
    PlotTable t;
    // forces.dat ("reac") has the same layout: time, then its columns.
    t.title = file.filename() == "forces.dat" ? "constraint forces" : "energy balance";
    for (const std::string& n : e.names) t.names.push_back(energy_name(n));
    t.rows = e.rows;
    return t;
}

}  // namespace

void use_energy_balance(PlotTable& t, const formats::EnergyTable& e) {
    // The curve file's own energies are those of one process only.
    std::vector<size_t> keep;
    for (size_t c = 0; c < t.names.size(); ++c) {
        const std::string v = variable_of(t.names[c]);
        if (c == 0 || (v != "engk" && v != "engs" && v != "ener")) keep.push_back(c);
    }
    PlotTable r;
    r.title = t.title;
    for (size_t c : keep) r.names.push_back(t.names[c]);
    for (size_t c = 1; c < e.names.size(); ++c) r.names.push_back(energy_name(e.names[c]));
    // Record by record: the balance has one at every output time (and one
    // more at the end); a record of another time leaves its values empty.
    for (size_t i = 0; i < t.rows.size(); ++i) {
        std::vector<double> row;
        for (size_t c : keep) row.push_back(t.rows[i][c]);
        const double time = t.rows[i][0];
        const bool match =
            i < e.rows.size() && std::fabs(e.rows[i][0] - time) <=
                                     1e-5 * std::max(std::fabs(time), std::fabs(e.rows[i][0]));
        for (size_t c = 1; c < e.names.size(); ++c)
            row.push_back(match ? e.rows[i][c] : std::numeric_limits<double>::quiet_NaN());
        r.rows.push_back(std::move(row));
    }
    t = std::move(r);
}

namespace {

// A point a column names: the process whose own numbers it uses (-1 for the
// deck's numbers), node or element, and its number.
using PointKey = std::tuple<int, bool, long long>;

bool parse_point(const std::string& column, PointKey& key) {
    std::string_view s = column;
    int process = -1;
    const size_t colon = s.find(':');
    if (colon != std::string_view::npos) {
        if (colon < 2 || s[0] != 'p' ||
            std::from_chars(s.data() + 1, s.data() + colon, process).ptr != s.data() + colon)
            return false;
        s.remove_prefix(colon + 1);
    }
    const size_t hash = s.rfind('#');
    if (hash != std::string_view::npos) s = s.substr(0, hash);
    const size_t at = s.find('@');
    if (at == std::string_view::npos) return false;
    s.remove_prefix(at + 1);
    bool node = false;
    if (process < 0) {
        if (s.substr(0, 4) != "node" && s.substr(0, 4) != "elem") return false;
        node = s[0] == 'n';
        s.remove_prefix(4);
    } else if (!s.empty() && s[0] == 'n') {
        node = true;
        s.remove_prefix(1);
    }
    long long number = 0;
    if (s.empty() ||
        std::from_chars(s.data(), s.data() + s.size(), number).ptr != s.data() + s.size() ||
        number < 1)
        return false;
    key = {process, node, number};
    return true;
}

// Adds the material sets of the wanted points of one deck. `node_number`
// and `element_number` turn the deck's own numbers into those of the keys
// (empty: the same numbers); `process` is the keys' process.
void collect_sets(const formats::Deck& deck, int process, const std::vector<long long>& node_number,
                  const std::vector<long long>& element_number,
                  std::map<PointKey, std::set<int>>& wanted) {
    const auto number = [](const std::vector<long long>& to, int own) {
        return to.empty() ? static_cast<long long>(own) : to[static_cast<size_t>(own - 1)];
    };
    for (int e = 1; e <= deck.nelements(); ++e) {
        const formats::Element& el = deck.elements[static_cast<size_t>(e - 1)];
        const auto it = wanted.find({process, false, number(element_number, e)});
        if (it != wanted.end()) it->second.insert(el.mat);
        for (int n : el.node) {
            if (n < 1 || n > deck.nnodes()) continue;
            const auto jt = wanted.find({process, true, number(node_number, n)});
            if (jt != wanted.end()) jt->second.insert(el.mat);
        }
    }
}

std::string sets_text(const std::set<int>& sets) {
    std::string s = sets.size() == 1 ? "material set " : "material sets ";
    size_t i = 0;
    for (int m : sets) {
        if (i) s += i + 1 == sets.size() ? " and " : ", ";
        s += std::to_string(m);
        ++i;
    }
    return s;
}

}  // namespace

void name_bodies(PlotTable& t, const fs::path& dir, const std::string& lone_deck) {
    t.bodies.assign(t.names.size(), std::string());
    std::map<PointKey, std::set<int>> wanted;
    std::vector<std::pair<size_t, PointKey>> points;
    for (size_t c = 1; c < t.names.size(); ++c) {
        PointKey k;
        if (!parse_point(t.names[c], k)) continue;
        wanted[k];
        points.emplace_back(c, k);
    }
    if (points.empty()) return;
    std::set<int> processes;  // of the processes' own numbers
    bool global = false;
    for (const auto& [c, k] : points) {
        if (std::get<0>(k) < 0)
            global = true;
        else
            processes.insert(std::get<0>(k));
    }
    // The names are a help to the reader: a missing or unreadable deck or
    // map leaves them out rather than stopping the plot.
    std::error_code ec;
    const auto deck_at = [&](const std::string& name, formats::Deck& d) {
        const fs::path p = dir / name;
        if (name.empty() || !fs::is_regular_file(p, ec)) return false;
        try {
            d = formats::read_deck(p.string());
        } catch (const std::exception&) { return false; }
        return true;
    };
    if (global) {
        const fs::path mapfile = dir / "hexdyn.map";
        formats::Map map;
        bool have_map = false;
        if (fs::is_regular_file(mapfile, ec)) {
            try {
                map = formats::read_map(mapfile);
                have_map = true;
            } catch (const std::exception&) {}
        }
        formats::Deck d;
        if (have_map) {
            for (const formats::MapProcess& mp : map.procs)
                if (deck_at(mp.deck, d) && d.nnodes() == static_cast<int>(mp.node_global.size()) &&
                    d.nelements() == static_cast<int>(mp.element_global.size()))
                    collect_sets(d, -1, mp.node_global, mp.element_global, wanted);
        } else if (deck_at(lone_deck, d)) {
            collect_sets(d, -1, {}, {}, wanted);
        }
    }
    for (int p : processes) {
        formats::Deck d;
        if (deck_at(formats::deck_name(p), d)) collect_sets(d, p, {}, {}, wanted);
    }
    for (const auto& [c, k] : points) {
        const std::set<int>& sets = wanted[k];
        if (!sets.empty()) t.bodies[c] = sets_text(sets);
    }
}

PlotTable read_plot_table(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw Error("input file " + file.string() + " does not exist");
    std::string first;
    {
        std::ifstream in(file, std::ios::binary);
        std::getline(in, first);
    }
    PlotTable t;
    if (first.rfind("TITLE", 0) == 0) {
        t = read_curve_table(file);
        const fs::path energy = file.parent_path() / formats::energy_file;
        if (fs::is_regular_file(energy, ec)) use_energy_balance(t, formats::read_energy(energy));
    } else if (first.rfind('#', 0) == 0) {
        t = read_energy_table(file);
    } else {
        t = read_csv_table(file);
    }
    if (t.rows.empty()) throw Error(file.string() + ": no records to plot");
    // A curve file of one process without a map is read beside its own deck.
    std::string lone = formats::deck_name(0);
    const std::string base = file.filename().string(), suffix = "result_curv.dat";
    if (base.size() > suffix.size() &&
        base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0)
        lone = base.substr(0, base.size() - suffix.size());
    name_bodies(t, file.parent_path(), lone);
    return t;
}

std::string variable_of(const std::string& column) {
    std::string v = column;
    const size_t colon = v.find(':');
    if (colon != std::string::npos) v = v.substr(colon + 1);
    const size_t at = v.find('@');
    if (at != std::string::npos) v = v.substr(0, at);
    const size_t hash = v.find('#');
    if (hash != std::string::npos) v = v.substr(0, hash);
    const std::string total = "_total";
    if (v.size() > total.size() && v.compare(v.size() - total.size(), total.size(), total) == 0)
        v.resize(v.size() - total.size());
    return v.empty() ? column : v;
}

std::string find_gnuplot() {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string_view p(path);
    size_t start = 0;
    for (;;) {
        const size_t c = p.find(':', start);
        std::string dir(
            p.substr(start, c == std::string_view::npos ? std::string_view::npos : c - start));
        if (dir.empty()) dir.push_back('.');
        std::string cand = dir;
        cand += "/gnuplot";
        struct stat st {};
        if (::stat(cand.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(cand.c_str(), X_OK) == 0)
            return cand;
        if (c == std::string_view::npos) break;
        start = c + 1;
    }
    return {};
}

void run_gnuplot(const std::string& gnuplot, const fs::path& script, const fs::path& log) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::string arg0 = "gnuplot";
    std::string arg1 = script.string();
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, gnuplot.c_str(), &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) throw Error("cannot start " + gnuplot + ": " + std::strerror(rc));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw Error("waiting for gnuplot failed: " + std::string(std::strerror(errno)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream in(log);
        std::ostringstream msg;
        msg << in.rdbuf();
        std::string text = msg.str();
        if (text.size() > 4000) text = text.substr(0, 4000) + "...";
        throw Error("gnuplot failed (" +
                    (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                       : std::string("killed by a signal")) +
                    ")" + (text.empty() ? std::string() : ":\n" + text));
    }
}

}  // namespace plot
