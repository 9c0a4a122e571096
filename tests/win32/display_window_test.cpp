#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <stdexcept>

#include "platform/win32/display.h"
#include "platform/win32/window.h"
#include "tests/support/work_folder.h"

namespace {

DEVMODEW EmptyMode() {
    DEVMODEW mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.dmSize = sizeof(DEVMODEW);
    return mode;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override { win32::ResetDisplay(); }
    void TearDown() override { win32::ResetDisplay(); }
};

TEST_F(DisplayTest, EnumeratesTheModeListUntilFalse) {
    DEVMODEW mode = EmptyMode();
    int count = 0;
    int first800x600x16 = -1;
    while (EnumDisplaySettingsW(nullptr, static_cast<DWORD>(count), &mode)) {
        EXPECT_EQ(mode.dmSize, sizeof(DEVMODEW));
        EXPECT_EQ(mode.dmFields & (DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT), 0x1C0000u);
        if (first800x600x16 < 0 && mode.dmPelsWidth == 800 && mode.dmPelsHeight == 600 && mode.dmBitsPerPel == 16)
            first800x600x16 = count;
        ++count;
    }
    EXPECT_EQ(count, 14);
    EXPECT_EQ(first800x600x16, 2);

    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 1920u);
    EXPECT_EQ(mode.dmPelsHeight, 1080u);
    EXPECT_EQ(mode.dmBitsPerPel, 32u);

    win32::SetDisplayModes({{1024, 768, 32}});
    EXPECT_TRUE(EnumDisplaySettingsW(nullptr, 0, &mode));
    EXPECT_FALSE(EnumDisplaySettingsW(nullptr, 1, &mode));

    // Bad records and devices fail without touching anything.
    EXPECT_FALSE(EnumDisplaySettingsW(nullptr, 0, nullptr));
    EXPECT_FALSE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", 0, &mode));
    mode.dmSize = 156;
    EXPECT_FALSE(EnumDisplaySettingsW(nullptr, 0, &mode));
}

TEST_F(DisplayTest, ModeChangesFollowTheRequestedFieldsAndNullRestoresTheRegistryMode) {
    DEVMODEW mode = EmptyMode();
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, 2, &mode));  // 800x600x16
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmDisplayFrequency = 999;  // not named in dmFields: ignored
    EXPECT_EQ(ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 800);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
    EXPECT_EQ(win32::RegistryDisplayMode().width, 1920u);

    EXPECT_EQ(ChangeDisplaySettingsW(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(win32::CurrentDisplayMode().width, 1920u);

    // Only the depth named: the size stays; a size not in the list is refused.
    DEVMODEW depthOnly = EmptyMode();
    depthOnly.dmFields = DM_BITSPERPEL;
    depthOnly.dmBitsPerPel = 16;
    EXPECT_EQ(ChangeDisplaySettingsW(&depthOnly, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(win32::CurrentDisplayMode().width, 1920u);
    EXPECT_EQ(win32::CurrentDisplayMode().bitsPerPixel, 16u);
    DEVMODEW odd = EmptyMode();
    odd.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    odd.dmPelsWidth = 1000;
    odd.dmPelsHeight = 1000;
    EXPECT_EQ(ChangeDisplaySettingsW(&odd, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    EXPECT_EQ(ChangeDisplaySettingsW(&mode, 0x80), DISP_CHANGE_BADFLAGS);
    odd.dmSize = 0;
    EXPECT_EQ(ChangeDisplaySettingsW(&odd, 0), DISP_CHANGE_BADPARAM);

    const auto calls = win32::ChangeDisplaySettingsCalls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_TRUE(calls[0].hasMode);
    EXPECT_EQ(calls[0].flags, CDS_FULLSCREEN);
    EXPECT_EQ(calls[0].mode.dmPelsWidth, 800u);
    EXPECT_FALSE(calls[1].hasMode);
    EXPECT_EQ(calls[3].result, DISP_CHANGE_BADMODE);
}

TEST_F(DisplayTest, ScriptedResultsFailWithoutChangingTheMode) {
    win32::ScriptChangeDisplaySettingsResult(DISP_CHANGE_FAILED);
    win32::ScriptChangeDisplaySettingsResult(DISP_CHANGE_SUCCESSFUL);
    DEVMODEW mode = EmptyMode();
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 800;
    mode.dmPelsHeight = 600;
    mode.dmBitsPerPel = 16;
    EXPECT_EQ(ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
    EXPECT_EQ(win32::CurrentDisplayMode().width, 1920u);
    EXPECT_EQ(ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(win32::CurrentDisplayMode().width, 800u);
}

TEST_F(DisplayTest, DeviceContextsReportTheDesktopDepthAndMustBeReleased) {
    win32::SetCurrentDisplayMode({1280, 1024, 24});
    HDC dc = GetDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 24);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 1024);
    EXPECT_THROW(GetDeviceCaps(dc, 88), std::invalid_argument);
    EXPECT_EQ(win32::OutstandingDeviceContexts(), 1);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 0);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 0);  // released: no longer valid
    EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 0);
    EXPECT_EQ(win32::OutstandingDeviceContexts(), 0);

    int notAWindow = 0;
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(&notAWindow)), nullptr);
    EXPECT_THROW(GetSystemMetrics(1000), std::invalid_argument);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { win32::ResetDisplay(); }
    void TearDown() override { win32::DestroyAllWindows(); }

    static SIZE ClientSize(HWND window) {
        RECT client{};
        EXPECT_TRUE(GetClientRect(window, &client));
        return SIZE{client.right - client.left, client.bottom - client.top};
    }
};

