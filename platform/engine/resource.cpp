#include "platform/engine/resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/tarnel/tarnel.h"

namespace {

CResource::ResourceHandle NextHandle() {
    static std::atomic<CResource::ResourceHandle> next{0};
    CResource::ResourceHandle handle = ++next;
    if (handle == 0) handle = ++next;  // wrapped: 0 stays "no resource"
    return handle;
}

}  // namespace

CResource::CListener::~CListener() = default;
void CResource::CListener::OnLoadingComplete(CResource*) {}
void CResource::CListener::OnPreparingComplete(CResource*) {}

CResource::CResource(std::string group) : handle_(NextHandle()), group_(std::move(group)) {}

CResource::~CResource() {
    // The loader would call into freed memory; no way to recover from here.
    if (pendingSteps_.load() != 0) {
        std::fprintf(stderr, "CResource %u destroyed while a step of its load is queued or running\n",
                     static_cast<unsigned>(handle_));
        std::abort();
    }
}

std::size_t CResource::GetSize() const { return 0; }

CResource::ResourceHandle CResource::GetHandle() const { return handle_; }

bool CResource::IsPrepared() const {
    const int state = state_.load();
    return state == LOADSTATE_PREPARED || state == LOADSTATE_LOADED;
}

bool CResource::IsLoaded() const {
    // State first: the last step stores it before its pending count drops, so a zero read
    // afterwards means the loader has let go of the resource.
    const int state = state_.load();
    if (state != LOADSTATE_LOADED && state != LOADSTATE_FAILED) return false;
    return pendingSteps_.load() == 0;
}

bool CResource::IsLoading() const { return pendingSteps_.load() != 0; }

CResource::LoadingState CResource::GetLoadingState() const {
    return static_cast<LoadingState>(state_.load());
}

bool CResource::IsBackgroundLoaded() const { return background_.load(); }

void CResource::SetBackgroundLoaded(bool background) { background_.store(background); }

void CResource::AddListener(CListener* listener) {
    if (listener == nullptr) throw std::invalid_argument("CResource::AddListener: null listener");
    std::lock_guard<std::recursive_mutex> lock(listenerMutex_);
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

void CResource::RemoveListener(CListener* listener) {
    std::lock_guard<std::recursive_mutex> lock(listenerMutex_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

const std::string& CResource::GetGroup() const { return group_; }

void CResource::FireBackgroundLoadingComplete() { Notify(&CListener::OnLoadingComplete); }

void CResource::FireBackgroundPreparingComplete() { Notify(&CListener::OnPreparingComplete); }

bool CResource::Prepare() {
    const bool prepared = RunStep(&CResource::PrepareImpl, "prepare");
    state_.store(prepared ? LOADSTATE_PREPARED : LOADSTATE_FAILED);
    return prepared;
}

bool CResource::Decode() {
    const bool decoded = RunStep(&CResource::DecodeImpl, "decode");
    state_.store(decoded ? LOADSTATE_LOADED : LOADSTATE_FAILED);
    return decoded;
}

void CResource::SetLoadState(LoadingState state) {
    if (state < LOADSTATE_UNLOADED || state > LOADSTATE_FAILED) {
        throw std::logic_error("CResource::SetLoadState: no such load state");
    }
    if (pendingSteps_.load() != 0) {
        throw std::logic_error("CResource::SetLoadState: a step of this resource is queued or running");
    }
    state_.store(state);
}

bool CResource::RunStep(bool (CResource::*step)(), const char* stepName) {
    // Steps may run on the loader's thread, where an exception would end the process; a
    // throwing step is a failed step.
    try {
        return (this->*step)();
    } catch (const std::exception& error) {
        DevMsg("CResource %u: %s step failed: %s\n", static_cast<unsigned>(handle_), stepName, error.what());
    } catch (...) {
        DevMsg("CResource %u: %s step failed: unknown exception\n", static_cast<unsigned>(handle_), stepName);
    }
    return false;
}

void CResource::Notify(void (CListener::*notification)(CResource*)) {
    std::lock_guard<std::recursive_mutex> lock(listenerMutex_);
    const std::vector<CListener*> toTell = listeners_;
    for (CListener* listener : toTell) {
        // A callback may have removed a later listener, which may already be gone.
        if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
        (listener->*notification)(this);
    }
}
