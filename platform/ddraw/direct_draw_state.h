#pragma once
// Shared between the DirectDraw object and its control functions; not for other code.
#include "platform/ddraw/control.h"

namespace ddrawctl::detail {

// Each records the call and returns the scripted result (S_OK: go on normally).
HRESULT OnCreate();
HRESULT OnCooperativeLevel(HWND window, DWORD flags, HRESULT wouldReturn);
HRESULT OnGetCaps();

void ObjectCreated();
void ObjectDestroyed();

}  // namespace ddrawctl::detail