TEST_F(WindowTest, ClientAreaAndAdjustWindowRectExAgreeForEveryFrameKind) {
    struct Case {
        DWORD style;
        DWORD exStyle;
        bool menu;
        RECT expectedInsets;  // left, top, right, bottom
    };
    const Case cases[] = {
        {WS_OVERLAPPEDWINDOW, 0, false, {8, 31, 8, 8}},
        {WS_OVERLAPPEDWINDOW, 0, true, {8, 51, 8, 8}},
        {WS_CAPTION | WS_SYSMENU, WS_EX_CLIENTEDGE, false, {5, 28, 5, 5}},
        {WS_POPUP | WS_BORDER, 0, false, {1, 1, 1, 1}},
        {WS_POPUP | WS_VISIBLE, 0, false, {0, 0, 0, 0}},
        {WS_POPUP | WS_VISIBLE, 0, true, {0, 20, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style << " ex 0x" << c.exStyle << " menu "
                                        << c.menu);
        HWND window = win32::CreateTestWindow(u"w", 100, 50, 640, 480, c.style, c.exStyle, c.menu);
        EXPECT_EQ(ClientSize(window).cx, 640);
        EXPECT_EQ(ClientSize(window).cy, 480);
        RECT outer{};
        ASSERT_TRUE(GetWindowRect(window, &outer));
        EXPECT_EQ(outer.left, 100 - c.expectedInsets.left);
        EXPECT_EQ(outer.top, 50 - c.expectedInsets.top);
        EXPECT_EQ(outer.right, 740 + c.expectedInsets.right);
        EXPECT_EQ(outer.bottom, 530 + c.expectedInsets.bottom);

        RECT grown{100, 50, 740, 530};
        ASSERT_TRUE(AdjustWindowRectEx(&grown, c.style, c.menu, c.exStyle));
        EXPECT_TRUE(EqualRect(&grown, &outer));
        EXPECT_EQ(GetMenu(window) != nullptr, c.menu);
        DestroyWindow(window);
    }
    EXPECT_FALSE(AdjustWindowRectEx(nullptr, WS_OVERLAPPEDWINDOW, FALSE, 0));
}

// The sequence a renderer goes through to make a window full-screen and back.
TEST_F(WindowTest, FullScreenAndBackKeepsTheFrameModelConsistent) {
    HWND window = win32::CreateTestWindow(u"game", 10, 10, 800, 600, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    const LONG saved = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(static_cast<DWORD>(saved), WS_OVERLAPPEDWINDOW | WS_VISIBLE);

    // Full screen: popup style, grown rectangle (no frame), placed at the origin.
    RECT rect{0, 0, 1024, 768};
    AdjustWindowRectEx(&rect, WS_POPUP | WS_VISIBLE, GetMenu(window) != nullptr,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    EXPECT_EQ(SetWindowLongW(window, GWL_STYLE, static_cast<LONG>(0x90000000u)), saved);
    EXPECT_EQ(ClientSize(window).cx, 800);  // the frame is measured again only on a change
    ASSERT_TRUE(SetWindowPos(window, HWND_TOPMOST, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                             SWP_NOZORDER));
    EXPECT_EQ(ClientSize(window).cx, 1024);
    EXPECT_EQ(ClientSize(window).cy, 768);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOPMOST), 0);  // NOZORDER

    // Windowed again: restore the style, size to the client size, measure the frame.
    SetWindowLongW(window, GWL_STYLE, saved);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_FRAMECHANGED));
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const int frameX = (outer.right - outer.left) - client.right;
    const int frameY = (outer.bottom - outer.top) - client.bottom;
    EXPECT_EQ(frameX, 16);
    EXPECT_EQ(frameY, 39);
    const int screenX = GetSystemMetrics(SM_CXSCREEN), screenY = GetSystemMetrics(SM_CYSCREEN);
    const int x = (screenX - (640 + frameX)) / 2, y = (screenY - (480 + frameY)) / 2;
    ASSERT_TRUE(SetWindowPos(window, nullptr, x, y, 640 + frameX, 480 + frameY, SWP_NOZORDER | SWP_FRAMECHANGED));
    EXPECT_EQ(ClientSize(window).cx, 640);
    EXPECT_EQ(ClientSize(window).cy, 480);
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 632);
    EXPECT_EQ(outer.top, 280);

    const auto calls = win32::WindowPosCalls(window);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].insertAfter, HWND_TOPMOST);
    EXPECT_EQ(calls[0].cx, 1024);
    EXPECT_EQ(calls[0].flags, SWP_NOZORDER);
    EXPECT_EQ(calls[2].x, 632);
    EXPECT_EQ(calls[2].flags, SWP_NOZORDER | SWP_FRAMECHANGED);

    EXPECT_TRUE(SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOPMOST), 0);
    EXPECT_EQ(ClientSize(window).cx, 640);
}

