#pragma once
// The renderer a benchmark drives: one CreateLumiscriber on a window of its own, with the
// software device's rasteriser switched off so that a frame costs what the library does.
#include <filesystem>

#include "core/lumiscriber_api.h"
#include "core/renderer_interface.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/window.h"

class BenchRenderer {
public:
    BenchRenderer(const char16_t* title, int width, int height) {
        std::filesystem::create_directories("logs");
        ddrawctl::Install();
        dxdiagctl::Install();
        window_ = win32::CreateTestWindow(title, 0, 0, width, height);
        STRU_RENDERER_PARAM param{};
        param.Window = window_;
        param.Width = width;
        param.Height = height;
        param.BitsPerPixel = 32;
        param.Quality = 1;
        param.Windowed = 1;
        param.Vsync = 0;  // no frame limiter
        renderer_ = CreateLumiscriber(&param);
        d3d9ctl::SetRasterizationEnabled(false);
    }
    ~BenchRenderer() {
        if (renderer_ != nullptr) ReleaseLumiscriber(renderer_);
        win32::DestroyAllWindows();
    }
    BenchRenderer(const BenchRenderer&) = delete;
    BenchRenderer& operator=(const BenchRenderer&) = delete;

    // Null when the renderer could not be created.
    IRenderer* Get() const { return renderer_; }
    // The window the renderer presents into.
    HWND Window() const { return window_; }

    // One frame as a host drives it, with `draw` between BeginScene and EndScene. Without
    // `present` every target is drawn but not shown, which leaves out the software device's
    // copy of the back buffer into the window.
    template <class Draw>
    void Frame(Draw draw, bool present) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        draw();
        renderer_->EndScene(present);
        renderer_->OnFrameEnd();
    }

private:
    HWND window_ = nullptr;
    IRenderer* renderer_ = nullptr;
};
