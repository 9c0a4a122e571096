#pragma once
// Control of the DirectDraw stand-in for tests and the demo. Product code never includes
// this header. Thread-safe; Reset() restores the defaults below.
#include <vector>

#include "platform/ddraw/ddraw.h"

namespace ddrawctl {

// Registers the module "ddraw.dll" exporting "DirectDrawCreateEx" with the module
// registry. Done once at start-up; call it again after win32::ClearModules.
// Making the DLL missing is the registry's switch: win32::SetModuleMissing(u"ddraw.dll", true).
void Install();

// Scripted results, kept until changed or Reset (S_OK: behave normally). A failing
// DirectDrawCreateEx hands out null; a failing method changes nothing.
void SetCreateResult(HRESULT result);
void SetCooperativeLevelResult(HRESULT result);
void SetGetCapsResult(HRESULT result);

struct CooperativeLevelCall {
    HWND window;
    DWORD flags;
    HRESULT result;
};
std::vector<CooperativeLevelCall> CooperativeLevelCalls();
int CreateCalls();   // DirectDrawCreateEx calls, failed ones included
int GetCapsCalls();

// DirectDraw objects created and not yet released.
int LiveObjects();

// No scripted results, no recorded calls, module registered again.
void Reset();

}  // namespace ddrawctl