TEST_F(WindowTest, VisibilityFollowsShowWindowAndTheStyle) {
    HWND window = win32::CreateTestWindow(u"w", 0, 0, 10, 10, WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));  // was hidden
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(ShowWindow(window, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    EXPECT_FALSE(IsIconic(window));
    ShowWindow(window, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(window));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_THROW(ShowWindow(window, 3), std::invalid_argument);
}

TEST_F(WindowTest, PixelBufferFollowsTheClientSizeAndSavesAsPng) {
    lumi::test::TempWorkFolder folder;
    HWND window = win32::CreateTestWindow(u"w", 0, 0, 4, 3, WS_POPUP);
    int width = 0, height = 0;
    std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 4);
    ASSERT_EQ(height, 3);
    for (int i = 0; i < 12; ++i) pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010203);

    // Grow to 5x4: old pixels keep their place, new ones are 0. Then shrink to 2x2.
    SetWindowPos(window, nullptr, 0, 0, 5, 4, SWP_NOMOVE);
    pixels = win32::WindowPixels(window, &width, &height);
    ASSERT_EQ(width, 5);
    ASSERT_EQ(height, 4);
    EXPECT_EQ(pixels[1 * 5 + 2], 0xFF000000u | 6u * 0x010203u);
    EXPECT_EQ(pixels[1 * 5 + 4], 0u);
    EXPECT_EQ(pixels[3 * 5 + 0], 0u);
    SetWindowPos(window, nullptr, 0, 0, 2, 2, SWP_NOMOVE);
    pixels = win32::WindowPixels(window, &width, &height);
    ASSERT_EQ(width, 2);
    EXPECT_EQ(pixels[1 * 2 + 1], 0xFF000000u | 5u * 0x010203u);
    pixels[0] = 0x80FF8040u;

    ASSERT_TRUE(win32::SaveWindowPixelsPng(window, "shot.png"));
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, "shot.png"));
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 2u);
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(rgb[0], 0xFF);
    EXPECT_EQ(rgb[1], 0x80);
    EXPECT_EQ(rgb[2], 0x40);
    EXPECT_EQ(rgb[9], 0x05);  // pixel (1,1) = 5 * 0x010203
    EXPECT_EQ(rgb[10], 0x0A);
    EXPECT_EQ(rgb[11], 0x0F);

    EXPECT_FALSE(win32::SaveWindowPixelsPng(window, "no-such-folder/shot.png"));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE);
    EXPECT_EQ(win32::WindowPixels(window, &width, &height), nullptr);
    EXPECT_EQ(width, 0);
    EXPECT_FALSE(win32::SaveWindowPixelsPng(window, "empty.png"));
}

