#include "draw/d3d_buffers.h"

#include <cstring>
#include <type_traits>

#include "core/exception.h"
#include "core/render_target_host.h"

namespace {

constexpr DWORD kDynamicWriteOnly = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;

// Whose words a failure uses: the vertex buffer's or the index buffer's.
template <class Buffer>
constexpr bool kVertices = std::is_same_v<Buffer, IDirect3DVertexBuffer9>;

}  // namespace

// ---- CD3DBuffer ------------------------------------------------------------------------------

CD3DBuffer::CD3DBuffer(CLumiscriber* renderer) : ownedHost_(MakeRendererHost(renderer)), host_(ownedHost_.get()) {}

CD3DBuffer::CD3DBuffer(CRenderTargetHost* host) : host_(host) {}

CD3DBuffer::~CD3DBuffer() = default;

IDirect3DDevice9* CD3DBuffer::Device() const { return host_ != nullptr ? host_->GetDevice() : nullptr; }

void CD3DBuffer::CheckRange(std::uint32_t offset, std::uint32_t size) const {
    if (offset > size_ || static_cast<std::uint64_t>(offset) + size > size_) throw lumi::Exception("invalid param.");
}

void CD3DBuffer::OnLocked(std::uint32_t offset, std::uint32_t size, void* data) {
    lockOffset_ = offset;
    lockSize_ = size != 0 ? size : size_ - offset;  // the device locks to the end
    locked_ = 1;
    writePosition_ = 0;
    lockedData_ = static_cast<std::uint8_t*>(data);
}

void CD3DBuffer::OnUnlocked() {
    locked_ = 0;
    lockedData_ = nullptr;
    writePosition_ = 0;
}

void CD3DBuffer::Write(const void* source, std::uint32_t bytes) {
    if (locked_ == 0 || static_cast<std::uint64_t>(writePosition_) + bytes > lockSize_) {
        throw lumi::Exception("buffer not locked.");
    }
    if (bytes != 0) std::memcpy(lockedData_ + writePosition_, source, bytes);
    writePosition_ += bytes;
}

void CD3DBuffer::Rewind() {
    if (locked_ != 0) throw lumi::Exception("invalid operate.");
    lockOffset_ = 0;
    lockSize_ = 0;
    writePosition_ = 0;
    lockedData_ = nullptr;
}

std::uint32_t CD3DBuffer::BeginAppend(std::uint32_t bytes) {
    std::uint32_t start = GetAppendOffset();
    DWORD flags = D3DLOCK_NOOVERWRITE;
    if (static_cast<std::uint64_t>(start) + bytes > size_) {
        Rewind();
        start = 0;
        flags = D3DLOCK_DISCARD;
    }
    Lock(start, bytes, flags);
    return start;
}

std::uint32_t CD3DBuffer::Append(const void* source, std::uint32_t bytes) {
    // A lock of 0 bytes would take the rest of the buffer and force the next append to discard.
    if (bytes == 0) return GetAppendOffset();
    const std::uint32_t start = BeginAppend(bytes);
    Write(source, bytes);
    Unlock();
    return start;
}

// ---- CD3DDeviceBuffer ------------------------------------------------------------------------

template <class Buffer>
CD3DDeviceBuffer<Buffer>::~CD3DDeviceBuffer() {
    if (buffer_ != nullptr) {
        if (locked_ != 0) buffer_->Unlock();
        buffer_->Release();
    }
}

template <class Buffer>
void CD3DDeviceBuffer<Buffer>::CheckNotCreated() const {
    if (buffer_ != nullptr) throw lumi::Exception("buffer had been created, release it first.");
}

template <class Buffer>
void CD3DDeviceBuffer<Buffer>::Release() {
    if (locked_ != 0) throw lumi::Exception("buffer still lock.");
    Rewind();
    size_ = 0;
    if (buffer_ != nullptr) {
        buffer_->Release();
        buffer_ = nullptr;
    }
}

template <class Buffer>
bool CD3DDeviceBuffer<Buffer>::Lock(std::uint32_t offset, std::uint32_t size, DWORD flags) {
    CheckRange(offset, size);
    void* data = nullptr;
    if (buffer_ == nullptr || FAILED(buffer_->Lock(offset, size, &data, flags))) {
        throw lumi::Exception(kVertices<Buffer> ? "vertex buffer lock failed." : "index buffer lock failed.");
    }
    OnLocked(offset, size, data);
    return true;
}

template <class Buffer>
bool CD3DDeviceBuffer<Buffer>::Unlock() {
    if (locked_ == 0) return false;
    if (FAILED(buffer_->Unlock())) {
        throw lumi::Exception(kVertices<Buffer> ? "unlock vertex buffer failed." : "unlock index buffer failed.");
    }
    OnUnlocked();
    return true;
}

template class CD3DDeviceBuffer<IDirect3DVertexBuffer9>;
template class CD3DDeviceBuffer<IDirect3DIndexBuffer9>;

// ---- CD3DVertexBuffer ------------------------------------------------------------------------

CD3DVertexBuffer::CD3DVertexBuffer(CLumiscriber* renderer) : CD3DDeviceBuffer(renderer) {}

CD3DVertexBuffer::CD3DVertexBuffer(CRenderTargetHost* host) : CD3DDeviceBuffer(host) {}

HRESULT CD3DVertexBuffer::Create(std::uint32_t bytes) {
    CheckNotCreated();
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    IDirect3DVertexBuffer9* buffer = nullptr;
    const HRESULT hr = device->CreateVertexBuffer(bytes, kDynamicWriteOnly, 0, D3DPOOL_DEFAULT, &buffer, nullptr);
    if (SUCCEEDED(hr)) {
        buffer_ = buffer;
        size_ = bytes;
    }
    return hr;
}

// ---- CD3DIndexBuffer -------------------------------------------------------------------------

CD3DIndexBuffer::CD3DIndexBuffer(CLumiscriber* renderer) : CD3DDeviceBuffer(renderer) {}

CD3DIndexBuffer::CD3DIndexBuffer(CRenderTargetHost* host) : CD3DDeviceBuffer(host) {}

HRESULT CD3DIndexBuffer::Create(std::uint32_t bytes) {
    CheckNotCreated();
    if (bytes == 0) return S_OK;
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    IDirect3DIndexBuffer9* buffer = nullptr;
    const HRESULT hr =
        device->CreateIndexBuffer(bytes, kDynamicWriteOnly, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &buffer, nullptr);
    if (SUCCEEDED(hr)) {
        buffer_ = buffer;
        size_ = bytes;
        format_ = D3DFMT_INDEX16;
    }
    return hr;
}
