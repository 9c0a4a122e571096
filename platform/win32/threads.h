#pragma once
// Threads as the C runtime starts them, with their Win32 handles: _beginthreadex starts a
// thread that runs `start(argument)`, WaitForSingleObject waits for it to end, CloseHandle
// gives the handle up.
//
// A thread handle stays valid until CloseHandle, whether or not the thread has ended; closing
// the handle of a thread that still runs leaves the thread running to its end. Handles are
// checked: waiting on or closing anything but an open thread handle fails (WAIT_FAILED,
// FALSE), and so does a thread waiting for itself. Only what the library asks for is
// supported: no security attributes, any stack size (the system's is used), start flags 0
// (CREATE_SUSPENDED is refused); a refused argument takes the C runtime's invalid-parameter
// path (crt_invalid_parameter.h) and gives 0 with errno EINVAL.
//
// Test control: starts can be made to fail as when the system has no threads left
// (_beginthreadex gives 0, errno EAGAIN). All functions here are thread-safe.
#include <cstdint>

#include "platform/win32/win32_types.h"

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

using _beginthreadex_proc_type = unsigned (*)(void* argument);

// The new thread's handle as an integer (cast it to HANDLE), or 0 when it could not start.
// `threadId`, when not null, receives a number that identifies the thread.
std::uintptr_t _beginthreadex(void* security, unsigned stackSize, _beginthreadex_proc_type start, void* argument,
                              unsigned initFlags, unsigned* threadId);

// WAIT_OBJECT_0 once the thread has ended (at once when it already has), WAIT_TIMEOUT when
// `milliseconds` passed first (INFINITE: never), WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// FALSE for a bad handle (also one already closed).
BOOL CloseHandle(HANDLE handle);

namespace win32 {

// Lets `count` more threads start, after which every start fails until the next call; a
// negative count lifts the limit (the default). SetThreadStartsLeft(0) makes every start fail.
void SetThreadStartsLeft(int count);

// Threads started and handles still open, for tests that check nothing is left behind.
int OpenThreadHandleCount();

}  // namespace win32
