// The virtual display.
#include "platform/win32/display.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/win32/window.h"

namespace {

std::vector<win32::DisplayMode> DefaultModes() {
    std::vector<win32::DisplayMode> modes;
    const DWORD sizes[][2] = {{640, 480},   {800, 600},  {1024, 768}, {1280, 720},
                              {1280, 1024}, {1600, 900}, {1920, 1080}};
    for (const auto& size : sizes) {
        modes.push_back({size[0], size[1], 16});
        modes.push_back({size[0], size[1], 32});
    }
    return modes;
}

constexpr win32::DisplayMode kDefaultDesktop{1920, 1080, 32};

struct DisplayState {
    std::mutex mutex;
    std::vector<win32::DisplayMode> modes = DefaultModes();
    win32::DisplayMode current = kDefaultDesktop;
    win32::DisplayMode registry = kDefaultDesktop;
    std::deque<LONG> scriptedResults;
    std::vector<win32::ChangeDisplaySettingsCall> calls;
    std::set<std::uintptr_t> openDcs;
    std::uintptr_t nextDc = 0x5000;
};

DisplayState& State() {
    static DisplayState state;
    return state;
}

std::atomic<win32::DisplayChangeListener> g_displayListener{nullptr};

void Fill(DEVMODEW* out, const win32::DisplayMode& mode) {
    const WORD size = out->dmSize;
    std::memset(out, 0, sizeof(*out));
    out->dmSize = size;
    out->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    out->dmBitsPerPel = mode.bitsPerPixel;
    out->dmPelsWidth = mode.width;
    out->dmPelsHeight = mode.height;
    out->dmDisplayFrequency = mode.frequency;
}

// The list entry that the requested fields select; false when none does.
bool FindMode(const DisplayState& state, const DEVMODEW& request, win32::DisplayMode* found) {
    win32::DisplayMode wanted = state.current;
    if (request.dmFields & DM_PELSWIDTH) wanted.width = request.dmPelsWidth;
    if (request.dmFields & DM_PELSHEIGHT) wanted.height = request.dmPelsHeight;
    if (request.dmFields & DM_BITSPERPEL) wanted.bitsPerPixel = request.dmBitsPerPel;
    const bool anyFrequency = (request.dmFields & DM_DISPLAYFREQUENCY) == 0;
    if (!anyFrequency) wanted.frequency = request.dmDisplayFrequency;
    for (const win32::DisplayMode& mode : state.modes) {
        if (mode.width == wanted.width && mode.height == wanted.height &&
            mode.bitsPerPixel == wanted.bitsPerPixel && (anyFrequency || mode.frequency == wanted.frequency)) {
            *found = mode;
            return true;
        }
    }
    return false;
}

LONG Apply(DisplayState& state, const DEVMODEW* mode, DWORD flags) {
    if (!state.scriptedResults.empty()) {
        const LONG scripted = state.scriptedResults.front();
        state.scriptedResults.pop_front();
        if (scripted != DISP_CHANGE_SUCCESSFUL) return scripted;
    }
    if ((flags & ~(CDS_UPDATEREGISTRY | CDS_TEST | CDS_FULLSCREEN)) != 0) return DISP_CHANGE_BADFLAGS;
    if (mode == nullptr) {
        state.current = state.registry;
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (mode->dmSize != sizeof(DEVMODEW)) return DISP_CHANGE_BADPARAM;
    win32::DisplayMode chosen;
    if (!FindMode(state, *mode, &chosen)) return DISP_CHANGE_BADMODE;
    if (flags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
    state.current = chosen;
    if (flags & CDS_UPDATEREGISTRY) state.registry = chosen;
    return DISP_CHANGE_SUCCESSFUL;
}

}  // namespace

BOOL EnumDisplaySettingsW(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode) {
    if (mode == nullptr || mode->dmSize != sizeof(DEVMODEW) || device != nullptr) return FALSE;
    DisplayState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (modeIndex == ENUM_CURRENT_SETTINGS) {
        Fill(mode, state.current);
    } else if (modeIndex == ENUM_REGISTRY_SETTINGS) {
        Fill(mode, state.registry);
    } else if (modeIndex < state.modes.size()) {
        Fill(mode, state.modes[modeIndex]);
    } else {
        return FALSE;
    }
    return TRUE;
}

LONG ChangeDisplaySettingsW(DEVMODEW* mode, DWORD flags) {
    DisplayState& state = State();
    win32::ChangeDisplaySettingsCall call{};
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        call.hasMode = mode != nullptr;
        if (mode != nullptr) std::memcpy(&call.mode, mode, sizeof(DEVMODEW));
        call.flags = flags;
        const win32::DisplayMode before = state.current;
        call.result = Apply(state, mode, flags);
        state.calls.push_back(call);
        changed = before.width != state.current.width || before.height != state.current.height ||
                  before.bitsPerPixel != state.current.bitsPerPixel || before.frequency != state.current.frequency;
    }
    if (changed) {
        if (win32::DisplayChangeListener listener = g_displayListener.load()) listener();
    }
    return call.result;
}

HDC GetDC(HWND window) {
    if (window != nullptr && !IsWindow(window)) return nullptr;
    DisplayState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const std::uintptr_t id = state.nextDc;
    state.nextDc += 8;
    state.openDcs.insert(id);
    return reinterpret_cast<HDC>(id);
}

int ReleaseDC(HWND, HDC dc) {
    DisplayState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.openDcs.erase(reinterpret_cast<std::uintptr_t>(dc)) == 1 ? 1 : 0;
}

int GetDeviceCaps(HDC dc, int index) {
    DisplayState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.openDcs.count(reinterpret_cast<std::uintptr_t>(dc)) == 0) return 0;
    switch (index) {
        case HORZRES: return static_cast<int>(state.current.width);
        case VERTRES: return static_cast<int>(state.current.height);
        case BITSPIXEL: return static_cast<int>(state.current.bitsPerPixel);
        case PLANES: return 1;
        case VREFRESH: return static_cast<int>(state.current.frequency);
        default: throw std::invalid_argument("GetDeviceCaps: index " + std::to_string(index) + " is not modelled");
    }
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CYSCREEN: {
            DisplayState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            return static_cast<int>(index == SM_CXSCREEN ? state.current.width : state.current.height);
        }
        case SM_CYCAPTION: return 23;
        case SM_CYMENU: return 20;
        case SM_CXBORDER:
        case SM_CYBORDER: return 1;
        case SM_CXFIXEDFRAME:
        case SM_CYFIXEDFRAME: return 3;
        case SM_CXSIZEFRAME:
        case SM_CYSIZEFRAME: return 8;
        case SM_CXEDGE:
        case SM_CYEDGE: return 2;
        default:
            throw std::invalid_argument("GetSystemMetrics: index " + std::to_string(index) + " is not modelled");
    }
}

namespace win32 {

void SetDisplayModes(const std::vector<DisplayMode>& modes) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().modes = modes;
}

std::vector<DisplayMode> DisplayModes() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().modes;
}

void SetCurrentDisplayMode(const DisplayMode& mode) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().current = mode;
    State().registry = mode;
}

DisplayMode CurrentDisplayMode() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().current;
}

DisplayMode RegistryDisplayMode() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().registry;
}

void ScriptChangeDisplaySettingsResult(LONG result) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().scriptedResults.push_back(result);
}

std::vector<ChangeDisplaySettingsCall> ChangeDisplaySettingsCalls() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().calls;
}

int OutstandingDeviceContexts() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return static_cast<int>(State().openDcs.size());
}

void ResetDisplay() {
    DisplayState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.modes = DefaultModes();
    state.current = kDefaultDesktop;
    state.registry = kDefaultDesktop;
    state.scriptedResults.clear();
    state.calls.clear();
    state.openDcs.clear();
}

void SetDisplayChangeListener(DisplayChangeListener listener) { g_displayListener.store(listener); }

}  // namespace win32
