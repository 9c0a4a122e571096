#include "tests/support/message_capture.h"

#include <mutex>

#include "platform/tarnel/tarnel.h"
#include "platform/win32/debug_output.h"

namespace lumi::test {

struct MessageCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> debugOutput;
    std::vector<std::string> warnings;
    std::vector<std::string> devMsgs;
    std::vector<std::string> dbgMsgs;

    static std::function<void(const std::string&)> Appender(std::shared_ptr<State> self, std::vector<std::string> State::*list) {
        return [self, list](const std::string& text) {
            std::lock_guard<std::mutex> lock(self->mutex);
            ((*self).*list).push_back(text);
        };
    }
};

MessageCapture::MessageCapture() : state_(std::make_shared<State>()) {
    win32::SetDebugOutputSink(state_->Appender(state_, &State::debugOutput));
    tarnel::SetWarningSink(state_->Appender(state_, &State::warnings));
    tarnel::SetDevMsgSink(state_->Appender(state_, &State::devMsgs));
    tarnel::SetDbgMsgSink(state_->Appender(state_, &State::dbgMsgs));
}

MessageCapture::~MessageCapture() {
    win32::SetDebugOutputSink({});
    tarnel::SetWarningSink({});
    tarnel::SetDevMsgSink({});
    tarnel::SetDbgMsgSink({});
}

std::vector<std::string> MessageCapture::DebugOutput() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->debugOutput;
}

std::vector<std::string> MessageCapture::Warnings() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->warnings;
}

std::vector<std::string> MessageCapture::DevMsgs() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devMsgs;
}

std::vector<std::string> MessageCapture::DbgMsgs() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->dbgMsgs;
}

bool MessageCapture::Contains(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (const auto* list : {&state_->debugOutput, &state_->warnings, &state_->devMsgs, &state_->dbgMsgs}) {
        for (const std::string& text : *list) {
            if (text.find(fragment) != std::string::npos) return true;
        }
    }
    return false;
}

void MessageCapture::Clear() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->debugOutput.clear();
    state_->warnings.clear();
    state_->devMsgs.clear();
    state_->dbgMsgs.clear();
}

}  // namespace lumi::test
