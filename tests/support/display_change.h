#pragma once
// Another program switches the display to a mode, as ChangeDisplaySettingsW does.
#include "platform/win32/display.h"

namespace lumi::test {

inline LONG ChangeDisplayElsewhere(DWORD width, DWORD height) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    return ChangeDisplaySettingsW(&mode, 0);
}

}  // namespace lumi::test
