#pragma once
// Captures, for the lifetime of the object, the text sent to the debugger
// (OutputDebugStringA/W) and to tarnel's Warning, DevMsg and DbgMsg sinks. The destructor
// restores the default sinks (which drop the text). Thread-safe.
#include <memory>
#include <string>
#include <vector>

namespace lumi::test {

class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    // Each call's text, in order (UTF-8, as sent).
    std::vector<std::string> DebugOutput() const;
    std::vector<std::string> Warnings() const;
    std::vector<std::string> DevMsgs() const;
    std::vector<std::string> DbgMsgs() const;

    // Whether any captured text of any kind contains `fragment`.
    bool Contains(const std::string& fragment) const;
    void Clear();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lumi::test
