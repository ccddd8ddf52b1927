// Reads a .vtu with compressed appended arrays for the tests: the XML part is
// checked by xml_check's strict parser, and every DataArray with
// format="appended" gets its decoded values as text, so that
// xmlcheck::numbers reads binary and text files alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/vtkxml.hpp"
#include "xml_check.hpp"

namespace vtucheck {

template <class T>
void put_values(const std::vector<unsigned char>& bytes, std::string& text) {
    if (bytes.size() % sizeof(T) != 0) throw std::runtime_error("array of partial values");
    for (size_t i = 0; i < bytes.size(); i += sizeof(T)) {
        T v;
        std::memcpy(&v, &bytes[i], sizeof(T));
        char b[40];
        std::snprintf(b, sizeof b, " %.17g", static_cast<double>(v));
        text += b;
    }
}

inline void decode(xmlcheck::Node& n, const std::string& file, size_t data) {
    if (n.name == "DataArray" && n.attr("format") == "appended") {
        const std::vector<unsigned char> bytes =
            vtkxml::readblocks(file, data + std::stoull(n.attr("offset")));
        const std::string type = n.attr("type");
        n.text.clear();
        if (type == "Float64")
            put_values<double>(bytes, n.text);
        else if (type == "Float32")
            put_values<float>(bytes, n.text);
        else if (type == "Int64")
            put_values<std::int64_t>(bytes, n.text);
        else if (type == "Int32")
            put_values<std::int32_t>(bytes, n.text);
        else if (type == "UInt8")
            put_values<std::uint8_t>(bytes, n.text);
        else
            throw std::runtime_error("unknown type " + type);
    }
    for (xmlcheck::Node& c : n.children) decode(c, file, data);
}

// The document of a .vtu, binary (appended, raw, zlib) or text.
inline xmlcheck::Node parse(const std::string& file) {
    const size_t app = file.find("<AppendedData encoding=\"raw\">");
    if (app == std::string::npos) return xmlcheck::parse(file);
    const size_t mark = file.find('_', app);
    if (mark == std::string::npos) throw std::runtime_error("no _ before the appended data");
    const std::string end = "\n  </AppendedData>\n</VTKFile>\n";
    if (file.size() < end.size() || file.compare(file.size() - end.size(), end.size(), end) != 0)
        throw std::runtime_error("the file does not end after its appended data");
    xmlcheck::Node doc = xmlcheck::parse(file.substr(0, app) + "</VTKFile>\n");
    decode(doc, file, mark + 1);
    return doc;
}

}  // namespace vtucheck
