#include "export/curves.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>

#include "export/output.hpp"

namespace exporting {

using formats::CurveColumn;
using formats::Error;

CurveLayout curve_layout(const std::vector<ProcessCurves>& procs, bool single_global,
                         bool kinetic_additive) {
    CurveLayout lay;
    lay.names.push_back("time");
    const bool several = procs.size() > 1;
    std::map<std::string, int> used;
    for (const ProcessCurves& pc : procs) {
        std::string prefix = "p";
        prefix += std::to_string(pc.id);
        prefix += ':';
        for (size_t c = 0; c < pc.columns.size(); ++c) {
            const CurveColumn& col = pc.columns[c];
            std::string name;
            if (col.energy) {
                name = (several ? prefix : std::string()) + col.variable;
            } else if (col.element < 0) {
                name = prefix + col.variable + "@?";
                lay.notes.push_back(pc.file + ": the element number of curve " +
                                    std::to_string(c + 1) +
                                    " overflowed its field; its column is named " + name);
            } else {
                // A node column is named by its node as an element column by
                // its element: "dx@node12" with a map, "p1:dx@n3" without.
                const char* at = col.node ? "node" : "element";
                const long long nb = col.node ? pc.nodes : pc.elements;
                const std::vector<long long>* global =
                    col.node ? pc.node_global : pc.element_global;
                if (col.element < 1 || col.element > nb)
                    throw Error(pc.file + ": curve " + std::to_string(c + 1) + " names " + at +
                                " " + std::to_string(col.element) + ", but process " +
                                std::to_string(pc.id) + " has " + at + "s 1.." +
                                std::to_string(nb));
                const std::string tag = col.node ? "@node" : "@elem";
                if (global)
                    name = col.variable + tag +
                           std::to_string((*global)[static_cast<size_t>(col.element - 1)]);
                else if (single_global)
                    name = col.variable + tag + std::to_string(col.element);
                else
                    name = prefix + col.variable + (col.node ? "@n" : "@") +
                           std::to_string(col.element);
            }
            const int n = ++used[name];
            if (n > 1) {
                name += '#';
                name += std::to_string(n);
            }
            lay.names.push_back(name);
        }
    }
    for (const char* var : {"engk", "engs", "ener"}) {
        CurveLayout::Total t;
        t.variable = var;
        std::vector<int> missing;
        bool any = false;
        for (const ProcessCurves& pc : procs) {
            size_t found = SIZE_MAX;
            for (size_t c = 0; c < pc.columns.size() && found == SIZE_MAX; ++c)
                if (pc.columns[c].variable == var) found = c;
            if (found == SIZE_MAX)
                missing.push_back(pc.id);
            else
                any = true;
            t.column_of_process.push_back(found);
        }
        if (!any) continue;
        if (!kinetic_additive && t.variable != "engs") {
            lay.notes.push_back(
                std::string("no ") + var +
                "_total column: every process counts the kinetic energy of the nodes it shares "
                "with others in full, so their sum would count those nodes more than once");
            continue;
        }
        if (!missing.empty()) {
            std::string who;
            for (int id : missing) who += (who.empty() ? "" : ", ") + std::to_string(id);
            lay.notes.push_back(std::string("no ") + var + "_total column: process(es) " + who +
                                " have no " + var +
                                " curve, so the sum over processes cannot be formed");
            continue;
        }
        lay.names.push_back(std::string(var) + "_total");
        lay.totals.push_back(std::move(t));
    }
    return lay;
}

void use_energy_balance(CurveLayout& lay, const formats::EnergyTable& energy) {
    lay.names.resize(lay.names.size() - lay.totals.size());
    lay.totals.clear();
    std::vector<std::string> notes;
    for (std::string& n : lay.notes)
        if (n.find("_total column") == std::string::npos) notes.push_back(std::move(n));
    lay.notes = std::move(notes);
    for (size_t c = 1; c < energy.names.size(); ++c) {
        const std::string& n = energy.names[c];
        lay.names.push_back(n == "kinetic"    ? "engk_total"
                            : n == "internal" ? "engs_total"
                            : n == "total"    ? "ener_total"
                                              : n);
    }
    lay.energy = &energy;
}

namespace {

// Called when a curve file has no further record: true when the table ends
// here. The files end together, or a file cut off while it was written (a
// run killed) ends the table at the records that every file holds whole,
// with a warning; otherwise unequal record counts are an error.
bool end_of_curves(const std::vector<std::unique_ptr<formats::CurveReader>>& cr, bool any,
                   std::vector<std::string>& warnings) {
    bool cut = false;
    for (const auto& r : cr) {
        if (r->cut_record() == 0) continue;
        cut = true;
        warnings.push_back(r->name() + ":" + std::to_string(r->line_number()) +
                           ": the file ends inside record " + std::to_string(r->cut_record()) +
                           " (cut off while it was written?): records 1.." +
                           std::to_string(r->cut_record() - 1) + " are exported");
    }
    if (!any) return true;
    size_t longer = 0, ended = 0;
    while (cr[longer]->records() == cr[ended]->records()) ++longer;
    if (cr[longer]->records() < cr[ended]->records()) std::swap(longer, ended);
    if (!cut)
        throw Error(
            "the curve files do not have the same number of records: " + cr[longer]->name() +
            " goes on at line " + std::to_string(cr[longer]->line_number()) + " where " +
            cr[ended]->name() + " has ended");
    warnings.push_back("record " + std::to_string(cr[longer]->records()) + " and later of " +
                       cr[longer]->name() +
                       " are left out: they were not written whole by every process");
    return true;
}

}  // namespace

std::vector<double> write_curve_table(const fs::path& file,
                                      const std::vector<std::unique_ptr<formats::CurveReader>>& cr,
                                      const CurveLayout& lay, std::vector<std::string>& notes,
                                      std::vector<std::string>& warnings) {
    std::vector<double> curve_times;
    write_replacing(file, [&](OutFile& out) {
        std::string& b = out.buf();
        for (size_t c = 0; c < lay.names.size(); ++c) {
            if (c) b += ',';
            b += lay.names[c];
        }
        b += '\n';
        const size_t np = cr.size();
        std::vector<std::vector<double>> values(np);
        bool mismatch = false;
        for (;;) {
            double t0 = 0.0;
            const bool more = cr[0]->next(t0, values[0]);
            bool all = more, any = more;
            for (size_t i = 1; i < np; ++i) {
                double t = 0.0;
                const bool m = cr[i]->next(t, values[i]);
                all = all && m;
                any = any || m;
                if (more && m && t != t0)
                    throw Error(cr[i]->name() + ":" + std::to_string(cr[i]->line_number()) +
                                ": time " + real_text(t) + " of record " +
                                std::to_string(cr[i]->records()) + " differs from " +
                                real_text(t0) + " in " + cr[0]->name() +
                                ": the processes did not run in lockstep");
            }
            if (!all && end_of_curves(cr, any, warnings)) break;
            curve_times.push_back(t0);
            put_real(b, t0);
            for (size_t i = 0; i < np; ++i)
                for (double v : values[i]) {
                    b += ',';
                    put_real(b, v);
                }
            for (const CurveLayout::Total& tot : lay.totals) {
                double sum = 0.0;
                for (size_t i = 0; i < np; ++i) sum += values[i][tot.column_of_process[i]];
                b += ',';
                // The summands carry 6 digits; 12 keep every digit of the sum
                // and hide the binary rounding of the addition.
                put_real_g(b, sum, 12);
            }
            if (lay.energy) {
                // The balance has a record at every output time (10 digits)
                // and one more at the end; the curve time carries 6 digits.
                const size_t r = curve_times.size() - 1;
                const auto& rows = lay.energy->rows;
                const bool match =
                    r < rows.size() && std::fabs(rows[r][0] - t0) <=
                                           1e-5 * std::max(std::fabs(rows[r][0]), std::fabs(t0));
                if (!match && !mismatch) {
                    mismatch = true;
                    notes.push_back("energy.dat has no record at time " + real_text(t0) +
                                    " (record " + std::to_string(r + 1) +
                                    " of the curves): its columns are left empty from there; "
                                    "is it from another run?");
                }
                for (size_t c = 1; c < lay.energy->names.size(); ++c) {
                    b += ',';
                    if (!mismatch) put_real(b, rows[r][c]);
                }
            }
            b += '\n';
            out.maybe_flush();
        }
    });
    return curve_times;
}

}  // namespace exporting
