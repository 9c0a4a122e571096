#pragma once
// MessageBoxW with scripted answers: nobody is there to click, so tests queue the answers
// and read back every box that was shown.
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_OKCANCEL = 0x00000001;
inline constexpr UINT MB_YESNOCANCEL = 0x00000003;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr UINT MB_TOPMOST = 0x00040000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Records the call and returns the next queued answer; with none queued, IDOK for an MB_OK
// box and IDNO for any other (nobody agrees to a question). Null text or caption record as
// empty. Thread-safe.
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);

namespace win32 {

struct MessageBoxCall {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

// Queues an answer for the next box (answers are used first in, first out).
void QueueMessageBoxAnswer(int answer);
// Every box shown since the last reset, oldest first.
std::vector<MessageBoxCall> MessageBoxCalls();
// Forgets the recorded calls and the queued answers.
void ResetMessageBoxes();

}  // namespace win32
