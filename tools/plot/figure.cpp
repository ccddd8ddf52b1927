#include "plot/figure.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>

#include "formats/error.hpp"

namespace plot {

using formats::Error;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// clang-format off
constexpr std::array<Quantity, 28> kQuantities{{
    {"seqv", "von Mises stress", "Pa"},
    {"epef", "effective plastic strain", ""},
    {"mat", "material set", ""},
    {"sm", "mean stress (tension +)", "Pa"},
    {"vol", "initial volume", "m^3"},
    {"engk", "kinetic energy", "J"},
    {"engs", "internal energy", "J"},
    {"ener", "total energy", "J"},
    {"temp", "temperature", "K"},
    {"dx", "displacement x", "m"},
    {"dy", "displacement y", "m"},
    {"dz", "displacement z", "m"},
    {"vx", "velocity x", "m/s"},
    {"vy", "velocity y", "m/s"},
    {"vz", "velocity z", "m/s"},
    {"eint", "specific internal energy", "J/kg"},
    {"cnor", "contact force", "N"},
    {"cfri", "contact force", "N"},
    {"dmg", "damage", ""},
    // The columns of the energy balance (energy.dat).
    {"hourglass", "hourglass energy", "J"},
    {"contact", "contact energy", "J"},
    {"eroded", "energy of eroded elements", "J"},
    {"external_work", "work of the loads", "J"},
    {"plane_work", "energy taken by constraints", "J"},
    {"energy_error", "energy error", "%"},
    {"kinetic", "kinetic energy", "J"},
    {"internal", "internal energy", "J"},
    {"total", "total energy", "J"},
}};
// clang-format on

// Legend of a column of the energy panel.
const char* energy_title(std::string_view v) {
    return v == "engk"            ? "kinetic"
           : v == "engs"          ? "internal"
           : v == "ener"          ? "total"
           : v == "hourglass"     ? "hourglass"
           : v == "contact"       ? "contact"
           : v == "eroded"        ? "eroded elements"
           : v == "external_work" ? "work of the loads"
           : v == "plane_work"    ? "taken by constraints"
                                  : nullptr;
}

bool is_energy(std::string_view v) { return energy_title(v) != nullptr; }
bool is_contact(std::string_view v) { return v == "cnor" || v == "cfri"; }

// What a column name tells: "p1:dz@n3#2" is process 1, variable dz, local
// node 3, second column of that name.
struct ColumnName {
    int process = -1;
    std::string variable;
    std::string where;  // legend text of the point: "node 841", "element 5 of process 1"
    int copy = 1;
    bool total = false;  // "<variable>_total"
};

bool digits_only(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ColumnName parse_column(const std::string& name) {
    ColumnName c;
    c.variable = variable_of(name);
    std::string_view s = name;
    const size_t colon = s.find(':');
    if (colon != std::string_view::npos && colon > 1 && s[0] == 'p' &&
        digits_only(s.substr(1, colon - 1))) {
        std::from_chars(s.data() + 1, s.data() + colon, c.process);
        s = s.substr(colon + 1);
    }
    const size_t hash = s.rfind('#');
    if (hash != std::string_view::npos && digits_only(s.substr(hash + 1))) {
        std::from_chars(s.data() + hash + 1, s.data() + s.size(), c.copy);
        s = s.substr(0, hash);
    }
    c.total = s.size() > 6 && s.substr(s.size() - 6) == "_total";
    const size_t at = s.find('@');
    if (at != std::string_view::npos) {
        const std::string_view p = s.substr(at + 1);
        const std::string of =
            c.process >= 0 ? " of process " + std::to_string(c.process) + " (its own number)" : "";
        if (p.substr(0, 4) == "node" && digits_only(p.substr(4)))
            c.where = "node " + std::string(p.substr(4));
        else if (p.substr(0, 4) == "elem" && digits_only(p.substr(4)))
            c.where = "element " + std::string(p.substr(4));
        else if (p.substr(0, 1) == "n" && digits_only(p.substr(1)))
            c.where = "node " + std::string(p.substr(1)) + of;
        else if (digits_only(p))
            c.where = "element " + std::string(p) + of;
        else
            c.where = "element ?" + of;
    }
    if (c.copy > 1) c.where += " (" + std::to_string(c.copy) + ")";
    return c;
}

std::string axis_label(const std::string& name, const std::string& unit) {
    return unit.empty() ? name : name + " [" + unit + "]";
}

bool has_value(const std::vector<double>& v) {
    return std::any_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}
bool zero_throughout(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return !std::isfinite(x) || x == 0.0; });
}

