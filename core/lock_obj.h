#pragma once
// base_lock: the lock interface the library's guarded objects hold. lock_obj: a lock over a
// Win32 critical section, re-entrant for the thread that holds it.
//
// Every Lock must be matched by an Unlock on the same thread; an Unlock without a Lock throws
// std::logic_error. Destroying a lock_obj that another thread holds is a programming error:
// it is reported through DbgMsg and the lock is left as it is.
#include "platform/win32/critical_section.h"

class base_lock {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;

protected:
    ~base_lock() = default;
};

class lock_obj : public base_lock {
public:
    lock_obj();
    virtual ~lock_obj();
    lock_obj(const lock_obj&) = delete;
    lock_obj& operator=(const lock_obj&) = delete;

    void Lock() override;
    void Unlock() override;

private:
    CRITICAL_SECTION section_;
};

// Holds a lock from construction to the end of the scope.
class lock_scope {
public:
    explicit lock_scope(base_lock& lock) : lock_(lock) { lock_.Lock(); }
    ~lock_scope() { lock_.Unlock(); }
    lock_scope(const lock_scope&) = delete;
    lock_scope& operator=(const lock_scope&) = delete;

private:
    base_lock& lock_;
};
