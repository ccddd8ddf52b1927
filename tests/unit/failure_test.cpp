// The strains the failure limits measure from the deck geometry, against
// homogeneous deformations of known principal stretches.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "failure/failure.hpp"

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
}

// The corners A p + t of the unit cube's corners p, in the corner order.
void place(const Matrix& A, const std::array<double, 3>& t, double (&out)[8][3]) {
    static const double p[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i) {
            out[a][i] = t[i];
            for (int k = 0; k < 3; ++k) out[a][i] += A[i][k] * p[a][k];
        }
}

}  // namespace

// A deformation gradient F from a deck element that is itself a skewed,
// scaled and shifted brick: the strains are those of F alone. Simple shear
// of amount g has the stretches sqrt(1 + g^2/4) +- g/2 and 1, so its shear
// strain is g; a turned triaxial stretch keeps its stretches, the largest
// and the smallest of them making the shear strain, not the middle one.
TEST(FailureStrains, HomogeneousDeformationsGiveTheirPrincipalStretches) {
    const auto shear = [](double g) { return Matrix{{{1, g, 0}, {0, 1, 0}, {0, 0, 1}}}; };
    const auto sheared = [](double g) { return std::sqrt(1.0 + 0.25 * g * g) + 0.5 * g - 1.0; };
    const double c = std::cos(0.7), s = std::sin(0.7);
    const Matrix turn = {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    const Matrix tilt = {{{1, 0, 0}, {0, c, s}, {0, -s, c}}};
    const Matrix stretch = {{{0.9, 0, 0}, {0, 0.7, 0}, {0, 0, 1.3}}};
    struct Case {
        const char* name;
        Matrix F;
        double principal, shear;
    };
    const Case cases[] = {
        {"small simple shear", shear(1.0e-3), sheared(1.0e-3), 1.0e-3},
        {"simple shear 1", shear(1.0), sheared(1.0), 1.0},
        {"simple shear 3, turned", product(turn, shear(3.0)), sheared(3.0), 3.0},
        {"triaxial stretch, turned", product(tilt, product(turn, stretch)), 0.3, 0.6},
        {"uniaxial compression", {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0.6}}}, 0.0, 0.4},
        {"rigid rotation", product(tilt, turn), 0.0, 0.0},
    };
    const Matrix deck = {{{2.0, 0.3, 0.0}, {0.0, 0.5, 0.2}, {0.1, 0.0, 0.25}}};
    double X[8][3], x[8][3];
    place(deck, {1.0, -2.0, 0.5}, X);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        place(product(k.F, deck), {0.3, 0.1, -4.0}, x);
        // The trigonometric solution of the eigenvalues loses digits where
        // two stretches are equal (the arc cosine near 1).
        EXPECT_NEAR(failure::principalstrain(X, x), k.principal, 1e-8);
        EXPECT_NEAR(failure::shearstrain(X, x), k.shear, 1e-8);
    }
}