std::vector<double> column(const PlotTable& t, size_t c) {
    std::vector<double> v;
    v.reserve(t.rows.size());
    for (const auto& row : t.rows) v.push_back(row[c]);
    return v;
}

double first_value(const std::vector<double>& v) {
    for (double x : v)
        if (std::isfinite(x)) return x;
    return kNaN;
}

std::string number_text(double v, int digits) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    return buf;
}

// Joins names: "a, b and c".
std::string join(const std::vector<std::string>& names) {
    std::string s;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) s += i + 1 == names.size() ? " and " : ", ";
        s += names[i];
    }
    return s;
}

// A panel in the making: its quantity, and its curves before scaling.
struct Draft {
    std::string key;  // variable, "energy" or "contact"
    std::string name;
    std::string unit;
    bool balance = false;  // stacked energies: never offset
    std::vector<Curve> curves;
    std::vector<std::string> variables;  // of the columns drawn
};

Draft& draft_of(std::vector<Draft>& drafts, const std::string& key) {
    for (Draft& d : drafts)
        if (d.key == key) return d;
    drafts.push_back(Draft{});
    drafts.back().key = key;
    return drafts.back();
}

// The stacked energies of a run's balance: each layer on the ones below it,
// the top being total + what the constraints took, against the energy that
// went in (initial kinetic energy plus the work of the loads). Where the top
// meets the dashed line the balance holds.
Draft balance_panel(const PlotTable& t, const std::vector<size_t>& col_of_energy_name) {
    Draft d;
    d.key = "energy";
    d.name = "energy";
    d.unit = "J";
    d.balance = true;
    const size_t n = t.rows.size();
    std::vector<double> below(n, 0.0);
    static constexpr std::array<const char*, 6> layers{"engk",    "engs",   "hourglass",
                                                       "contact", "eroded", "plane_work"};
    const auto get = [&](const char* v) -> std::vector<double> {
        for (size_t c : col_of_energy_name)
            if (variable_of(t.names[c]) == v) return column(t, c);
        return {};
    };
    for (const char* v : layers) {
        std::vector<double> y = get(v);
        if (y.empty() || zero_throughout(y)) continue;
        Curve band;
        band.title = energy_title(v);
        band.style = CurveStyle::band;
        band.lower = below;
        for (size_t i = 0; i < n; ++i) y[i] += below[i];
        below = y;
        band.y = std::move(y);
        d.curves.push_back(std::move(band));
    }
    const std::vector<double> kinetic = get("engk");
    const std::vector<double> work = get("external_work");
    const std::vector<double> plane = get("plane_work");
    const std::vector<double> total = get("ener");
    const bool loads = !work.empty() && !zero_throughout(work);
    const bool taken = !plane.empty() && !zero_throughout(plane);
    if (!total.empty()) {
        Curve c;
        c.title = taken ? "total + taken by constraints" : "total";
        c.style = CurveStyle::total;
        c.y = total;
        if (taken)
            for (size_t i = 0; i < n; ++i) c.y[i] += plane[i];
        d.curves.push_back(std::move(c));
    }
    if (loads) {
        Curve c;
        c.title = "work of the loads";
        c.y = work;
        d.curves.push_back(std::move(c));
    }
    Curve in;
    in.title =
        loads ? "energy in: initial kinetic + work of the loads" : "energy in: initial kinetic";
    in.style = CurveStyle::reference;
    const double k0 = first_value(kinetic);
    in.y.assign(n, k0);
    if (loads)
        for (size_t i = 0; i < n; ++i) in.y[i] += work[i];
    d.curves.push_back(std::move(in));
    return d;
}

// Scales a draft's curves to its axis (and offsets a nearly constant
// quantity from its first value) and makes it a panel.
Panel finish(Draft& d) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Curve& c : d.curves)
        for (const std::vector<double>* v : {&c.y, &c.lower})
            for (double x : *v)
                if (std::isfinite(x)) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
    const double size = std::max(std::fabs(lo), std::fabs(hi));
    // Nearly constant: changes by less than 1 % of its size. The axis then
    // shows the change from the first value, which is named in the label
    // (autoscaled as it is, nine ticks would all print the same digits).
    double base = 0.0;
    if (!d.balance && hi > lo && hi - lo < 1e-2 * size) base = first_value(d.curves.front().y);
    const AxisScale s = axis_scale(d.unit, base != 0.0 ? hi - lo : size);
    for (Curve& c : d.curves) {
        for (double& x : c.y) x = (x - base) * s.factor;
        for (double& x : c.lower) x = (x - base) * s.factor;
    }
    Panel p;
    std::string name = d.name;
    if (base != 0.0) {
        const AxisScale b = axis_scale(d.unit, std::fabs(base));
        name += " \xe2\x88\x92 " + number_text(base * b.factor, 7) +
                (b.unit.empty() ? "" : " " + b.unit);
    }
    p.ylabel = axis_label(name, s.unit);
    p.curves = std::move(d.curves);
    return p;
}

}  // namespace

