// How the opaque processors batch, counted on the software device: draw calls, buffer locks
// and their flags, and the states each flush sets.
#include <string>

#include "tests/draw/batch_test_fixture.h"

namespace lumi::test {
namespace {

using BatchCountsTest = BatchTest;

std::string LockArgs(std::uint32_t offset, std::uint32_t bytes, DWORD flags) {
    return std::to_string(offset) + ", " + std::to_string(bytes) + ", " + std::to_string(flags);
}

TEST_F(BatchCountsTest, OneDrawPerProcessorAndPerTextureFromOneLockPerBuffer) {
    for (int i = 0; i < 5; ++i) Submit(Point(10 + i, 10, kRed));
    Submit(Lines({{0, 20, 10, 20}, {0, 22, 10, 22}}, kRed));
    Submit(Rect({30, 30, 35, 35}, kBlue, false));  // outline: to the lines
    for (int i = 0; i < 3; ++i) Submit(Triangle(40 + i, 40, 50, 40, 40, 50, kGreen));
    for (int i = 0; i < 4; ++i) Submit(Rect({60 + i, 60, 70, 70}, kGreen));
    CD3DTexture* textures[3] = {MakePatternTexture(4, 1), MakePatternTexture(4, 2), MakePatternTexture(4, 3)};
    for (int i = 0; i < 30; ++i) Submit(Textured(textures[i % 3], {0, 0, 4, 4}, {100 + i, 100, 104 + i, 104}));

    std::uint32_t vertexBytes = 0;
    std::uint32_t indexBytes = 0;
    viewport_->GetDrawStats(&vertexBytes, &indexBytes);
    const std::uint32_t vertices = 5 + 2 * 2 + 4 * 2 + 3 * 3 + 4 * 4 + 30 * 4;
    const std::uint32_t indices = 4 * 6 + 30 * 6;
    EXPECT_EQ(vertexBytes, vertices * 24);
    EXPECT_EQ(indexBytes, indices * 2);

    const d3d9ctl::Counters counters = Frame();
    EXPECT_EQ(counters.drawCalls, 4u + 3u) << "points, lines, triangles, rectangles, then one per texture";
    EXPECT_EQ(counters.primitives, 5u + 6u + 3u + 8u + 60u);
    EXPECT_EQ(Renderer()->GetStatistics()->Batches, 7) << "one batch per device draw";
    EXPECT_EQ(Renderer()->GetVertexBuffer()->GetSize(), vertexBytes * 4) << "grown to what the layers reported";
    const auto locks = Calls("Lock");
    ASSERT_EQ(locks.size(), 7u) << "vertices of five processors, indices of two";
    for (const auto& lock : locks) EXPECT_EQ(lock.args.substr(lock.args.rfind(' ') + 1), "4096") << lock.args;
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
}

TEST_F(BatchCountsTest, AppendsRunOnAcrossFramesAndDiscardAtTheEnd) {
    constexpr std::uint32_t kVertexBytes = 3 * 4 * 24;
    constexpr std::uint32_t kIndexBytes = 3 * 6 * 2;
    for (std::uint32_t frame = 0; frame < 6; ++frame) {
        for (int i = 0; i < 3; ++i) Submit(Rect({i * 10, 0, i * 10 + 5, 5}, kRed));
        Frame();
        // Both buffers hold four frames' worth: the fifth starts over.
        const std::uint32_t slot = frame % 4;
        const DWORD flags = frame == 4 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
        const auto locks = Calls("Lock");
        ASSERT_EQ(locks.size(), 2u) << "frame " << frame;
        EXPECT_EQ(locks[0].args, LockArgs(slot * kVertexBytes, kVertexBytes, flags)) << "frame " << frame;
        EXPECT_EQ(locks[1].args, LockArgs(slot * kIndexBytes, kIndexBytes, flags)) << "frame " << frame;
        EXPECT_EQ(Pixel(12, 2), 0xFF0000u) << "frame " << frame;
    }
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
}

TEST_F(BatchCountsTest, StatesAreSetOnlyWhenTheyDiffer) {
    auto submitFrame = [&] {
        Submit(Lines({{0, 0, 5, 0}}, kRed));
        Submit(Triangle(10, 10, 20, 10, 10, 20, kRed));
        Submit(Rect({30, 30, 35, 35}, kRed));
        Submit(Point(40, 40, kRed));
        return Frame();
    };
    submitFrame();
    submitFrame();
    // Only the triangles' cull mode differs from the others'.
    const auto renderStates = Calls("SetRenderState");
    ASSERT_EQ(renderStates.size(), 2u);
    EXPECT_EQ(renderStates[0].args, "22, 1");
    EXPECT_EQ(renderStates[1].args, "22, 3");
    EXPECT_TRUE(Calls("SetTextureStageState").empty());
    EXPECT_TRUE(Calls("SetPixelShader").empty());
    EXPECT_TRUE(Calls("SetSamplerState").empty());
}

TEST_F(BatchCountsTest, SixteenBitIndicesStartANewDrawPast65536Vertices) {
    CD3DTexture* texture = MakePatternTexture(4);
    constexpr int kQuadsPerDraw = 65536 / 4;
    for (int i = 0; i < kQuadsPerDraw; ++i) Submit(Textured(texture, {0, 0, 1, 1}, {0, 0, 1, 1}));
    Submit(Textured(texture, {0, 0, 4, 4}, {100, 100, 104, 104}));
    const d3d9ctl::Counters counters = Frame();
    EXPECT_EQ(counters.drawCalls, 2u);
    EXPECT_EQ(counters.primitives, 2u * kQuadsPerDraw + 2u);
    EXPECT_EQ(Calls("Lock").size(), 2u);
    EXPECT_EQ(Pixel(103, 103), PatternTexel(3, 3) & 0xFFFFFF) << "the quad past the first range";
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
}

TEST_F(BatchCountsTest, ArraysGrowGeometrically) {
    batch_arrays_t arrays(64, 64);
    for (int i = 0; i < 17; ++i) {
        vertex_t* quad = arrays.AddQuad();
        for (int k = 0; k < 4; ++k) quad[k].x = static_cast<float>(i);
    }
    EXPECT_EQ(arrays.VertexCapacity(), 128);
    EXPECT_EQ(arrays.IndexCapacity(), 128);
    EXPECT_EQ(arrays.Vertices()[0].x, 0.0f);
    EXPECT_EQ(arrays.Vertices()[67].x, 16.0f);
    EXPECT_EQ(arrays.Indices()[101], 67) << "the last quad's indices";
    arrays.Clear();
    arrays.AddQuad();
    EXPECT_EQ(arrays.VertexCapacity(), 128) << "storage kept across frames";
}

TEST_F(BatchCountsTest, TextureBatchesLeftEmptyAreFreedAfterAWhile) {
    CD3DTexture* texture = MakePatternTexture(4);
    Submit(Textured(texture, {0, 0, 4, 4}, {0, 0, 4, 4}));
    Frame();
    COpaqueTexDrawCmdBatchProcessor* processor = Layer()->texProcessor;
    for (int frame = 1; frame < COpaqueTexDrawCmdBatchProcessor::kIdleResetsBeforeDrop; ++frame) Frame();
    EXPECT_EQ(processor->GetBatchCount(), 1);
    Frame();
    EXPECT_EQ(processor->GetBatchCount(), 0);
    Submit(Textured(texture, {0, 0, 4, 4}, {0, 0, 4, 4}));
    EXPECT_EQ(Frame().drawCalls, 1u);
    EXPECT_EQ(Pixel(3, 3), PatternTexel(3, 3) & 0xFFFFFF);
}

// Power-of-two sizes multiply by their reciprocal: the coordinates must still be the
// quotients themselves, bit for bit, as for any other size.
TEST_F(BatchCountsTest, TextureCoordinatesAreTheQuotientsOfSourceAndSize) {
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {256, 64}, {2048, 1024}, {3, 7}, {100, 64}, {64, 100}, {4095, 1}};
    const RECT sources[] = {{0, 0, 1, 1}, {1, 3, 2, 5}, {17, 29, 1000, 999}, {-5, -1, 70000, 33}};
    for (const auto& size : sizes) {
        for (const RECT& source : sources) {
            float uv[4];
            SourceTextureCoordinates(source, size.width, size.height, uv);
            const float w = static_cast<float>(size.width), h = static_cast<float>(size.height);
            const float expected[4] = {static_cast<float>(source.left) / w, static_cast<float>(source.top) / h,
                                       static_cast<float>(source.right) / w, static_cast<float>(source.bottom) / h};
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(uv[i], expected[i]) << size.width << "x" << size.height << " lane " << i;
        }
    }
}

}  // namespace
}  // namespace lumi::test
