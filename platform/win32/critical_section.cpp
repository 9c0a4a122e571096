#include "platform/win32/critical_section.h"

#include <stdexcept>

namespace {

std::recursive_mutex& MutexOf(CRITICAL_SECTION* section, const char* operation) {
    if (!section || !section->mutex)
        throw std::logic_error(std::string(operation) + ": critical section is not initialised");
    return *section->mutex;
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    if (!section) throw std::logic_error("InitializeCriticalSection: null section");
    if (section->mutex) throw std::logic_error("InitializeCriticalSection: section is already initialised");
    section->mutex = new std::recursive_mutex;
    section->owner.store(std::thread::id());
    section->depth = 0;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
    MutexOf(section, "EnterCriticalSection").lock();
    // Owner and depth are only written by the thread holding the mutex.
    section->owner.store(std::this_thread::get_id());
    ++section->depth;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
    std::recursive_mutex& mutex = MutexOf(section, "LeaveCriticalSection");
    // Only the owner may look at depth; another thread sees a different owner id.
    if (section->owner.load() != std::this_thread::get_id() || section->depth == 0)
        throw std::logic_error("LeaveCriticalSection: the calling thread does not hold the section");
    if (--section->depth == 0) section->owner.store(std::thread::id());
    mutex.unlock();
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    if (!section || !section->mutex) return;
    const std::thread::id owner = section->owner.load();
    if (owner == std::this_thread::get_id()) {
        for (; section->depth > 0; --section->depth) section->mutex->unlock();
    } else if (owner != std::thread::id()) {
        throw std::logic_error("DeleteCriticalSection: another thread holds the section");
    }
    delete section->mutex;
    section->mutex = nullptr;
    section->depth = 0;
    section->owner.store(std::thread::id());
}
