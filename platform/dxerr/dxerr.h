#pragma once
// DirectX error texts: the name and a one-line description of every HRESULT the stand-ins
// return (generic COM codes, Direct3D 9, D3DX, DirectDraw, DxDiag). Unknown codes get fixed
// texts. The returned strings are static and live for the whole process; the functions are
// thread-safe.
#include "platform/win32/win32_types.h"

const char16_t* DXGetErrorDescriptionW(HRESULT hr);
const char* DXGetErrorDescriptionA(HRESULT hr);
// The code's name, e.g. "D3DERR_DEVICELOST".
const char16_t* DXGetErrorStringW(HRESULT hr);
const char* DXGetErrorStringA(HRESULT hr);
