#include "export/vtk.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>

#include "export/output.hpp"
#include "formats/deck.hpp"
#include "output/vtkxml.hpp"

namespace exporting {

namespace {

// zlib level of the binary files: the fastest, which keeps most of the gain
// in size on coordinates that do not repeat.
constexpr int kLevel = 1;
static_assert(sizeof(long long) == 8 && sizeof(int) == 4, "Int64 and Int32 arrays");

void write_binary_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
                      const std::vector<double>& ref, double time) {
    const size_t np = static_cast<size_t>(mesh.nodes);
    const size_t ncells = mesh.cell_id.size();
    const unsigned cores = std::thread::hardware_concurrency();
    vtkxml::appended arrays(kLevel, cores == 0 ? 1 : static_cast<int>(std::min(cores, 4u)));
    std::string xml = vtkxml::vtuhead(time, mesh.nodes, static_cast<long long>(ncells));
    auto line = [&xml](const std::string& tag) { xml += "        " + tag + "\n"; };
    xml += "      <PointData>\n";
    {
        std::vector<float> d(3 * np);
        for (size_t i = 0; i < 3 * np; ++i) d[i] = static_cast<float>(xyz[i] - ref[i]);
        line(arrays.add("Float32", "displacement", 3, d.data(), d.size() * sizeof(float)));
    }
    line(arrays.add("Int64", "node", 1, mesh.node_id.data(), np * sizeof(long long)));
    xml += "      </PointData>\n      <CellData Scalars=\"process\">\n";
    line(arrays.add("Int32", "process", 1, mesh.cell_process.data(), ncells * sizeof(int)));
    line(arrays.add("Int64", "element", 1, mesh.cell_id.data(), ncells * sizeof(long long)));
    xml += "      </CellData>\n      <Points>\n";
    line(arrays.add("Float64", "Points", 3, xyz.data(), 3 * np * sizeof(double)));
    xml += "      </Points>\n      <Cells>\n";
    line(arrays.add("Int64", "connectivity", 1, mesh.connectivity.data(),
                    mesh.connectivity.size() * sizeof(long long)));
    {
        std::vector<std::int64_t> offsets(ncells);
        for (size_t e = 0; e < ncells; ++e) offsets[e] = 8 * (static_cast<std::int64_t>(e) + 1);
        line(arrays.add("Int64", "offsets", 1, offsets.data(), ncells * sizeof(std::int64_t)));
        // Cell type 12 is the 8-node hexahedron, in the element's corner order.
        std::vector<unsigned char> types(ncells, 12);
        line(arrays.add("UInt8", "types", 1, types.data(), ncells));
    }
    xml += "      </Cells>\n";
    xml += vtkxml::vtutail();
    OutFile out(file);
    out.write(xml);
    out.write(arrays.data());
    out.write(vtkxml::vtuend());
    out.close();
}

void write_ascii_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
                     const std::vector<double>& ref, double time) {
    OutFile out(file);
    std::string& b = out.buf();
    const size_t ncells = mesh.cell_id.size();
    b += "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
         "  <UnstructuredGrid>\n"
         "    <FieldData>\n"
         "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" "
         "format=\"ascii\">";
    put_real(b, time);
    b += "</DataArray>\n    </FieldData>\n    <Piece NumberOfPoints=\"";
    formats::append_int(b, mesh.nodes);
    b += "\" NumberOfCells=\"";
    formats::append_int(b, static_cast<long long>(ncells));
    b += "\">\n      <PointData Vectors=\"displacement\">\n"
         "        <DataArray type=\"Float64\" Name=\"displacement\" NumberOfComponents=\"3\" "
         "format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "         ";
        for (int c = 0; c < 3; ++c) {
            const size_t i = static_cast<size_t>(3 * k + c);
            b += ' ';
            // Both coordinates carry 5 significant digits; 7 digits of the
            // difference keep all of it without showing the binary noise of
            // the subtraction.
            put_real_g(b, xyz[i] - ref[i], 7);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"node\" format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "          ";
        formats::append_int(b, mesh.node_id[static_cast<size_t>(k)]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </PointData>\n"
         "      <CellData Scalars=\"process\">\n"
         "        <DataArray type=\"Int32\" Name=\"process\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        formats::append_int(b, mesh.cell_process[e]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"element\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        formats::append_int(b, mesh.cell_id[e]);
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </CellData>\n"
         "      <Points>\n"
         "        <DataArray type=\"Float64\" Name=\"Points\" NumberOfComponents=\"3\" "
         "format=\"ascii\">\n";
    for (long long k = 0; k < mesh.nodes; ++k) {
        b += "         ";
        for (int c = 0; c < 3; ++c) {
            b += ' ';
            put_real(b, xyz[static_cast<size_t>(3 * k + c)]);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </Points>\n"
         "      <Cells>\n"
         "        <DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "         ";
        for (int c = 0; c < 8; ++c) {
            b += ' ';
            formats::append_int(b, mesh.connectivity[8 * e + static_cast<size_t>(c)]);
        }
        b += '\n';
        out.maybe_flush();
    }
    b += "        </DataArray>\n"
         "        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          ";
        formats::append_int(b, 8 * (static_cast<long long>(e) + 1));
        b += '\n';
        out.maybe_flush();
    }
    // Cell type 12 is the 8-node hexahedron; its corner order (bottom face
    // 1-4, top face 5-8 with corner k+4 above corner k) is the element's own.
    b += "        </DataArray>\n"
         "        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
    for (size_t e = 0; e < ncells; ++e) {
        b += "          12\n";
        out.maybe_flush();
    }
    b += "        </DataArray>\n      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
    out.close();
}

}  // namespace

void write_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
               const std::vector<double>& ref, double time, bool ascii) {
    if (ascii)
        write_ascii_vtu(file, mesh, xyz, ref, time);
    else
        write_binary_vtu(file, mesh, xyz, ref, time);
}

void write_pvd(const fs::path& file, const std::vector<fs::path>& vtu,
               const std::vector<double>& times) {
    // A viewer finds the files relative to the collection's folder.
    const fs::path base = file.parent_path();
    write_replacing(file, [&](OutFile& out) {
        std::string& b = out.buf();
        b += "<?xml version=\"1.0\"?>\n"
             "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
             "  <Collection>\n";
        for (size_t z = 0; z < vtu.size(); ++z) {
            b += "    <DataSet timestep=\"";
            put_real(b, times[z]);
            b += "\" group=\"\" part=\"0\" file=\"";
            const fs::path rel = base.empty() ? vtu[z] : vtu[z].lexically_relative(base);
            b += vtkxml::escape(rel.generic_string());
            b += "\"/>\n";
        }
        b += "  </Collection>\n</VTKFile>\n";
    });
}

}  // namespace exporting
