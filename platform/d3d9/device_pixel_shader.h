#pragma once
// A pixel shader object: the token stream it was created from and the program the rasteriser
// runs.
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/ref_counted.h"

namespace d3d9sw {

class Device;

class DevicePixelShader final : public IDirect3DPixelShader9, public RefCounted {
public:
    DevicePixelShader(Device* device, std::unique_ptr<PixelShaderProgram> program);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetFunction(void* data, UINT* sizeBytes) override;

    const PixelShaderProgram& Program() const { return *program_; }
    Device* OwnerDevice() const { return device_; }
    static DevicePixelShader* From(IDirect3DPixelShader9* shader);

private:
    Device* device_;
    std::unique_ptr<PixelShaderProgram> program_;
};

}  // namespace d3d9sw
