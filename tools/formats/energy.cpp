#include "formats/energy.hpp"

#include <cmath>
#include <sstream>

#include "formats/error.hpp"

namespace formats {

EnergyTable read_energy(const fs::path& file) { return read_energy(LineReader(file)); }

EnergyTable read_energy(LineReader in) {
    EnergyTable t;
    std::string_view line;
    if (!in.next(line) || line.empty() || line[0] != '#')
        throw Error(in.name() + ": no column line (\"#  time  kinetic ...\") at the top");
    {
        std::istringstream names{std::string(line.substr(1))};
        std::string n;
        while (names >> n) t.names.push_back(n);
    }
    if (t.names.size() < 2 || t.names[0] != "time")
        throw Error(in.where() + "the column line does not start with time");
    while (in.next(line)) {
        std::vector<double> row;
        size_t at = 0;
        for (;;) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
                ++at;
            if (at >= line.size()) break;
            size_t end = at;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                ++end;
            double v = 0.0;
            if (!real_field(line.substr(at, end - at), v))
                throw Error(in.where() + "\"" + std::string(line.substr(at, end - at)) +
                            "\" is not a number");
            if (!std::isfinite(v))
                throw Error(in.where() + "\"" + std::string(line.substr(at, end - at)) +
                            "\" is not a finite number");
            row.push_back(v);
            at = end;
        }
        if (row.empty()) continue;
        if (row.size() != t.names.size())
            throw Error(in.where() + "record of " + std::to_string(row.size()) +
                        " values, the column line names " + std::to_string(t.names.size()));
        t.rows.push_back(std::move(row));
    }
    return t;
}

int energy_column(const EnergyTable& table, const std::string& name) {
    for (size_t c = 0; c < table.names.size(); ++c)
        if (table.names[c] == name) return static_cast<int>(c);
    return -1;
}

}  // namespace formats
