// CLumiscriber: what both builds' renderer objects do alike at construction (the display
// modes, the fatal set-up stop), the user data word and the file callbacks.
#include <cstdarg>
#include <cstdio>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/lumiscriber.h"
#include "core/system_info_report.h"
#include "platform/tarnel/tarnel.h"

void CLumiscriber::FillDisplayModes() {
    bool found800x600x16 = false;
    for (DWORD index = 0;; ++index) {
        DEVMODEW mode{};
        mode.dmSize = sizeof(DEVMODEW);
        if (!EnumDisplaySettingsW(nullptr, index, &mode)) break;
        displayModes_.push_back(mode);
        if (!found800x600x16 && mode.dmPelsWidth == 800 && mode.dmPelsHeight == 600 && mode.dmBitsPerPel == 16) {
            mode800x600x16_ = mode;
            found800x600x16 = true;
        }
    }
}

void CLumiscriber::FatalSetupError(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    LogSystemInfo(&systemInfo_);
    Error("%s", message);
}

std::int32_t CLumiscriber::GetUserData() { return userData_; }

void CLumiscriber::SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1,
                                 PFN_FILE_SEEK seek1, PFN_FILE_OPEN open2, PFN_FILE_CLOSE close2,
                                 PFN_FILE_READ read2, PFN_FILE_SEEK seek2) {
    if (!open1 || !close1 || !read1 || !seek1) {
        Error("CLumiscriber::SetFileSystem() - invalid 1st file callback function pointer!");
    }
    if (!open2 || !close2 || !read2 || !seek2) {
        Error("CLumiscriber::SetFileSystem() - invalid 2nd file callback function pointer!");
    }
    fileCallbacks_[0] = STRU_FILE_CALLBACKS{open1, close1, read1, seek1};
    fileCallbacks_[1] = STRU_FILE_CALLBACKS{open2, close2, read2, seek2};
}

void CLumiscriber::ThrowUnsupported() const { throw lumi::Exception("unsupported method!"); }
