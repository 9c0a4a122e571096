#pragma once
// Shared set-up of the adapter enumeration tests: a fresh software adapter configuration,
// DirectDraw, a window, the event log open in a scratch folder, and no process-wide
// enumeration left from an earlier test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/device_enumeration.h"
#include "core/device_enumeration_search.h"
#include "core/event_log.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"
#include "platform/win32/window.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace lumi::test {

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        ddrawctl::Reset();
        DestroyAdapterEnum();
        window_ = win32::CreateTestWindow(u"enumeration", 0, 0, 640, 480);
        OpenEventLog(LogOpenMode::kTruncate);
    }
    void TearDown() override {
        DestroyAdapterEnum();
        if (direct3d_ != nullptr) direct3d_->Release();
        CloseEventLog();
        win32::DestroyAllWindows();
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        ddrawctl::Reset();
    }

    // Made on first use, after the test configured the adapters.
    IDirect3D9* Direct3D() {
        if (direct3d_ == nullptr) direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        return direct3d_;
    }

    HRESULT Enumerate(CAdapterEnum* adapterEnum) { return adapterEnum->Enumerate(Direct3D(), window_); }

    // An empty log for the next step of a test.
    static void RestartLog() {
        CloseEventLog();
        OpenEventLog(LogOpenMode::kTruncate);
    }

    // The messages logged so far, without their date stamps.
    std::vector<std::u16string> LogLines() const {
        constexpr std::size_t kStampUnits = 20;  // "YYYY/MM/DD hh:mm:ss "
        std::vector<std::u16string> lines;
        for (const std::u16string& line : SplitCrLfLines(ReadUtf16LeFile(folder_.File(kEventLogPath)).text))
            lines.push_back(line.size() >= kStampUnits ? line.substr(kStampUnits) : line);
        return lines;
    }

    // Whether `expected` appears as consecutive lines of the log.
    ::testing::AssertionResult LogHas(const std::vector<std::u16string>& expected) const {
        const std::vector<std::u16string> lines = LogLines();
        if (std::search(lines.begin(), lines.end(), expected.begin(), expected.end()) != lines.end())
            return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "expected lines:\n";
        for (const auto& line : expected) failure << "  [" << win32::Utf16ToUtf8(line) << "]\n";
        failure << "log:\n";
        for (const auto& line : lines) failure << "  [" << win32::Utf16ToUtf8(line) << "]\n";
        return failure;
    }

    int CountLines(const std::u16string& text) const {
        const std::vector<std::u16string> lines = LogLines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), text));
    }

    TempWorkFolder folder_;
    HWND window_ = nullptr;
    IDirect3D9* direct3d_ = nullptr;
};

}  // namespace lumi::test
