#include "platform/d3dx9/control.h"

#include "platform/d3d9/control.h"

namespace d3dxctl {

const char* NameOf(Function function) {
    switch (function) {
    case Function::kCreateTexture: return "D3DXCreateTexture";
    case Function::kCreateTextureFromFileEx: return "D3DXCreateTextureFromFileExW";
    case Function::kGetImageInfoFromFile: return "D3DXGetImageInfoFromFileW";
    case Function::kGetImageInfoFromFileInMemory: return "D3DXGetImageInfoFromFileInMemory";
    case Function::kLoadSurfaceFromFile: return "D3DXLoadSurfaceFromFileW";
    case Function::kLoadSurfaceFromFileInMemory: return "D3DXLoadSurfaceFromFileInMemory";
    case Function::kLoadSurfaceFromSurface: return "D3DXLoadSurfaceFromSurface";
    case Function::kSaveSurfaceToFile: return "D3DXSaveSurfaceToFileW";
    case Function::kSaveTextureToFile: return "D3DXSaveTextureToFileW";
    case Function::kAssembleShader: return "D3DXAssembleShader";
    }
    return "D3DX";
}

void FailCall(Function function, int nth, HRESULT hr, int times) { d3d9ctl::FailCall(NameOf(function), nth, hr, times); }

int CallCount(Function function) { return d3d9ctl::CallCount(NameOf(function)); }

}  // namespace d3dxctl

namespace d3dx {

bool TakeScriptedFailure(d3dxctl::Function function, HRESULT* result) {
    return d3d9ctl::TakeScriptedFailure(d3dxctl::NameOf(function), result);
}

}  // namespace d3dx
