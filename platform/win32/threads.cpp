#include "platform/win32/threads.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/win32/crt_invalid_parameter.h"

namespace {

// What the thread and the handle share: the thread may outlive its handle, and the other way
// round.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

struct ThreadRecord {
    std::thread thread;
    std::shared_ptr<ThreadState> state;
};

struct Registry {
    std::mutex mutex;
    std::map<HANDLE, std::unique_ptr<ThreadRecord>> open;
    unsigned nextId = 1;
    int startsLeft = -1;
};

// Never destroyed: static objects of the library close their thread handles when they are
// destroyed at exit, which may be after any static object of this file.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// The state behind an open handle, or null.
std::shared_ptr<ThreadState> StateOf(HANDLE handle, std::thread::id* threadId) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.open.find(handle);
    if (found == registry.open.end()) return nullptr;
    if (threadId != nullptr) *threadId = found->second->thread.get_id();
    return found->second->state;
}

}  // namespace

std::uintptr_t _beginthreadex(void* security, unsigned, _beginthreadex_proc_type start, void* argument,
                              unsigned initFlags, unsigned* threadId) {
    if (start == nullptr || security != nullptr || initFlags != 0) {
        win32::InvalidParameter("_beginthreadex", EINVAL);
        return 0;
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (registry.startsLeft == 0) {
        errno = EAGAIN;
        return 0;
    }
    auto record = std::make_unique<ThreadRecord>();
    record->state = std::make_shared<ThreadState>();
    try {
        record->thread = std::thread([start, argument, state = record->state] {
            start(argument);
            std::lock_guard<std::mutex> ending(state->mutex);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (const std::system_error&) {
        errno = EAGAIN;
        return 0;
    }
    if (registry.startsLeft > 0) --registry.startsLeft;
    if (threadId != nullptr) *threadId = registry.nextId;
    ++registry.nextId;
    HANDLE handle = record.get();
    // Handles are fresh addresses, so the slot is always new (assigned, not emplaced: GCC 12
    // warns of a use after free on emplace's discarded-node path).
    registry.open[handle] = std::move(record);
    return reinterpret_cast<std::uintptr_t>(handle);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::thread::id threadId;
    std::shared_ptr<ThreadState> state = StateOf(handle, &threadId);
    // A thread waiting for its own end would wait forever.
    if (state == nullptr || threadId == std::this_thread::get_id()) return WAIT_FAILED;
    std::unique_lock<std::mutex> lock(state->mutex);
    if (milliseconds == INFINITE) {
        state->ended.wait(lock, [&] { return state->done; });
        return WAIT_OBJECT_0;
    }
    const bool done = state->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state->done; });
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle) {
    std::unique_ptr<ThreadRecord> record;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.open.find(handle);
        if (found == registry.open.end()) return FALSE;
        record = std::move(found->second);
        registry.open.erase(found);
    }
    bool done;
    {
        std::lock_guard<std::mutex> lock(record->state->mutex);
        done = record->state->done;
    }
    // An ended thread is joined (it only has its last instructions left); a running one goes
    // on alone, as a thread whose handle was closed does.
    if (done && record->thread.get_id() != std::this_thread::get_id()) {
        record->thread.join();
    } else {
        record->thread.detach();
    }
    return TRUE;
}

namespace win32 {

void SetThreadStartsLeft(int count) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.startsLeft = count < 0 ? -1 : count;
}

int OpenThreadHandleCount() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return static_cast<int>(registry.open.size());
}

}  // namespace win32