const Quantity* quantity_of(std::string_view variable) {
    for (const Quantity& q : kQuantities)
        if (q.word == variable) return &q;
    return nullptr;
}

AxisScale axis_scale(std::string_view unit, double largest) {
    struct Prefix {
        const char* name;
        double value;
    };
    static constexpr std::array<Prefix, 6> all{
        {{"n", 1e-9}, {"\xc2\xb5", 1e-6}, {"m", 1e-3}, {"", 1.0}, {"k", 1e3}, {"M", 1e6}}};
    // The prefixes each unit reads well with, smallest first.
    std::vector<Prefix> allowed;
    const auto with = [&](std::initializer_list<const char*> names) {
        for (const Prefix& p : all)
            for (const char* n : names)
                if (std::strcmp(p.name, n) == 0) allowed.push_back(p);
    };
    if (unit == "s")
        with({"n", "\xc2\xb5", "m", ""});
    else if (unit == "m")
        with({"\xc2\xb5", "m", ""});
    else if (unit == "N" || unit == "J")
        with({"m", "", "k", "M"});
    else if (unit == "Pa")
        with({"", "k", "M"});
    AxisScale s;
    s.unit = std::string(unit);
    if (unit == "Pa" && largest >= 1e9) {
        s.factor = 1e-9;
        s.unit = "GPa";
        return s;
    }
    if (allowed.empty() || !(largest > 0.0) || !std::isfinite(largest)) return s;
    Prefix pick = allowed.front();
    for (const Prefix& p : allowed)
        if (largest >= p.value * 0.9999999) pick = p;
    s.factor = 1.0 / pick.value;
    s.unit = std::string(pick.name) + std::string(unit);
    return s;
}

