#pragma once
// Win32 critical sections over std::recursive_mutex: re-entrant for the owning thread, as on
// the platform. The section owns its mutex between InitializeCriticalSection and
// DeleteCriticalSection; it must not be copied while initialised.
//
// Misuse the platform leaves undefined fails loudly here: entering or leaving a null or
// uninitialised section, or leaving one the calling thread does not hold, throws
// std::logic_error, and so does initialising an initialised one or deleting one that another
// thread holds. Deleting an uninitialised (or null) section does nothing; deleting one the
// calling thread holds releases it first.
#include <atomic>
#include <mutex>
#include <thread>

struct CRITICAL_SECTION {
    std::recursive_mutex* mutex = nullptr;
    std::atomic<std::thread::id> owner{};  // thread holding the section, if any
    unsigned depth = 0;                    // nested enters; touched only by the owner
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
