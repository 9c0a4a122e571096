// The dynamic vertex and index buffers over the software device: appends that run on with
// no-overwrite locks and wrap to the start with a discard lock, the misuse and device-failure
// messages, and creation failures that leave the buffer empty. The renderer's growth of the
// buffers to a frame's needs is tested with the frame loop.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "draw/d3d_buffers.h"
#include "tests/core/render_target_test_host.h"

namespace lumi::test {
namespace {

std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// The offsets and flags of the buffer locks in the call log.
std::vector<std::string> LockCalls() {
    std::vector<std::string> calls;
    for (const auto& call : d3d9ctl::CallLog()) {
        if (call.method == "Lock") calls.push_back(call.args);
    }
    return calls;
}

using DynamicBufferTest = TargetTest;

TEST_F(DynamicBufferTest, AppendsRunOnWithNoOverwriteUntilTheEndThenDiscardFromTheStart) {
    CD3DVertexBuffer buffer(&host_);
    ASSERT_EQ(buffer.Create(96), D3D_OK);
    const std::vector<std::uint8_t> bytes(72, 0xAB);
    d3d9ctl::ResetCounters();

    EXPECT_EQ(buffer.Append(bytes.data(), 48), 0u);
    EXPECT_EQ(buffer.Append(bytes.data(), 48), 48u);  // exactly reaches the end
    EXPECT_EQ(buffer.GetAppendOffset(), 96u);
    EXPECT_EQ(d3d9ctl::GetCounters().locksNoOverwrite, 2u);
    EXPECT_EQ(d3d9ctl::GetCounters().locksDiscard, 0u);

    const std::vector<std::uint8_t> wrapped(24, 0x11);
    EXPECT_EQ(buffer.Append(wrapped.data(), 24), 0u);  // one vertex more than fits: start over
    EXPECT_EQ(d3d9ctl::GetCounters().locksDiscard, 1u);
    EXPECT_EQ(buffer.Append(bytes.data(), 72), 24u);
    void* memory = nullptr;
    ASSERT_EQ(buffer.GetBuffer()->Lock(0, 96, &memory, 0), D3D_OK);
    const auto* landed = static_cast<const std::uint8_t*>(memory);
    EXPECT_EQ(std::vector<std::uint8_t>(landed, landed + 24), wrapped);
    EXPECT_EQ(std::vector<std::uint8_t>(landed + 24, landed + 96), bytes);
    buffer.GetBuffer()->Unlock();
    EXPECT_EQ(d3d9ctl::GetCounters().locksNoOverwrite, 3u);
    EXPECT_FALSE(buffer.IsLocked());
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());

