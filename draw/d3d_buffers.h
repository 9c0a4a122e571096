#pragma once
// The two device buffers all batched drawing streams through: one dynamic vertex buffer and
// one dynamic 16-bit index buffer, both in D3DPOOL_DEFAULT. The renderer owns one of each,
// grows them before a frame's drawing to what the layers report, releases them on device
// loss and lets the next growth make them again.
//
// Every upload appends behind the last one with a no-overwrite lock and starts over at 0
// with a discard lock when the rest is too small (Append), so the buffers act as rings that
// carry over from frame to frame. A buffer is never locked across calls.
//
// Misuse throws lumi::Exception with a short message (listed per operation).
#include <cstdint>
#include <memory>

#include "platform/d3d9/d3d9.h"

class CLumiscriber;
class CRenderTargetHost;

class CD3DBuffer {
public:
    // Locks [offset, offset + size) with the device flags. A size of 0 locks from offset to
    // the end. Throws "invalid param." when the range leaves the buffer, "vertex buffer lock
    // failed." / "index buffer lock failed." when the device refuses; true otherwise.
    virtual bool Lock(std::uint32_t offset, std::uint32_t size, DWORD flags) = 0;
    // False when not locked (the device is not called); throws "unlock vertex buffer failed."
    // / "unlock index buffer failed." when the device refuses.
    virtual bool Unlock() = 0;

    // Copies bytes at the write position inside the locked range and advances it; throws
    // "buffer not locked." when unlocked or when the bytes pass the locked range.
    void Write(const void* source, std::uint32_t bytes);
    // Back to the start: throws "invalid operate." while locked.
    void Rewind();
    // Where the next append starts: the end of the last locked range.
    std::uint32_t GetAppendOffset() const { return lockOffset_ + lockSize_; }

    // Locks room for `bytes` behind the last upload (D3DLOCK_NOOVERWRITE), or from 0 with
    // D3DLOCK_DISCARD when they do not fit in the rest, for an upload written in pieces
    // (Write); returns the byte offset it starts at. The caller unlocks. Throws as Lock does.
    std::uint32_t BeginAppend(std::uint32_t bytes);
    // The same upload in one piece, unlocked again; throws as Lock, Write and Unlock do.
    // Nothing to upload changes nothing (the device is not called) and returns where the next
    // append starts.
    std::uint32_t Append(const void* source, std::uint32_t bytes);

    std::uint32_t GetSize() const { return size_; }  // bytes; 0 = not created
    bool IsCreated() const { return size_ != 0; }
    bool IsLocked() const { return locked_ != 0; }

protected:
    explicit CD3DBuffer(CLumiscriber* renderer);
    explicit CD3DBuffer(CRenderTargetHost* host);
    ~CD3DBuffer();
    CD3DBuffer(const CD3DBuffer&) = delete;
    CD3DBuffer& operator=(const CD3DBuffer&) = delete;

    IDirect3DDevice9* Device() const;
    void CheckRange(std::uint32_t offset, std::uint32_t size) const;
    void OnLocked(std::uint32_t offset, std::uint32_t size, void* data);
    void OnUnlocked();

    std::uint32_t size_ = 0;
    std::uint8_t locked_ = 0;
    std::uint32_t lockOffset_ = 0;
    std::uint32_t lockSize_ = 0;  // stays after Unlock: offset + size is where the next append starts
    std::uint32_t writePosition_ = 0;
    std::uint8_t* lockedData_ = nullptr;

private:
    std::unique_ptr<CRenderTargetHost> ownedHost_;  // the binding to a renderer, when made with one
    CRenderTargetHost* host_;
};

// A CD3DBuffer over its Direct3D buffer (IDirect3DVertexBuffer9 or IDirect3DIndexBuffer9).
template <class Buffer>
class CD3DDeviceBuffer : public CD3DBuffer {
public:
    // Throws "buffer still lock." while locked; otherwise the device buffer goes and the
    // buffer is back to size 0 and position 0.
    void Release();
    bool Lock(std::uint32_t offset, std::uint32_t size, DWORD flags) override;
    bool Unlock() override;

    Buffer* GetBuffer() const { return buffer_; }

protected:
    explicit CD3DDeviceBuffer(CLumiscriber* renderer) : CD3DBuffer(renderer) {}
    explicit CD3DDeviceBuffer(CRenderTargetHost* host) : CD3DBuffer(host) {}
    // Releases the device buffer (a buffer still locked is unlocked first).
    ~CD3DDeviceBuffer();
    // Throws "buffer had been created, release it first." when one exists.
    void CheckNotCreated() const;

    Buffer* buffer_ = nullptr;
};

class CD3DVertexBuffer final : public CD3DDeviceBuffer<IDirect3DVertexBuffer9> {
public:
    explicit CD3DVertexBuffer(CLumiscriber* renderer);
    explicit CD3DVertexBuffer(CRenderTargetHost* host);  // tests; `host` must outlive the buffer

    // Throws "buffer had been created, release it first." when one exists. Makes a write-only
    // dynamic buffer of `bytes` in the default pool; the size is kept on success. Returns the
    // device's result (D3DERR_INVALIDCALL without a device).
    HRESULT Create(std::uint32_t bytes);
};

class CD3DIndexBuffer final : public CD3DDeviceBuffer<IDirect3DIndexBuffer9> {
public:
    explicit CD3DIndexBuffer(CLumiscriber* renderer);
    explicit CD3DIndexBuffer(CRenderTargetHost* host);  // tests; `host` must outlive the buffer

    // As the vertex buffer, with 16-bit indices; 0 bytes makes nothing and returns S_OK.
    HRESULT Create(std::uint32_t bytes);
    D3DFORMAT GetFormat() const { return format_; }  // D3DFMT_INDEX16 once created

private:
    D3DFORMAT format_ = D3DFMT_UNKNOWN;
};
