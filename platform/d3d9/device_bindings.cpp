// States and what is bound to the pipeline: textures, the vertex stream, indices, the FVF and
// the shaders.
#include <string>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"

namespace d3d9sw {
namespace {

HRESULT StateSet(const char* method, const ArgList& args, HRESULT result) {
    if (SUCCEEDED(result)) ++Control().counters.stateChanges;
    return Logged(method, args, result);
}

}  // namespace

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    auto lock = LockApi();
    const ArgList args = Args(state, value);
    HRESULT hr;
    if (TakeScriptedFailure("SetRenderState", &hr)) return Logged("SetRenderState", args, hr);
    if (!IsRenderState(state)) return Logged("SetRenderState", args, D3DERR_INVALIDCALL);
    states_.render[state] = value;
    return StateSet("SetRenderState", args, D3D_OK);
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    auto lock = LockApi();
    if (value == nullptr || !IsRenderState(state)) return D3DERR_INVALIDCALL;
    *value = states_.render[state];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    auto lock = LockApi();
    const ArgList args = Args(stage, type, value);
    HRESULT hr;
    if (TakeScriptedFailure("SetTextureStageState", &hr)) return Logged("SetTextureStageState", args, hr);
    if (stage >= kD3DTextureStageCount || !IsStageState(type))
        return Logged("SetTextureStageState", args, D3DERR_INVALIDCALL);
    states_.stage[stage][type] = value;
    return StateSet("SetTextureStageState", args, D3D_OK);
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    auto lock = LockApi();
    if (value == nullptr || stage >= kD3DTextureStageCount || !IsStageState(type)) return D3DERR_INVALIDCALL;
    *value = states_.stage[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    auto lock = LockApi();
    const ArgList args = Args(sampler, type, value);
    HRESULT hr;
    if (TakeScriptedFailure("SetSamplerState", &hr)) return Logged("SetSamplerState", args, hr);
    if (sampler >= kD3DSamplerCount || !IsSamplerState(type))
        return Logged("SetSamplerState", args, D3DERR_INVALIDCALL);
    states_.sampler[sampler][type] = value;
    return StateSet("SetSamplerState", args, D3D_OK);
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    auto lock = LockApi();
    if (value == nullptr || sampler >= kD3DSamplerCount || !IsSamplerState(type)) return D3DERR_INVALIDCALL;
    *value = states_.sampler[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    auto lock = LockApi();
    const ArgList args = Args(stage, texture);
    HRESULT hr;
    if (TakeScriptedFailure("SetTexture", &hr)) return Logged("SetTexture", args, hr);
    if (stage >= kD3DTextureStageCount) return Logged("SetTexture", args, D3DERR_INVALIDCALL);
    Texture* bound = Texture::From(texture);
    // System-memory textures cannot be sampled.
    if (texture != nullptr && (bound == nullptr || bound->OwnerDevice() != this || bound->Pool() == D3DPOOL_SYSTEMMEM))
        return Logged("SetTexture", args, D3DERR_INVALIDCALL);
    textures_[stage].Reset(bound);
    return StateSet("SetTexture", args, D3D_OK);
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    auto lock = LockApi();
    if (texture == nullptr || stage >= kD3DTextureStageCount) return D3DERR_INVALIDCALL;
    *texture = textures_[stage].get();
    if (*texture != nullptr) textures_[stage]->AddPublic();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("SetFVF", &hr)) return Logged("SetFVF", Args(fvf), hr);
    fvf_ = fvf;
    return StateSet("SetFVF", Args(fvf), D3D_OK);
}

HRESULT Device::GetFVF(DWORD* fvf) {
    auto lock = LockApi();
    if (fvf == nullptr) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    auto lock = LockApi();
    // Vertex shaders cannot be created here, so only "none" can be set.
    return StateSet("SetVertexShader", Args(shader), shader == nullptr ? D3D_OK : D3DERR_INVALIDCALL);
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offsetBytes, UINT stride) {
    auto lock = LockApi();
    const ArgList args = Args(stream, buffer, offsetBytes, stride);
    HRESULT hr;
    if (TakeScriptedFailure("SetStreamSource", &hr)) return Logged("SetStreamSource", args, hr);
    VertexBuffer* bound = VertexBuffer::From(buffer);
    if (stream != 0 || offsetBytes % 4 != 0 || stride > adapter_.caps.MaxStreamStride ||
        (buffer != nullptr && (bound == nullptr || bound->OwnerDevice() != this)))
        return Logged("SetStreamSource", args, D3DERR_INVALIDCALL);
    stream_.Reset(bound);
    streamOffset_ = offsetBytes;
    streamStride_ = stride;
    return StateSet("SetStreamSource", args, D3D_OK);
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offsetBytes, UINT* stride) {
    auto lock = LockApi();
    if (stream != 0 || buffer == nullptr || offsetBytes == nullptr || stride == nullptr) return D3DERR_INVALIDCALL;
    *buffer = stream_.get();
    if (*buffer != nullptr) stream_->AddPublic();
    *offsetBytes = streamOffset_;
    *stride = streamStride_;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indices) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("SetIndices", &hr)) return Logged("SetIndices", Args(indices), hr);
    IndexBuffer* bound = IndexBuffer::From(indices);
    if (indices != nullptr && (bound == nullptr || bound->OwnerDevice() != this))
        return Logged("SetIndices", Args(indices), D3DERR_INVALIDCALL);
    indices_.Reset(bound);
    return StateSet("SetIndices", Args(indices), D3D_OK);
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** indices) {
    auto lock = LockApi();
    if (indices == nullptr) return D3DERR_INVALIDCALL;
    *indices = indices_.get();
    if (*indices != nullptr) indices_->AddPublic();
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("SetPixelShader", &hr)) return Logged("SetPixelShader", Args(shader), hr);
    DevicePixelShader* bound = DevicePixelShader::From(shader);
    if (shader != nullptr && (bound == nullptr || bound->OwnerDevice() != this))
        return Logged("SetPixelShader", Args(shader), D3DERR_INVALIDCALL);
    pixelShader_.Reset(bound);
    return StateSet("SetPixelShader", Args(shader), D3D_OK);
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
    auto lock = LockApi();
    if (shader == nullptr) return D3DERR_INVALIDCALL;
    *shader = pixelShader_.get();
    if (*shader != nullptr) pixelShader_->AddPublic();
    return D3D_OK;
}

}  // namespace d3d9sw
