#include "results.hpp"

#include <zlib.h>

#include <sstream>

#include "texts.hpp"

namespace testutil {

std::vector<std::vector<double>> energy_rows(const fs::path& file) {
    std::vector<std::vector<double>> rows;
    for (const std::string& l : lines_of(read_file(file))) {
        if (l.empty() || l[0] == '#') continue;
        std::istringstream in(l);
        std::vector<double> r;
        for (double x; in >> x;) r.push_back(x);
        rows.push_back(r);
    }
    return rows;
}

int energy_column(const fs::path& file, const std::string& name) {
    for (const std::string& l : lines_of(read_file(file))) {
        if (l.empty() || l[0] != '#') continue;
        std::istringstream in(l.substr(1));
        int c = 0;
        for (std::string w; in >> w; ++c)
            if (w == name) return c;
    }
    return -1;
}

std::string field_bytes(const std::string& vtu, const std::string& name) {
    const size_t at = vtu.find("Name=\"" + name + "\"");
    const size_t appended = vtu.find("<AppendedData");
    if (at == std::string::npos || appended == std::string::npos) return {};
    const size_t offset = std::stoull(vtu.substr(vtu.find("offset=\"", at) + 8));
    const size_t data = vtu.find('_', appended) + 1;
    const char* p = vtu.data() + data + offset;
    std::uint64_t head[3];
    std::memcpy(head, p, sizeof head);
    std::vector<std::uint64_t> sizes(head[0]);
    std::memcpy(sizes.data(), p + sizeof head, head[0] * sizeof(std::uint64_t));
    const char* block = p + sizeof head + head[0] * sizeof(std::uint64_t);
    std::string raw;
    for (std::uint64_t b = 0; b < head[0]; ++b) {
        uLongf n = b + 1 == head[0] && head[2] != 0 ? head[2] : head[1];
        std::string out(n, '\0');
        if (uncompress(reinterpret_cast<Bytef*>(out.data()), &n,
                       reinterpret_cast<const Bytef*>(block), sizes[b]) != Z_OK)
            return {};
        raw += out.substr(0, n);
        block += sizes[b];
    }
    return raw;
}

namespace {

// The values of attribute `key` ("file=\"") in the order they occur.
std::vector<std::string> attributes(const std::string& text, const std::string& key) {
    std::vector<std::string> v;
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t from = at + key.size();
        v.push_back(text.substr(from, text.find('"', from) - from));
    }
    return v;
}

}  // namespace

std::vector<FieldFrame> field_frames(const fs::path& dir) {
    const std::string pvd = read_file(dir / "field.pvd");
    const std::vector<std::string> times = attributes(pvd, "timestep=\"");
    const std::vector<std::string> files = attributes(pvd, "file=\"");
    std::vector<FieldFrame> frames;
    for (size_t f = 0; f < files.size() && f < times.size(); ++f) {
        const fs::path pvtu = dir / files[f];
        FieldFrame frame{std::stod(times[f]), {}};
        for (const std::string& piece : attributes(read_file(pvtu), "Source=\""))
            frame.pieces.push_back(pvtu.parent_path() / piece);
        frames.push_back(std::move(frame));
    }
    return frames;
}

JoinedFrame join_frame(const FieldFrame& frame, int nodes, int elements,
                       const std::vector<std::string>& cell_arrays) {
    JoinedFrame j;
    j.time = frame.time;
    j.x.assign(static_cast<size_t>(nodes), Point3{0.0, 0.0, 0.0});
    j.cells.assign(cell_arrays.size(), std::vector<float>(static_cast<size_t>(elements), 0.0F));
    for (const fs::path& piece : frame.pieces) {
        const std::string vtu = read_file(piece);
        const auto x = field_array<double>(vtu, "Points");
        const auto node = field_array<std::int32_t>(vtu, "node");
        for (size_t k = 0; k < node.size() && 3 * k + 2 < x.size(); ++k)
            if (node[k] >= 1 && node[k] <= nodes)
                j.x[static_cast<size_t>(node[k] - 1)] = {x[3 * k], x[3 * k + 1], x[3 * k + 2]};
        const auto element = field_array<std::int32_t>(vtu, "element");
        for (size_t a = 0; a < cell_arrays.size(); ++a) {
            const auto v = field_array<float>(vtu, cell_arrays[a]);
            for (size_t e = 0; e < element.size() && e < v.size(); ++e)
                if (element[e] >= 1 && element[e] <= elements)
                    j.cells[a][static_cast<size_t>(element[e] - 1)] = v[e];
        }
    }
    return j;
}

}  // namespace testutil
