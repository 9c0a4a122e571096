#pragma once
// Shared set-up for the software Direct3D 9 tests: default control state, a window, the
// Direct3D object and a windowed device on the window.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3d9/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"
#include "platform/win32/window.h"

namespace d3d9test {

// Releases a COM-style pointer at scope end.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }
    T** out() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// A vertex of the layout the library draws.
struct Vertex {
    float x, y, z;
    DWORD diffuse;
    float u, v;
};
static_assert(sizeof(Vertex) == 24);
inline constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline D3DPRESENT_PARAMETERS WindowedParams(HWND window, UINT width = 0, UINT height = 0) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return params;
}

class D3D9Test : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        window_ = win32::CreateTestWindow(u"d3d9 test", 0, 0, 64, 48);
        d3d_.reset();
        *d3d_.out() = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_TRUE(d3d_);
    }
    void TearDown() override {
        device_.reset();
        d3d_.reset();
        win32::DestroyAllWindows();
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
    }

    // A windowed HAL device on the window with a D16 depth buffer.
    HRESULT CreateDevice(D3DPRESENT_PARAMETERS params) {
        return d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                  &params, device_.out());
    }
    void CreateWindowedDevice() { ASSERT_EQ(CreateDevice(WindowedParams(window_)), D3D_OK); }
    // A managed vertex buffer of the device holding `count` vertices.
    void CreateVertices(const Vertex* vertices, UINT count, Ref<IDirect3DVertexBuffer9>* buffer) {
        ASSERT_EQ(device_->CreateVertexBuffer(count * sizeof(Vertex), 0, 0, D3DPOOL_MANAGED, buffer->out(), nullptr), D3D_OK);
        void* data = nullptr;
        ASSERT_EQ((*buffer)->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, vertices, count * sizeof(Vertex));
        (*buffer)->Unlock();
    }

    HWND window_ = nullptr;
    Ref<IDirect3D9> d3d_;
    Ref<IDirect3DDevice9> device_;
};

}  // namespace d3d9test
