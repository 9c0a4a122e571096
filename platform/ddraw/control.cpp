#include "platform/ddraw/control.h"

#include <mutex>

#include "platform/ddraw/direct_draw_state.h"
#include "platform/win32/modules.h"

namespace ddrawctl {
namespace {

struct State {
    std::mutex mutex;
    HRESULT createResult = S_OK;
    HRESULT cooperativeLevelResult = S_OK;
    HRESULT getCapsResult = S_OK;
    std::vector<CooperativeLevelCall> cooperativeLevelCalls;
    int createCalls = 0;
    int getCapsCalls = 0;
    int liveObjects = 0;
};

State& GetState() {
    static State state;
    return state;
}

// Present from start-up, as the DLL is on a real system.
[[maybe_unused]] const bool kInstalled = (Install(), true);

}  // namespace

void Install() {
    win32::RegisterModule(u"ddraw.dll",
                          {{"DirectDrawCreateEx", reinterpret_cast<FARPROC>(&DirectDrawCreateEx)}});
}

void SetCreateResult(HRESULT result) {
    std::lock_guard lock(GetState().mutex);
    GetState().createResult = result;
}

void SetCooperativeLevelResult(HRESULT result) {
    std::lock_guard lock(GetState().mutex);
    GetState().cooperativeLevelResult = result;
}

void SetGetCapsResult(HRESULT result) {
    std::lock_guard lock(GetState().mutex);
    GetState().getCapsResult = result;
}

std::vector<CooperativeLevelCall> CooperativeLevelCalls() {
    std::lock_guard lock(GetState().mutex);
    return GetState().cooperativeLevelCalls;
}

int CreateCalls() {
    std::lock_guard lock(GetState().mutex);
    return GetState().createCalls;
}

int GetCapsCalls() {
    std::lock_guard lock(GetState().mutex);
    return GetState().getCapsCalls;
}

int LiveObjects() {
    std::lock_guard lock(GetState().mutex);
    return GetState().liveObjects;
}

void Reset() {
    {
        State& state = GetState();
        std::lock_guard lock(state.mutex);
        state.createResult = S_OK;
        state.cooperativeLevelResult = S_OK;
        state.getCapsResult = S_OK;
        state.cooperativeLevelCalls.clear();
        state.createCalls = 0;
        state.getCapsCalls = 0;
    }
    Install();
}

namespace detail {

HRESULT OnCreate() {
    std::lock_guard lock(GetState().mutex);
    ++GetState().createCalls;
    return GetState().createResult;
}

HRESULT OnCooperativeLevel(HWND window, DWORD flags, HRESULT wouldReturn) {
    State& state = GetState();
    std::lock_guard lock(state.mutex);
    const HRESULT result = FAILED(state.cooperativeLevelResult) ? state.cooperativeLevelResult : wouldReturn;
    state.cooperativeLevelCalls.push_back({window, flags, result});
    return result;
}

HRESULT OnGetCaps() {
    std::lock_guard lock(GetState().mutex);
    ++GetState().getCapsCalls;
    return GetState().getCapsResult;
}

void ObjectCreated() {
    std::lock_guard lock(GetState().mutex);
    ++GetState().liveObjects;
}

void ObjectDestroyed() {
    std::lock_guard lock(GetState().mutex);
    --GetState().liveObjects;
}

}  // namespace detail
}  // namespace ddrawctl
