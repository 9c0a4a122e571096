#include "platform/d3d9/device_pixel_shader.h"

#include <cstring>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"

namespace d3d9sw {

DevicePixelShader::DevicePixelShader(Device* device, std::unique_ptr<PixelShaderProgram> program)
    : RefCounted(device, nullptr), device_(device), program_(std::move(program)) {}

DevicePixelShader* DevicePixelShader::From(IDirect3DPixelShader9* shader) {
    return dynamic_cast<DevicePixelShader*>(shader);
}

HRESULT DevicePixelShader::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DPixelShader9) {
        *object = static_cast<IDirect3DPixelShader9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DevicePixelShader::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG DevicePixelShader::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

HRESULT DevicePixelShader::GetDevice(IDirect3DDevice9** device) {
    auto lock = LockApi();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT DevicePixelShader::GetFunction(void* data, UINT* sizeBytes) {
    auto lock = LockApi();
    if (sizeBytes == nullptr) return D3DERR_INVALIDCALL;
    const std::vector<DWORD>& tokens = program_->Tokens();
    const UINT bytes = static_cast<UINT>(tokens.size() * sizeof(DWORD));
    if (data == nullptr) {
        *sizeBytes = bytes;
        return D3D_OK;
    }
    if (*sizeBytes < bytes) return D3DERR_INVALIDCALL;
    std::memcpy(data, tokens.data(), bytes);
    *sizeBytes = bytes;
    return D3D_OK;
}

}  // namespace d3d9sw
