// CIEDE2000 against the 34 pairs Sharma, Wu and Dalal published with their
// implementation notes (Color Research and Application 30(1), 2005, table 1),
// both orders of every pair; CIE76 beside it, and Lab to XYZ as the exact
// inverse of XYZToLab.
#include <gtest/gtest.h>

#include <array>

#include "color/spectral.h"

namespace measure {
namespace {

struct SharmaPair {
    double L1, a1, b1, L2, a2, b2, deltaE2000;
};

// L1, a1, b1, L2, a2, b2 and the published difference, rounded to 4 decimals.
constexpr SharmaPair kSharmaPairs[] = {
    {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
    {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
    {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
    {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
    {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
    {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
    {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
    {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
    {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
    {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
    {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
    {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
    {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
    {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
    {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
    {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
    {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
    {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
    {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
    {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082},
};

TEST(DeltaE2000, MatchesEveryPublishedPairInBothOrders) {
    ASSERT_EQ(std::size(kSharmaPairs), 34u);
    int row = 0;
    for (const SharmaPair& p : kSharmaPairs) {
        ++row;
        EXPECT_NEAR(DeltaE2000(p.L1, p.a1, p.b1, p.L2, p.a2, p.b2), p.deltaE2000, 1e-4) << "pair " << row;
        EXPECT_NEAR(DeltaE2000(p.L2, p.a2, p.b2, p.L1, p.a1, p.b1), p.deltaE2000, 1e-4)
            << "pair " << row << " reversed";
    }
}

TEST(DeltaE2000, IsZeroForEqualColoursAndDiffersFromCie76) {
    EXPECT_EQ(DeltaE2000(41.2, 30.5, -12.25, 41.2, 30.5, -12.25), 0.0);
    EXPECT_EQ(DeltaE2000(50, 0, 0, 50, 0, 0), 0.0);
    // A grey lightness step of 5 around L* 50 is 5 in both; a chroma step of
    // 10 at high chroma counts far less in CIEDE2000.
    EXPECT_NEAR(DeltaE2000(47.5, 0, 0, 52.5, 0, 0), 5.0, 1e-12);
    EXPECT_NEAR(DeltaE76(50, 60, 0, 50, 70, 0), 10.0, 1e-12);
    EXPECT_LT(DeltaE2000(50, 60, 0, 50, 70, 0), 3.0);
}

TEST(LabToXYZ, IsTheInverseOfXYZToLabOnBothSegments) {
    // Colours of a 24-patch chart, a white, a black and one in the linear
    // segment near black (Y below 0.8856).
    const std::array<std::array<double, 3>, 6> labs = {{{37.986, 13.555, 14.059},
                                                        {65.711, 18.13, 17.81},
                                                        {96.5, -0.3, 1.9},
                                                        {0.0, 0.0, 0.0},
                                                        {5.2, 20.0, -30.0},
                                                        {52.2, -40.1, 48.3}}};
    for (const auto& lab : labs) {
        double x = 0, y = 0, z = 0;
        LabToXYZ(lab[0], lab[1], lab[2], &x, &y, &z);
        double L = 0, a = 0, b = 0;
        XYZToLab(x, y, z, &L, &a, &b);
        EXPECT_NEAR(L, lab[0], 1e-9);
        EXPECT_NEAR(a, lab[1], 1e-9);
        EXPECT_NEAR(b, lab[2], 1e-9);
    }
    double x = 0, y = 0, z = 0;
    LabToXYZ(100, 0, 0, &x, &y, &z);
    EXPECT_NEAR(x, 96.4, 1e-9);
    EXPECT_NEAR(y, 100.0, 1e-9);
    EXPECT_NEAR(z, 82.49, 1e-9);
    LabToXYZ(50, 0, 0, nullptr, &y, nullptr);
    EXPECT_NEAR(y, 18.4187, 1e-4);
}

}  // namespace
}  // namespace measure
