#pragma once
// Control of the DxDiag provider for tests and the demo. Product code never includes this
// header. Thread-safe; Reset() restores the defaults.
//
// The data a provider hands out are built when its Initialize runs: first the default tree
// (this machine and the software adapter), then every edit below replayed in the order it
// was made. Edits are checked when made and throw std::invalid_argument when they cannot
// apply (an empty path, a container or device that is not there).
#include <string>
#include <string_view>

#include "platform/dxdiag/diag_node.h"
#include "platform/dxdiag/dxdiag.h"

namespace dxdiagctl {

using dxdiag::DiagValue;

// Registers the provider class with CoCreateInstance. Done once at start-up; call it again
// after win32::ResetCom.
void Install();

// Sets a property of the container at `path` (dotted, from the root), creating the
// container when missing; an existing property keeps its place and takes the new value and
// kind (a kind the reader does not expect is how a bad read is scripted).
void SetProp(std::u16string_view path, std::u16string_view name, DiagValue value);
void RemoveProp(std::u16string_view path, std::u16string_view name);
void RemoveContainer(std::u16string_view path);

// Display devices are the children "0", "1", ... of "DxDiag_DisplayDevices". A new one is
// a copy of the default first device with "iAdapter" set to its index; returns the index.
// Removing one renumbers those after it.
DWORD AddDisplayDevice();
void RemoveDisplayDevice(DWORD index);
// Path of a display device's container, e.g. u"DxDiag_DisplayDevices.1".
std::u16string DisplayDevicePath(DWORD index);

// Failures: CoCreateInstance of the class returns `result` (REGDB_E_CLASSNOTREG: the
// provider is missing); Initialize returns `result` and gathers nothing. S_OK: normal.
void SetCreateResult(HRESULT result);
void SetInitializeResult(HRESULT result);

// What the last Initialize call was given (zeroed before any call with a record).
DXDIAG_INIT_PARAMS LastInitParams();
int InitializeCalls();

// Providers and containers alive (not yet released), for leak checks.
int LiveObjects();

// No edits, no scripted failures, no recorded calls, class registered again.
void Reset();

}  // namespace dxdiagctl