    CD3DIndexBuffer indices(&host_);
    ASSERT_EQ(indices.Create(8), D3D_OK);
    const std::uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
    d3d9ctl::ClearCallLog();
    EXPECT_EQ(indices.Append(quad, 4), 0u);
    EXPECT_EQ(indices.Append(quad, 4), 4u);
    EXPECT_EQ(indices.Append(quad, 6), 0u);
    ASSERT_EQ(LockCalls().size(), 3u);
}

TEST_F(DynamicBufferTest, AnEmptyAppendChangesNothing) {
    CD3DVertexBuffer buffer(&host_);
    ASSERT_EQ(buffer.Create(96), D3D_OK);
    const std::vector<std::uint8_t> bytes(24, 0xCD);
    ASSERT_EQ(buffer.Append(bytes.data(), 24), 0u);
    d3d9ctl::ResetCounters();
    d3d9ctl::ClearCallLog();

    EXPECT_EQ(buffer.Append(bytes.data(), 0), 24u);
    EXPECT_EQ(buffer.GetAppendOffset(), 24u);
    EXPECT_TRUE(LockCalls().empty()) << "the device is not called";
    EXPECT_EQ(buffer.Append(bytes.data(), 24), 24u) << "the next append runs on";
    EXPECT_EQ(d3d9ctl::GetCounters().locksDiscard, 0u);
    EXPECT_EQ(d3d9ctl::GetCounters().locksNoOverwrite, 1u);
}

TEST_F(DynamicBufferTest, MisuseThrowsTheBuffersMessages) {
    CD3DVertexBuffer buffer(&host_);
    ASSERT_EQ(buffer.Create(64), D3D_OK);
    std::uint8_t data[64] = {};

    EXPECT_EQ(MessageOf([&] { buffer.Create(64); }), "buffer had been created, release it first.");
    EXPECT_EQ(MessageOf([&] { buffer.Lock(60, 8, 0); }), "invalid param.");
    EXPECT_EQ(MessageOf([&] { buffer.Lock(65, 0, 0); }), "invalid param.");
    EXPECT_EQ(MessageOf([&] { buffer.Write(data, 4); }), "buffer not locked.");

    const int unlocks = d3d9ctl::CallCount("Unlock");
    EXPECT_FALSE(buffer.Unlock());
    EXPECT_EQ(d3d9ctl::CallCount("Unlock"), unlocks);

    ASSERT_TRUE(buffer.Lock(16, 32, D3DLOCK_NOOVERWRITE));
    EXPECT_NO_THROW(buffer.Write(data, 24));
    EXPECT_EQ(MessageOf([&] { buffer.Write(data, 9); }), "buffer not locked.");
    EXPECT_EQ(MessageOf([&] { buffer.Rewind(); }), "invalid operate.");
    EXPECT_EQ(MessageOf([&] { buffer.Release(); }), "buffer still lock.");
    EXPECT_TRUE(buffer.Unlock());
    EXPECT_EQ(buffer.GetAppendOffset(), 48u);
    buffer.Rewind();
    EXPECT_EQ(buffer.GetAppendOffset(), 0u);

    // A size of 0 locks to the end.
    ASSERT_TRUE(buffer.Lock(40, 0, 0));
    EXPECT_NO_THROW(buffer.Write(data, 24));
    EXPECT_EQ(MessageOf([&] { buffer.Write(data, 1); }), "buffer not locked.");
    buffer.Unlock();

    buffer.Release();
    EXPECT_EQ(buffer.GetSize(), 0u);
    EXPECT_EQ(buffer.GetAppendOffset(), 0u);
    EXPECT_EQ(buffer.Create(32), D3D_OK);
}

TEST_F(DynamicBufferTest, DeviceFailuresAreReportedAndLeaveNoBuffer) {
    CD3DVertexBuffer vertices(&host_);
    CD3DIndexBuffer indices(&host_);
    d3d9ctl::FailCall("CreateVertexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(vertices.Create(96), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(vertices.IsCreated());
    EXPECT_EQ(MessageOf([&] { vertices.Lock(0, 0, 0); }), "vertex buffer lock failed.");
    EXPECT_EQ(vertices.Create(96), D3D_OK);

    const int creations = d3d9ctl::CallCount("CreateIndexBuffer");
    EXPECT_EQ(indices.Create(0), D3D_OK);
    EXPECT_FALSE(indices.IsCreated());
    EXPECT_EQ(d3d9ctl::CallCount("CreateIndexBuffer"), creations);
    ASSERT_EQ(indices.Create(12), D3D_OK);

    const std::uint8_t data[12] = {};
    d3d9ctl::FailCall("Lock", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(MessageOf([&] { vertices.Append(data, 12); }), "vertex buffer lock failed.");
    d3d9ctl::FailCall("Lock", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(MessageOf([&] { indices.Append(data, 12); }), "index buffer lock failed.");
    d3d9ctl::FailCall("Unlock", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(MessageOf([&] { vertices.Append(data, 12); }), "unlock vertex buffer failed.");
    vertices.Unlock();
    d3d9ctl::FailCall("Unlock", 1, D3DERR_INVALIDCALL);
    EXPECT_EQ(MessageOf([&] { indices.Append(data, 12); }), "unlock index buffer failed.");
    indices.Unlock();

    // Released buffers hold nothing in the default pool: the device can be reset.
    vertices.Release();
    indices.Release();
    D3DPRESENT_PARAMETERS pp = host_.settings.pp;
    EXPECT_EQ(host_.device->Reset(&pp), D3D_OK);
}

}  // namespace
}  // namespace lumi::test
