#include <atomic>
#include <new>
#include <vector>

#include "platform/d3dx9/d3dx9.h"

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(DWORD size) : bytes_(size) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ID3DXBuffer) {
            AddRef();
            *object = static_cast<ID3DXBuffer*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    LPVOID GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    ~Buffer() = default;
    std::atomic<ULONG> references_{1};
    std::vector<BYTE> bytes_;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, LPD3DXBUFFER* buffer) {
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    try {
        *buffer = new Buffer(numBytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