TEST_F(WindowTest, TheForegroundWindowIsTheOneBroughtForwardLast) {
    static std::vector<HWND> told;
    told.clear();
    win32::SetForegroundListener([](HWND foreground) { told.push_back(foreground); });
    const HWND a = win32::CreateTestWindow(u"a", 0, 0, 10, 10);
    const HWND b = win32::CreateTestWindow(u"b", 0, 0, 10, 10);
    EXPECT_EQ(GetForegroundWindow(), nullptr) << "creating a window brings nothing forward";
    EXPECT_TRUE(SetForegroundWindow(a));
    EXPECT_TRUE(SetForegroundWindow(a));
    EXPECT_TRUE(SetForegroundWindow(b));
    EXPECT_EQ(GetForegroundWindow(), b);
    EXPECT_FALSE(SetForegroundWindow(reinterpret_cast<HWND>(0x1234)));
    DestroyWindow(a);
    EXPECT_EQ(GetForegroundWindow(), b);
    DestroyWindow(b);
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    win32::SetForegroundListener(nullptr);
    EXPECT_EQ(told, (std::vector<HWND>{a, b, nullptr})) << "told of changes only";
}

TEST_F(WindowTest, DestroyedAndForeignHandlesFailSafely) {
    HWND window = win32::CreateTestWindow(u"w", 0, 0, 8, 8);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    int local = 0;
    for (HWND bad : {window, static_cast<HWND>(nullptr), reinterpret_cast<HWND>(&local), HWND_TOPMOST}) {
        RECT rect{1, 2, 3, 4};
        EXPECT_FALSE(IsWindow(bad));
        EXPECT_FALSE(GetWindowRect(bad, &rect));
        EXPECT_FALSE(GetClientRect(bad, &rect));
        EXPECT_EQ(rect.left, 1);  // untouched
        EXPECT_FALSE(SetWindowPos(bad, nullptr, 0, 0, 5, 5, 0));
        EXPECT_EQ(GetWindowLongW(bad, GWL_STYLE), 0);
        EXPECT_EQ(SetWindowLongW(bad, GWL_STYLE, 1), 0);
        EXPECT_EQ(GetMenu(bad), nullptr);
        EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
        EXPECT_FALSE(IsWindowVisible(bad));
        EXPECT_EQ(win32::WindowPixels(bad, nullptr, nullptr), nullptr);
        EXPECT_TRUE(win32::WindowPosCalls(bad).empty());
    }
    // A newer window never takes a destroyed window's handle.
    HWND next = win32::CreateTestWindow(u"w2", 0, 0, 8, 8);
    EXPECT_NE(next, window);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(GetClientRect(next, nullptr));

    // Absurd sizes are clamped rather than allocated.
    SetWindowPos(next, nullptr, 0, 0, -50, 1 << 30, SWP_NOMOVE);
    RECT outer{};
    GetWindowRect(next, &outer);
    EXPECT_EQ(outer.right - outer.left, 0);
    EXPECT_EQ(outer.bottom - outer.top, 8192);
}

TEST(RectTest, EmptyRectanglesAndExclusiveEdges) {
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 8}, empty{3, 3, 3, 9}, out{};
    EXPECT_TRUE(UnionRect(&out, &a, &b));
    EXPECT_EQ(out.right, 20);
    EXPECT_EQ(out.bottom, 10);
    EXPECT_TRUE(UnionRect(&out, &empty, &b));  // an empty rectangle adds nothing
    EXPECT_TRUE(EqualRect(&out, &b));
    EXPECT_FALSE(UnionRect(&out, &empty, &empty));
    EXPECT_TRUE(IsRectEmpty(&out));

    EXPECT_TRUE(IntersectRect(&out, &a, &b));
    const RECT expected{5, 5, 10, 8};
    EXPECT_TRUE(EqualRect(&out, &expected));
    RECT touching{10, 0, 12, 10};
    EXPECT_FALSE(IntersectRect(&out, &a, &touching));  // shared edge only
    EXPECT_TRUE(IsRectEmpty(&out));

    EXPECT_TRUE(PtInRect(&a, POINT{0, 9}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    EXPECT_TRUE(OffsetRect(&a, -2, 3));
    EXPECT_EQ(a.left, -2);
    EXPECT_EQ(a.bottom, 13);

    EXPECT_TRUE(IsRectEmpty(nullptr));
    EXPECT_FALSE(UnionRect(nullptr, &a, &b));
    EXPECT_FALSE(IntersectRect(&out, nullptr, &b));
    EXPECT_FALSE(EqualRect(nullptr, nullptr));
    EXPECT_FALSE(PtInRect(nullptr, POINT{0, 0}));
    EXPECT_FALSE(SetRectEmpty(nullptr));
}

}  // namespace
