#pragma once
// Scripted failures of the D3DX functions the library calls, for tests. The scripts and counts
// are kept with the software Direct3D 9's (d3d9ctl::FailCall under the function's name), so
// d3d9ctl::ResetAll and d3d9ctl::ClearFailures clear them too. Calls one D3DX function makes of
// another inside the stand-in are not counted.
#include "platform/d3d9/d3d9.h"

namespace d3dxctl {

enum class Function {
    kCreateTexture,                  // D3DXCreateTexture
    kCreateTextureFromFileEx,        // D3DXCreateTextureFromFileExW
    kGetImageInfoFromFile,           // D3DXGetImageInfoFromFileW
    kGetImageInfoFromFileInMemory,   // D3DXGetImageInfoFromFileInMemory
    kLoadSurfaceFromFile,            // D3DXLoadSurfaceFromFileW
    kLoadSurfaceFromFileInMemory,    // D3DXLoadSurfaceFromFileInMemory
    kLoadSurfaceFromSurface,         // D3DXLoadSurfaceFromSurface
    kSaveSurfaceToFile,              // D3DXSaveSurfaceToFileW
    kSaveTextureToFile,              // D3DXSaveTextureToFileW
    kAssembleShader,                 // D3DXAssembleShader
};

// The function's exported name.
const char* NameOf(Function function);

// The `nth` next call (1 = the very next) of `function` returns `hr` without doing anything;
// `times` consecutive calls fail from there.
void FailCall(Function function, int nth, HRESULT hr, int times = 1);
// Calls of `function` so far, failed ones included.
int CallCount(Function function);

}  // namespace d3dxctl

namespace d3dx {

// For the stand-in's functions: counts a call and gives the scripted result, if any.
bool TakeScriptedFailure(d3dxctl::Function function, HRESULT* result);

}  // namespace d3dx
