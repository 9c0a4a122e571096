#pragma once
// Scripted message boxes for the lifetime of the object: queue the answers a user would
// click, then read back every box shown. Construction and destruction forget earlier
// answers and calls, so no script leaks from one test into the next.
#include <vector>

#include "platform/win32/message_box.h"

namespace lumi::test {

class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes() { win32::ResetMessageBoxes(); }
    ~ScriptedMessageBoxes() { win32::ResetMessageBoxes(); }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    void Answer(int answer) { win32::QueueMessageBoxAnswer(answer); }  // IDYES, IDNO, ...
    std::vector<win32::MessageBoxCall> Calls() const { return win32::MessageBoxCalls(); }
};

}  // namespace lumi::test
