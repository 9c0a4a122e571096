#include "platform/d3d9/index_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Against the standard library over every length up to five vectors and every start within a
// vector, with values drawn from the whole 16-bit range and from around the sign boundary the
// vector compare flips.
TEST(IndexRange, IsTheLowestAndHighestIndexWhateverTheLengthAndAlignment) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(0, 0xFFFF);
    std::uniform_int_distribution<int> nearTop(0x7FF0, 0x800F);
    for (const bool boundary : {false, true}) {
        for (std::size_t start = 0; start < 8; ++start) {
            for (std::size_t count = 1; count <= 40; ++count) {
                std::vector<std::uint16_t> indices(start + count);
                for (std::uint16_t& index : indices)
                    index = static_cast<std::uint16_t>(boundary ? nearTop(random) : any(random));
                const auto [low, high] = std::minmax_element(indices.begin() + start, indices.end());
                const d3d9sw::IndexRange range = d3d9sw::RangeOfIndices(indices.data() + start, count);
                EXPECT_EQ(range.lowest, *low) << "start " << start << ", count " << count;
                EXPECT_EQ(range.highest, *high) << "start " << start << ", count " << count;
            }
        }
    }
    const std::uint16_t extremes[9] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0};
    EXPECT_EQ(d3d9sw::RangeOfIndices(extremes, 8).lowest, 0xFFFF);
    EXPECT_EQ(d3d9sw::RangeOfIndices(extremes, 9).lowest, 0);
    EXPECT_EQ(d3d9sw::RangeOfIndices(extremes + 8, 1).highest, 0);
}

}  // namespace
