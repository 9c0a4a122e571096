#include "particle/particle_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace {

// The Windows C runtime's rand seeded with 1 gives 41, 18467, 6334, 26500, 19169, 15724, ...
class ParticleRandomTest : public ::testing::Test {
protected:
    void SetUp() override { SeedParticleRandom(1); }
    void TearDown() override { SeedParticleRandom(1); }
};

constexpr float kTolerance = 1e-6f;

TEST_F(ParticleRandomTest, RangesDrawFromTheFifteenBitSequence) {
    EXPECT_NEAR(RandomInRange(2.0f, 4.0f), 2.0025025f, kTolerance);     // 2 + 41/32767 x 2
    EXPECT_NEAR(RandomInRange(5.0f, -5.0f), 0.6358531f, kTolerance);    // -5 + 18467/32767 x 10
    EXPECT_EQ(RandomInRange(3.0f, 3.0f), 3.0f);                          // no draw
    const vec3_t v = RandomVec3InRange({0.0f, 0.0f, 7.0f}, {1.0f, 10.0f, 7.0f});
    EXPECT_NEAR(v.x, 0.1933042f, kTolerance);                           // 6334/32767
    EXPECT_NEAR(v.y, 8.0874050f, 1e-5f);                                // 26500/32767 x 10
    EXPECT_EQ(v.z, 7.0f);
    EXPECT_EQ(ParticleRandom(), 19169);  // z drew nothing

}

TEST_F(ParticleRandomTest, SamplesStoreTheirDraws) {
    xyz_range_t box{{0.0f, -1.0f, 2.0f}, {1.0f, 1.0f, 2.0f}, {9.0f, 9.0f, 9.0f}};
    const vec3_t drawn = SampleVec3Range(box);
    EXPECT_NEAR(drawn.x, 41.0f / 32767.0f, kTolerance);
    EXPECT_NEAR(drawn.y, -1.0f + 18467.0f / 32767.0f * 2.0f, kTolerance);
    EXPECT_EQ(drawn.z, 2.0f);
    EXPECT_EQ(box.value.x, drawn.x);
    EXPECT_EQ(box.value.y, drawn.y);
    EXPECT_EQ(box.value.z, 2.0f);
    EXPECT_EQ(box.min.x, 0.0f);

    uv_range_t uv{0.0f, 0.5f, 1.0f, 0.5f, 0.0f, 0.0f};  // u in [0, 1], v fixed
    const std::array<float, 2> point = SampleUVRange(uv);
    EXPECT_NEAR(point[0], 6334.0f / 32767.0f, kTolerance);
    EXPECT_EQ(point[1], 0.5f);
    EXPECT_EQ(uv.valueU, point[0]);
    EXPECT_EQ(uv.valueV, 0.5f);
}

TEST_F(ParticleRandomTest, SeedsReproduceTheSequencePerThread) {
    SeedParticleRandom(7);
    const int first[] = {ParticleRandom(), ParticleRandom(), ParticleRandom()};
    EXPECT_EQ(first[0], 61);
    EXPECT_EQ(first[1], 17422);
    SeedParticleRandom(7);
    for (int value : first) EXPECT_EQ(ParticleRandom(), value);
    // Another thread starts from seed 1, whatever this one did.
    int other = 0;
    std::thread([&] { other = ParticleRandom(); }).join();
    EXPECT_EQ(other, 41);
}

TEST(PackColor, ClampsRoundsAndPacksArgb) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float r, g, b, a;
        std::uint32_t argb;
    } cases[] = {
        {1.0f, 0.0f, 0.0f, 1.0f, 0xFFFF0000u},
        {0.5f, 0.5f, 0.5f, 0.5f, 0x80808080u},     // 127.5 + 0.5 truncates to 128
        {2.0f, -1.0f, nan, 0.2f, 0x33FF0000u},     // 0.2 x 255 + 0.5 = 51.5 -> 51
        {0.999f, 0.001f, 0.0039f, 0.0f, 0x00FF0001u},
        {0.0f, 1.0f, 0.25f, 1.5f, 0xFF00FF40u},    // 63.75 + 0.5 -> 64
    };
    for (const auto& c : cases) EXPECT_EQ(PackColor(c.r, c.g, c.b, c.a), c.argb) << std::hex << c.argb;
}

}  // namespace
