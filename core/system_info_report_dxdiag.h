#pragma once
// Reads the DirectX diagnostic provider (DxDiag) over COM for one report. COM is
// initialised for the object's lifetime (from Init to Cleanup) on the calling thread.
#include <memory>
#include <vector>

#include "core/system_info_report_records.h"
#include "platform/dxdiag/dxdiag.h"

class CDxDiagInfo {
public:
    CDxDiagInfo() = default;
    ~CDxDiagInfo() { Cleanup(); }
    CDxDiagInfo(const CDxDiagInfo&) = delete;
    CDxDiagInfo& operator=(const CDxDiagInfo&) = delete;

    // Initialises COM, creates and initialises the provider and takes its root container.
    // The first failing HRESULT, E_POINTER when creation gave no provider, else S_OK.
    HRESULT Init();

    // A new zeroed record is handed to `*out` before any reading, so a failed read still
    // leaves what came before it. E_INVALIDARG without a provider (or a null `out`), E_FAIL
    // when "DxDiag_SystemInfo" cannot be opened, else the first failing read's HRESULT.
    HRESULT GetSystemInfo(std::unique_ptr<DxDiagSystemInfo>* out);

    // Appends one record per display device to `*out`, each as soon as it is made. The first
    // failing read ends the whole gathering with its HRESULT; a device's deinterlacing modes
    // are gathered after its record is complete, and their failures are not reported.
    HRESULT GetDisplayInfo(std::vector<std::unique_ptr<DxDiagDisplayInfo>>* out);

    // Releases the container and the provider and ends COM when Init began it. Safe to call
    // again.
    void Cleanup();

private:
    IDxDiagProvider* provider_ = nullptr;
    IDxDiagContainer* root_ = nullptr;
    bool comInitialized_ = false;
};