Figure make_figure(const PlotTable& t, const FigureOptions& opt) {
    Figure f;
    const size_t n = t.rows.size();
    std::vector<ColumnName> cn(t.names.size());
    std::vector<char> usable(t.names.size(), 0);
    std::vector<size_t> energy_cols;  // of the model, not of one process
    bool totals[3] = {false, false, false};
    bool has_error = false;
    for (size_t c = 1; c < t.names.size(); ++c) {
        cn[c] = parse_column(t.names[c]);
        if (!has_value(column(t, c))) {
            f.notes.push_back("column " + t.names[c] + " has no value and is left out");
            continue;
        }
        usable[c] = 1;
        const std::string& v = cn[c].variable;
        if (v == "energy_error") has_error = true;
        if (is_energy(v) && cn[c].process < 0) {
            energy_cols.push_back(c);
            if (cn[c].total && v == "engk") totals[0] = true;
            if (cn[c].total && v == "engs") totals[1] = true;
            if (cn[c].total && v == "ener") totals[2] = true;
        }
    }

    std::vector<Draft> drafts;
    std::vector<std::string> hidden;
    // The contact forces of the processes: summed into the model's.
    struct Sum {
        std::vector<double> y;
        std::vector<std::string> from;
        std::vector<int> processes;
    };
    Sum contact_sum[2];
    bool balance = has_error && totals[0];
    for (size_t c = 1; c < t.names.size(); ++c) {
        if (!usable[c]) continue;
        const ColumnName& k = cn[c];
        const std::string& v = k.variable;
        const std::vector<double> y = column(t, c);
        if (is_contact(v) && k.process >= 0) {
            Sum& s = contact_sum[v == "cnor" ? 0 : 1];
            if (k.copy == 1) {
                if (s.y.empty()) s.y.assign(n, 0.0);
                for (size_t i = 0; i < n; ++i) s.y[i] += y[i];
                s.from.push_back(t.names[c]);
                s.processes.push_back(k.process);
            }
            if (opt.per_process) {
                Draft& d = draft_of(drafts, "contact");
                if (zero_throughout(y)) {
                    f.left_out.push_back(t.names[c]);
                    continue;
                }
                Curve cv;
                cv.title = std::string(v == "cnor" ? "normal" : "friction") + ", process " +
                           std::to_string(k.process);
                cv.y = y;
                d.curves.push_back(std::move(cv));
            } else {
                draft_of(drafts, "contact");  // the panel keeps its place
            }
            continue;
        }
        if (is_energy(v)) {
            const bool model_total = v == "engk"   ? totals[0]
                                     : v == "engs" ? totals[1]
                                     : v == "ener" ? totals[2]
                                                   : false;
            if (k.process >= 0 && model_total && !opt.per_process) {
                hidden.push_back(t.names[c]);
                continue;
            }
            if (balance && k.process < 0) {
                draft_of(drafts, "energy");  // filled in below
                continue;
            }
        }
        if (zero_throughout(y)) {
            f.left_out.push_back(t.names[c]);
            continue;
        }
        const std::string key = is_energy(v) ? "energy" : is_contact(v) ? "contact" : v;
        Draft& d = draft_of(drafts, key);
        Curve cv;
        if (is_energy(v))
            cv.title = std::string(energy_title(v)) +
                       (k.process >= 0 ? ", process " + std::to_string(k.process) : "");
        else if (is_contact(v))
            cv.title = v == "cnor" ? "normal" : "friction";
        else if (v == "energy_error")
            cv.title = "of the initial kinetic energy + work of the loads";
        else {
            cv.title = k.where.empty() ? t.names[c] : k.where;
            if (c < t.bodies.size() && !t.bodies[c].empty()) cv.title += " (" + t.bodies[c] + ")";
        }
        if (v == "energy_error")
            for (double x : y) cv.y.push_back(x * 100.0);
        else
            cv.y = y;
        d.curves.push_back(std::move(cv));
        if (std::find(d.variables.begin(), d.variables.end(), v) == d.variables.end())
            d.variables.push_back(v);
    }
    long front = 0;
    for (int s = 0; s < 2; ++s) {
        Sum& sum = contact_sum[s];
        if (sum.from.empty()) continue;
        const char* what = s == 0 ? "normal" : "friction";
        if (zero_throughout(sum.y)) {
            // (--per-process has named each already.)
            if (!opt.per_process) f.left_out.push_back(join(sum.from));
            continue;
        }
        Curve cv;
        // One process's share alone (its curve file) is not the model's.
        cv.title = std::string(what) + (sum.from.size() == 1
                                            ? ", process " + std::to_string(sum.processes.front())
                                            : std::string(", whole model"));
        cv.y = std::move(sum.y);
        // The model's curves first, normal before friction.
        Draft& d = draft_of(drafts, "contact");
        d.curves.insert(d.curves.begin() + front++, std::move(cv));
        if (sum.from.size() > 1 && !opt.per_process)
            f.notes.push_back(join(sum.from) + " (one share per process) are summed into the " +
                              what + " contact force of the whole model; --per-process draws each");
    }
    if (!hidden.empty())
        f.notes.push_back(join(hidden) +
                          " (one process's share) left out beside the model's "
                          "totals; --per-process draws them");
    if (balance) {
        for (size_t c : energy_cols)
            if (cn[c].variable != "energy_error" && zero_throughout(column(t, c)))
                f.left_out.push_back(t.names[c]);
        Draft b = balance_panel(t, energy_cols);
        Draft& d = draft_of(drafts, "energy");
        b.curves.insert(b.curves.end(), d.curves.begin(), d.curves.end());
        d = std::move(b);
    }
    if (!f.left_out.empty())
        f.notes.push_back(join(f.left_out) + (f.left_out.size() > 1 ? " are" : " is") +
                          " zero throughout and not drawn");

    // x: the time, in the unit that reads best.
    double tmax = 0.0;
    for (const auto& row : t.rows) tmax = std::max(tmax, std::fabs(row[0]));
    const AxisScale ts = axis_scale("s", tmax);
    f.xlabel = axis_label("time", ts.unit);
    for (const auto& row : t.rows) f.x.push_back(row[0] * ts.factor);

    for (Draft& d : drafts) {
        if (d.curves.empty()) continue;
        if (d.key == "energy") {
            // One energy alone is named as it is ("total energy").
            const Quantity* q =
                d.variables.size() == 1 && !d.balance ? quantity_of(d.variables.front()) : nullptr;
            d.name = q ? std::string(q->name) : "energy";
            d.unit = "J";
        } else if (d.key == "contact") {
            d.name = "contact force";
            d.unit = "N";
        } else if (d.key == "energy_error") {
            d.name = "energy error";
            d.unit = "%";
        } else if (const Quantity* q = quantity_of(d.key)) {
            d.name = std::string(q->name);
            d.unit = std::string(q->unit);
        } else {
            d.name = d.key;
        }
        f.panels.push_back(finish(d));
    }
    if (f.panels.empty())
        throw Error("nothing to plot: every column is zero throughout or has no value");
    return f;
}

