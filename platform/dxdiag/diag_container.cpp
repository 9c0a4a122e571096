#include <atomic>
#include <new>
#include <string>
#include <type_traits>

#include "platform/d3d9/d3d9.h"  // IID_IUnknown
#include "platform/dxdiag/diag_objects.h"

namespace dxdiag {
namespace {

// Copies `name` with its terminator when it fits; else leaves an empty string.
HRESULT CopyName(const std::u16string& name, LPWSTR buffer, DWORD capacity) {
    if (name.size() + 1 > capacity) {
        buffer[0] = u'\0';
        return DXDIAG_E_INSUFFICIENT_BUFFER;
    }
    name.copy(buffer, name.size());
    buffer[name.size()] = u'\0';
    return S_OK;
}

HRESULT ToVariant(const DiagValue& source, VARIANT* target) {
    VARIANT value;
    VariantInit(&value);
    if (const auto* text = std::get_if<std::u16string>(&source.value)) {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
        if (!value.bstrVal) return E_OUTOFMEMORY;
    } else if (const auto* unsignedValue = std::get_if<std::uint32_t>(&source.value)) {
        value.vt = VT_UI4;
        value.ulVal = *unsignedValue;
    } else if (const auto* signedValue = std::get_if<std::int32_t>(&source.value)) {
        value.vt = VT_I4;
        value.lVal = *signedValue;
    } else {
        value.vt = VT_BOOL;
        value.boolVal = std::get<bool>(source.value) ? VARIANT_TRUE : VARIANT_FALSE;
    }
    // What the caller's variant held is freed only once the copy exists.
    const HRESULT cleared = VariantClear(target);
    if (FAILED(cleared)) {
        VariantClear(&value);
        return cleared;
    }
    *target = value;
    return S_OK;
}

class DiagContainer final : public IDxDiagContainer {
public:
    DiagContainer(std::shared_ptr<const DiagNode> tree, const DiagNode* node) : tree_(std::move(tree)), node_(node) {
        dxdiagctl::detail::ObjectCreated();
    }
    DiagContainer(const DiagContainer&) = delete;
    DiagContainer& operator=(const DiagContainer&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IDxDiagContainer) && !(iid == IID_IUnknown)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IDxDiagContainer*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetNumberOfChildContainers(DWORD* count) override {
        if (!count) return E_INVALIDARG;
        *count = static_cast<DWORD>(node_->ChildCount());
        return S_OK;
    }

    HRESULT EnumChildContainerNames(DWORD index, LPWSTR name, DWORD capacity) override {
        if (!name || capacity == 0) return E_INVALIDARG;
        if (index >= node_->ChildCount()) return E_INVALIDARG;
        return CopyName(node_->ChildName(index), name, capacity);
    }

    HRESULT GetChildContainer(LPCWSTR name, IDxDiagContainer** container) override {
        if (!container) return E_INVALIDARG;
        *container = nullptr;
        if (!name) return E_INVALIDARG;
        const DiagNode* child = node_->Find(name);
        if (!child) return E_INVALIDARG;
        *container = NewContainer(tree_, child);
        return *container ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetNumberOfProps(DWORD* count) override {
        if (!count) return E_INVALIDARG;
        *count = static_cast<DWORD>(node_->PropCount());
        return S_OK;
    }

    HRESULT EnumPropNames(DWORD index, LPWSTR name, DWORD capacity) override {
        if (!name || capacity == 0) return E_INVALIDARG;
        if (index >= node_->PropCount()) return E_INVALIDARG;
        return CopyName(node_->PropName(index), name, capacity);
    }

    HRESULT GetProp(LPCWSTR name, VARIANT* value) override {
        if (!name || !value) return E_INVALIDARG;
        const DiagValue* prop = node_->Prop(name);
        if (!prop) return E_INVALIDARG;
        return ToVariant(*prop, value);
    }

private:
    ~DiagContainer() { dxdiagctl::detail::ObjectDestroyed(); }

    std::atomic<ULONG> references_{1};
    const std::shared_ptr<const DiagNode> tree_;
    const DiagNode* const node_;
};

}  // namespace

IDxDiagContainer* NewContainer(std::shared_ptr<const DiagNode> tree, const DiagNode* node) {
    return new (std::nothrow) DiagContainer(std::move(tree), node);
}

}  // namespace dxdiag
