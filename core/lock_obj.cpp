#include "core/lock_obj.h"

#include <exception>

#include "platform/tarnel/tarnel.h"

lock_obj::lock_obj() { InitializeCriticalSection(&section_); }

lock_obj::~lock_obj() {
    try {
        DeleteCriticalSection(&section_);
    } catch (const std::exception& error) {
        // Destroyed while another thread holds it: report, never throw out of a destructor.
        DbgMsg("lock_obj: %s", error.what());
    }
}

void lock_obj::Lock() { EnterCriticalSection(&section_); }

void lock_obj::Unlock() { LeaveCriticalSection(&section_); }
