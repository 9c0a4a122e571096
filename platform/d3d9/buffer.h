#pragma once
// Vertex and index buffers of the software device. Both keep their bytes in system memory and
// remember which bytes draws have read since the last D3DLOCK_DISCARD, so that a
// D3DLOCK_NOOVERWRITE lock over them (a ring-buffer bug that real hardware shows as flicker)
// is reported as a misuse.
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/ref_counted.h"

namespace d3d9sw {

class Device;

class BufferMemory {
public:
    // `what` names the buffer in misuse reports ("vertex buffer", "index buffer").
    BufferMemory(const char* what, UINT size, DWORD usage);

    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
    HRESULT Unlock();
    // A draw read bytes [begin, end).
    void MarkDrawn(std::size_t begin, std::size_t end);

    bool IsLocked() const { return lockCount_ > 0; }
    const std::uint8_t* Data() const { return memory_.data(); }
    UINT Size() const { return static_cast<UINT>(memory_.size()); }
    DWORD Usage() const { return usage_; }

private:
    const char* what_;
    std::vector<std::uint8_t> memory_;
    DWORD usage_;
    int lockCount_ = 0;  // buffers may be locked more than once; each lock needs its unlock
    std::vector<std::pair<std::size_t, std::size_t>> drawn_;  // disjoint, sorted
};

// The two buffer kinds differ only in their description record.
template <class Interface, class Desc>
class Buffer final : public Interface, public RefCounted {
public:
    // Arguments already validated by the device. `desc.Size` bytes, zeroed.
    Buffer(Device* device, const Desc& desc);
    ~Buffer() override;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD priority) override;
    DWORD GetPriority() override;
    void PreLoad() override;
    D3DRESOURCETYPE GetType() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(Desc* desc) override;

    BufferMemory& Memory() { return memory_; }
    const Desc& Description() const { return desc_; }
    Device* OwnerDevice() const { return device_; }
    static Buffer* From(Interface* buffer) { return dynamic_cast<Buffer*>(buffer); }

private:
    Device* device_;
    Desc desc_;
    BufferMemory memory_;
    DWORD priority_ = 0;
};

using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace d3d9sw
