// The field output's piece (control/fieldout.cpp) against the model it is
// written from: the displacement from the coordinates kept at start (as
// Float32 or Float64, over several blocks), the copied values with their
// zeros, the relative volume, and the same bytes from the background writer
// as from piece().
#include "control/fieldout.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "output/vtkxml.hpp"
#include "outputcases.hpp"

using namespace outputcases;

namespace {

// The values of the appended array `name` of a piece.
template <class T>
std::vector<T> arrayof(const std::string& piece, const std::string& name) {
    const std::size_t tag = piece.find("Name=\"" + name + "\"");
    const std::size_t at = piece.find("offset=\"", tag) + 8;
    const std::size_t data = piece.find('_', piece.find("<AppendedData")) + 1;
    const std::vector<unsigned char> b =
        vtkxml::readblocks(piece, data + std::stoull(piece.substr(at)));
    std::vector<T> v(b.size() / sizeof(T));
    std::memcpy(v.data(), b.data(), b.size());
    return v;
}

// 100,000 nodes (two blocks of displacement, three of points) and the unit
// cube's element on the first eight, which do not move.
void setmodel(bool widened) {
    setcube();
    const std::size_t np = 100000;
    particledata::nb_particle = static_cast<int>(np);
    particledata::pos.resize(3 * np);
    particledata::vel.assign(3 * np, 0.0);
    for (std::size_t i = 24; i < 3 * np; ++i) {
        const double x = 1e-3 * static_cast<double>(i) + 0.1;  // 0.1 is no float
        particledata::pos[i] = widened ? static_cast<double>(static_cast<float>(x)) : x;
    }
    materialdata::mat_list.assign(1, material{});
    history& h = historyof(1);
    h.vol0 = 2.0;
    h.sm = -3.0e8;
    h.sd[0] = 1.0e8;
    h.sd[3] = -0.0;
    h.epeff = 0.25;
}

TEST_F(OutputFiles, PieceCarriesTheStateAndTheWriterTheSameBytes) {
    for (const bool widened : {true, false}) {
        setmodel(widened);
        fieldout::start();
        const std::vector<double> deck = particledata::pos;
        std::vector<double>& pos = particledata::pos;
        for (std::size_t i = 24; i < pos.size(); ++i)
            pos[i] += 1e-7 * std::sin(1e-3 * static_cast<double>(i));
        std::vector<double>& vel = particledata::vel;
        vel[30] = -0.0;
        vel[299999] = 123.456789;
        const std::string piece = fieldout::piece(2e-6, 1);

        const std::vector<float> u = arrayof<float>(piece, "displacement");
        ASSERT_EQ(pos.size(), u.size());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < u.size(); ++i)
            wrong += std::bit_cast<std::uint32_t>(u[i]) !=
                     std::bit_cast<std::uint32_t>(static_cast<float>(pos[i] - deck[i]));
        EXPECT_EQ(0u, wrong) << (widened ? "Float32" : "Float64") << " coordinates";
        EXPECT_EQ(pos, arrayof<double>(piece, "Points"));
        const std::vector<float> v = arrayof<float>(piece, "velocity");
        EXPECT_EQ(0x80000000u, std::bit_cast<std::uint32_t>(v[30]));
        EXPECT_EQ(static_cast<float>(vel[299999]), v[299999]);
        EXPECT_EQ(0.0f, v[31]);
        EXPECT_EQ(std::vector<float>{0.5f}, arrayof<float>(piece, "relative_volume"));
        EXPECT_EQ(std::vector<float>{-2.0e8f}, arrayof<float>(piece, "stress_xx"));
        EXPECT_EQ(std::vector<float>{3.0e8f}, arrayof<float>(piece, "pressure"));
        EXPECT_EQ(0x80000000u, std::bit_cast<std::uint32_t>(arrayof<float>(piece, "stress_yz")[0]));
        EXPECT_EQ(std::vector<float>{0.25f}, arrayof<float>(piece, "plastic_strain"));

        // The background writer, on as many threads as it takes.
        const InDir in(dir.path());
        fieldout::write(2e-6);
        fieldout::wait();
        EXPECT_EQ(piece, read_file(dir / fieldout::piecename(0, 0)));
    }
}

}  // namespace
