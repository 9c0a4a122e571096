#include "platform/d3d9/buffer.h"

#include <algorithm>
#include <string>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"

namespace d3d9sw {
namespace {

constexpr DWORD kBufferLockFlags =
    D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK | D3DLOCK_DONOTWAIT;

template <class Interface>
const IID& InterfaceId();
template <>
const IID& InterfaceId<IDirect3DVertexBuffer9>() { return IID_IDirect3DVertexBuffer9; }
template <>
const IID& InterfaceId<IDirect3DIndexBuffer9>() { return IID_IDirect3DIndexBuffer9; }

const char* BufferName(const D3DVERTEXBUFFER_DESC&) { return "vertex buffer"; }
const char* BufferName(const D3DINDEXBUFFER_DESC&) { return "index buffer"; }

}  // namespace

BufferMemory::BufferMemory(const char* what, UINT size, DWORD usage) : what_(what), memory_(size), usage_(usage) {}

HRESULT BufferMemory::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    if (data == nullptr) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if ((flags & ~kBufferLockFlags) != 0) return D3DERR_INVALIDCALL;
    const bool discard = (flags & D3DLOCK_DISCARD) != 0;
    const bool noOverwrite = (flags & D3DLOCK_NOOVERWRITE) != 0;
    if ((discard || noOverwrite) && (usage_ & D3DUSAGE_DYNAMIC) == 0) return D3DERR_INVALIDCALL;
    if (discard && (noOverwrite || (flags & D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_READONLY) && (usage_ & D3DUSAGE_WRITEONLY)) return D3DERR_INVALIDCALL;
    const std::size_t total = memory_.size();
    if (offset >= total) return D3DERR_INVALIDCALL;
    const std::size_t end = size == 0 ? total : static_cast<std::size_t>(offset) + size;
    if (end > total) return D3DERR_INVALIDCALL;

    if (noOverwrite) {
        for (const auto& [begin, drawnEnd] : drawn_) {
            if (begin < end && offset < drawnEnd) {
                ReportMisuse(std::string("NOOVERWRITE lock of ") + what_ + " bytes [" + std::to_string(offset) + ", " +
                             std::to_string(end) + ") that a draw read since the last DISCARD (bytes [" +
                             std::to_string(begin) + ", " + std::to_string(drawnEnd) + "))");
                break;
            }
        }
    } else {
        // A DISCARD renames the memory and a plain lock waits for the draws: nothing is in flight after either.
        drawn_.clear();
    }
    ++lockCount_;
    *data = memory_.data() + offset;

    d3d9ctl::Counters& counters = Control().counters;
    ++counters.locks;
    if (discard) ++counters.locksDiscard;
    if (noOverwrite) ++counters.locksNoOverwrite;
    if (flags & D3DLOCK_READONLY) ++counters.locksReadOnly;
    return D3D_OK;
}

HRESULT BufferMemory::Unlock() {
    if (lockCount_ == 0) return D3DERR_INVALIDCALL;
    --lockCount_;
    return D3D_OK;
}

void BufferMemory::MarkDrawn(std::size_t begin, std::size_t end) {
    if (begin >= end) return;
    std::vector<std::pair<std::size_t, std::size_t>> merged;
    merged.reserve(drawn_.size() + 1);
    for (const auto& range : drawn_) {
        if (range.second < begin || range.first > end) {
            merged.push_back(range);
        } else {
            begin = std::min(begin, range.first);
            end = std::max(end, range.second);
        }
    }
    merged.emplace_back(begin, end);
    std::sort(merged.begin(), merged.end());
    drawn_ = std::move(merged);
}

template <class Interface, class Desc>
Buffer<Interface, Desc>::Buffer(Device* device, const Desc& desc)
    : RefCounted(device, nullptr), device_(device), desc_(desc), memory_(BufferName(desc), desc.Size, desc.Usage) {}

template <class Interface, class Desc>
Buffer<Interface, Desc>::~Buffer() {
    device_->ForgetResource(this);
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == InterfaceId<Interface>()) {
        *object = static_cast<Interface*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class Interface, class Desc>
ULONG Buffer<Interface, Desc>::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

template <class Interface, class Desc>
ULONG Buffer<Interface, Desc>::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::GetDevice(IDirect3DDevice9** device) {
    auto lock = LockApi();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

template <class Interface, class Desc>
DWORD Buffer<Interface, Desc>::SetPriority(DWORD priority) {
    auto lock = LockApi();
    const DWORD previous = priority_;
    priority_ = priority;
    return previous;
}

template <class Interface, class Desc>
DWORD Buffer<Interface, Desc>::GetPriority() {
    auto lock = LockApi();
    return priority_;
}

template <class Interface, class Desc>
void Buffer<Interface, Desc>::PreLoad() {}

template <class Interface, class Desc>
D3DRESOURCETYPE Buffer<Interface, Desc>::GetType() {
    return desc_.Type;
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    auto lock = LockApi();
    const ArgList args = Args(offset, size, flags);
    HRESULT hr;
    if (TakeScriptedFailure("Lock", &hr)) {
        if (data != nullptr) *data = nullptr;
        return Logged("Lock", args, hr);
    }
    return Logged("Lock", args, memory_.Lock(offset, size, data, flags));
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::Unlock() {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("Unlock", &hr)) return Logged("Unlock", "", hr);
    return Logged("Unlock", "", memory_.Unlock());
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::GetDesc(Desc* desc) {
    auto lock = LockApi();
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace d3d9sw
