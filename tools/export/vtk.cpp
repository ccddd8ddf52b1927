#include "export/vtk.hpp"

#include <string>

#include "export/output.hpp"
#include "formats/deck.hpp"

namespace exporting {

namespace {

std::string xml_escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += "&amp;"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            default: r += c;
        }
    }
    return r;
}

}  // namespace

void write_vtu(const fs::path& file, const GlobalMesh& mesh, const std::vector<double>& xyz,
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

void write_pvd(const fs::path& file, const std::vector<fs::path>& vtu,
               const std::vector<double>& times) {
    write_replacing(file, [&](OutFile& out) {
        std::string& b = out.buf();
        b += "<?xml version=\"1.0\"?>\n"
             "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
             "  <Collection>\n";
        for (size_t z = 0; z < vtu.size(); ++z) {
            b += "    <DataSet timestep=\"";
            put_real(b, times[z]);
            b += "\" group=\"\" part=\"0\" file=\"";
            b += xml_escape(vtu[z].filename().string());
            b += "\"/>\n";
        }
        b += "  </Collection>\n</VTKFile>\n";
    });
}

}  // namespace exporting