void write_figure_data(const Figure& f, const fs::path& file) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) throw Error("cannot create " + file.string() + ": " + std::strerror(errno));
    std::string b;
    bool ok = true;
    const auto put = [&b](double v) {
        b += ' ';
        if (!std::isfinite(v)) {
            b += '?';
            return;
        }
        char num[40];
        const auto r = std::to_chars(num, num + sizeof num, v);
        b.append(num, r.ptr);
    };
    for (size_t i = 0; i < f.x.size(); ++i) {
        char num[40];
        const auto r = std::to_chars(num, num + sizeof num, f.x[i]);
        b.append(num, r.ptr);
        for (const Panel& p : f.panels)
            for (const Curve& c : p.curves) {
                if (c.style == CurveStyle::band) put(c.lower[i]);
                put(c.y[i]);
            }
        b += '\n';
        if (b.size() > (size_t{1} << 20)) {
            ok = ok && std::fwrite(b.data(), 1, b.size(), out) == b.size();
            b.clear();
        }
    }
    ok = ok && std::fwrite(b.data(), 1, b.size(), out) == b.size();
    ok = (std::fclose(out) == 0) && ok;
    if (!ok) throw Error("cannot write " + file.string());
}

std::string figure_script(const Figure& f, const PlotOptions& opt) {
    const size_t np = f.panels.size();
    const size_t ncols = np == 1 ? 1 : 2;
    const size_t nrows = (np + ncols - 1) / ncols;
    const char* line = f.x.size() <= 30 ? "linespoints pt 7 ps 0.6 lw 1.5" : "lines lw 1.5";
    // Fill colours of the stacked energies, light enough for the lines on top.
    static constexpr std::array<const char*, 7> fills{"#4c72b0", "#dd8452", "#55a868", "#c44e52",
                                                      "#8172b3", "#937860", "#da8bc3"};
    std::ostringstream s;
    s << "set terminal pngcairo noenhanced size " << 760 * ncols << "," << 80 + 420 * nrows
      << " font ',10'\n";
    s << "set output " << gnuplot_quote(opt.output.string()) << "\n";
    s << "set datafile missing '?'\n";
    s << "set grid\n";
    s << "set key below\n";
    s << "set format y '%g'\n";
    s << "set format x '%g'\n";
    // The time axis ends at the first and last record rather than at the
    // round ticks around them (a run to 145 µs would show an empty stretch
    // to 160 µs otherwise); one record alone keeps gnuplot's own range.
    if (!f.x.empty() && f.x.front() != f.x.back()) s << "set autoscale xfix\n";
    s << "set multiplot layout " << nrows << "," << ncols << " title " << gnuplot_quote(opt.title);
    if (!f.left_out.empty())
        s << ".\"\\n\"." << gnuplot_quote("zero throughout, not drawn: " + join(f.left_out));
    s << "\n";
    size_t col = 2;
    for (const Panel& p : f.panels) {
        s << "set xlabel " << gnuplot_quote(f.xlabel) << "\n";
        s << "set ylabel " << gnuplot_quote(p.ylabel) << "\n";
        s << "plot ";
        size_t fill = 0;
        for (size_t j = 0; j < p.curves.size(); ++j) {
            const Curve& c = p.curves[j];
            if (j) s << ", \\\n     ";
            s << gnuplot_quote(opt.data.string()) << " using 1:";
            switch (c.style) {
                case CurveStyle::band:
                    s << col << ":" << col + 1
                      << " with filledcurves fs transparent solid 0.55 noborder lc rgb '"
                      << fills[fill++ % fills.size()] << "'";
                    col += 2;
                    break;
                case CurveStyle::total: s << col++ << " with lines lw 1.2 lc rgb 'black'"; break;
                case CurveStyle::reference:
                    s << col++ << " with lines dt 2 lw 2.5 lc rgb '#d62728'";
                    break;
                case CurveStyle::line: s << col++ << " with " << line; break;
            }
            s << " title " << gnuplot_quote(c.title);
        }
        s << "\n";
    }
    s << "unset multiplot\n";
    s << "set output\n";
    return s.str();
}

}  // namespace plot
