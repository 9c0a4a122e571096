#include <atomic>
#include <new>

#include "platform/d3d9/d3d9.h"  // IID_IUnknown
#include "platform/dxdiag/diag_objects.h"

namespace dxdiag {
namespace {

class DiagProvider final : public IDxDiagProvider {
public:
    DiagProvider() { dxdiagctl::detail::ObjectCreated(); }
    DiagProvider(const DiagProvider&) = delete;
    DiagProvider& operator=(const DiagProvider&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IDxDiagProvider) && !(iid == IID_IUnknown)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IDxDiagProvider*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT Initialize(DXDIAG_INIT_PARAMS* params) override {
        const HRESULT scripted = dxdiagctl::detail::OnInitialize(params);
        if (!params) return E_POINTER;
        if (FAILED(scripted)) return scripted;
        if (params->dwSize != sizeof(DXDIAG_INIT_PARAMS) || params->dwDxDiagHeaderVersion != DXDIAG_DX9_SDK_VERSION ||
            params->pReserved)
            return E_INVALIDARG;
        if (tree_) return CO_E_ALREADYINITIALIZED;
        tree_ = dxdiagctl::detail::BuildTree();
        return S_OK;
    }

    HRESULT GetRootContainer(IDxDiagContainer** root) override {
        if (!root) return E_INVALIDARG;
        *root = nullptr;
        if (!tree_) return CO_E_NOTINITIALIZED;
        *root = NewContainer(tree_, tree_.get());
        return *root ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~DiagProvider() { dxdiagctl::detail::ObjectDestroyed(); }

    std::atomic<ULONG> references_{1};
    std::shared_ptr<const DiagNode> tree_;  // null until Initialize succeeds
};

}  // namespace

HRESULT CreateProvider(REFIID iid, void** object) {
    const HRESULT scripted = dxdiagctl::detail::OnCreate();
    if (FAILED(scripted)) return scripted;
    if (!(iid == IID_IDxDiagProvider) && !(iid == IID_IUnknown)) return E_NOINTERFACE;
    auto* provider = new (std::nothrow) DiagProvider();
    if (!provider) return E_OUTOFMEMORY;
    *object = static_cast<IDxDiagProvider*>(provider);
    return S_OK;
}

}  // namespace dxdiag
