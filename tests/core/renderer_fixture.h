#pragma once
// Shared set-up of the renderer tests: the software device with its defaults, a fake clock
// that every Sleep advances, a scratch folder with `logs/`, a 320x240 host window, and a
// crash uploader that records its calls. Nothing of the process-wide state (adapter
// enumeration, frame clock) survives from one test to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/device_enumeration.h"
#include "core/event_log.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/lumiscriber_api.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/display.h"
#include "platform/win32/modules.h"
#include "platform/win32/text.h"
#include "platform/win32/window.h"
#include "tests/support/device_checks.h"
#include "tests/support/fake_clock.h"
#include "tests/support/message_boxes.h"
#include "tests/support/sleep_hook.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace lumi::test {

// What the fake crash uploader received.
inline std::vector<std::string>& UploadedLogs() {
    static std::vector<std::string> paths;
    return paths;
}

inline void RecordUpload(const char* path) { UploadedLogs().push_back(path ? path : "(null)"); }

class RendererTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        ddrawctl::Reset();
        win32::ClearModules();
        DestroyAdapterEnum();
        ResetFrameClock();
        tarnel::ClearLastError();
        UploadedLogs().clear();
        win32::RegisterModule(u"ovelder.dll", {{"UploadEnginLog", reinterpret_cast<FARPROC>(&RecordUpload)}});
        window_ = win32::CreateTestWindow(u"host", 0, 0, kWidth, kHeight);
        param_ = STRU_RENDERER_PARAM{};
        param_.UserData = 0x1234567;
        param_.Window = window_;
        param_.Width = kWidth;
        param_.Height = kHeight;
        param_.BitsPerPixel = 32;
        param_.Quality = 1;
        param_.Windowed = 1;
        param_.Vsync = 0;
    }

    void TearDown() override {
        // The renderer never does what Direct3D 9's debug runtime reports.
        EXPECT_EQ(d3d9ctl::MisuseReports(), std::vector<std::string>{});
        Release();
        DestroyAdapterEnum();
        ExpectDeviceLeftClean();  // the renderer and the enumeration are gone
        ResetFrameClock();
        win32::DestroyAllWindows();
        win32::ClearModules();
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        ddrawctl::Reset();
    }

    // Creates the renderer from param_; null when the factory refused.
    IRenderer* Create() {
        renderer_ = CreateLumiscriber(&param_);
        return renderer_;
    }

    // Enumerates the adapters ahead of the renderer, so that a scripted device failure is
    // met by the renderer's own creation rather than the enumeration's device test.
    void EnumerateFirst() {
        IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(direct3d, nullptr);
        GetAdapterEnum(direct3d, window_);
        direct3d->Release();
    }

    CLumiscriber* Renderer() const { return static_cast<CLumiscriber*>(renderer_); }

    void Release() {
        ReleaseLumiscriber(renderer_);
        renderer_ = nullptr;
    }

    // One frame as a host drives it.
    bool RunFrame(bool present = true) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        const bool drawn = renderer_->EndScene(present);
        renderer_->OnFrameEnd();
        return drawn;
    }

    // One frame with `draws` between BeginScene and EndScene, presented to the window.
    void DrawFrame(const std::function<void()>& draws) {
        renderer_->OnFrameBegin();
        renderer_->BeginScene();
        draws();
        ASSERT_TRUE(renderer_->EndScene(true));
        renderer_->OnFrameEnd();
    }

    // The host window's presented pixel at (x, y), 0xRRGGBB.
    std::uint32_t Pixel(int x, int y) const { return WindowPixel(window_, x, y) & 0xFFFFFF; }

    // Every pixel of the rectangle [left, right) x [top, bottom) has `rgb`.
    ::testing::AssertionResult AreaIs(int left, int top, int right, int bottom, std::uint32_t rgb) const {
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                if (Pixel(x, y) != rgb)
                    return ::testing::AssertionFailure()
                           << std::hex << "pixel (" << std::dec << x << ", " << y << ") is 0x" << std::hex
                           << Pixel(x, y) << ", expected 0x" << rgb;
            }
        }
        return ::testing::AssertionSuccess();
    }

    // How many window pixels have `rgb`.
    int Count(std::uint32_t rgb) const {
        int count = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) count += Pixel(x, y) == rgb ? 1 : 0;
        return count;
    }

    // The messages logged so far, without their date stamps.
    std::vector<std::u16string> LogLines() const {
        constexpr std::size_t kStampUnits = 20;  // "YYYY/MM/DD hh:mm:ss "
        std::vector<std::u16string> lines;
        for (const std::u16string& line : SplitCrLfLines(ReadUtf16LeFile(folder_.File(kEventLogPath)).text))
            lines.push_back(line.size() >= kStampUnits ? line.substr(kStampUnits) : line);
        return lines;
    }

    // Whether every expected line appears in the log in this order (other lines between).
    ::testing::AssertionResult LogHasInOrder(const std::vector<std::u16string>& expected) const {
        const std::vector<std::u16string> lines = LogLines();
        auto at = lines.begin();
        for (const std::u16string& want : expected) {
            at = std::find(at, lines.end(), want);
            if (at == lines.end()) {
                ::testing::AssertionResult failure = ::testing::AssertionFailure();
                failure << "missing (in order): [" << win32::Utf16ToUtf8(want) << "]\nlog:\n";
                for (const auto& line : lines) failure << "  [" << win32::Utf16ToUtf8(line) << "]\n";
                return failure;
            }
            ++at;
        }
        return ::testing::AssertionSuccess();
    }

    int CountLines(const std::u16string& text) const {
        const std::vector<std::u16string> lines = LogLines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), text));
    }

    int CountLinesStartingWith(const std::u16string& prefix) const {
        const std::vector<std::u16string> lines = LogLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::u16string& line) {
            return line.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    bool LogContains(const std::u16string& fragment) const {
        for (const std::u16string& line : LogLines())
            if (line.find(fragment) != std::u16string::npos) return true;
        return false;
    }

    // The host window's client pixel at (x, y), 0xAARRGGBB.
    static std::uint32_t WindowPixel(HWND window, int x, int y) {
        int width = 0;
        int height = 0;
        const std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
        if (pixels == nullptr || x >= width || y >= height) return 0xDEADBEEF;
        return pixels[y * width + x];
    }

    TempWorkFolder folder_;
    FakeClock clock_{5000};
    SleepRecorder sleeps_{&clock_};
    ScriptedMessageBoxes boxes_;
    HWND window_ = nullptr;
    STRU_RENDERER_PARAM param_{};
    IRenderer* renderer_ = nullptr;
};

}  // namespace lumi::test
