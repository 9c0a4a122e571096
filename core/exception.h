#pragma once
// The library's exception for misuse and impossible states. what() is the short English
// message the callers and the event log know ("invalid param.", "buffer still lock.", ...).
#include <exception>
#include <string>
#include <utility>

#include "core/lumi_export.h"

namespace lumi {

// One type for the library and its host (exported), so that a host can catch it by name.
class LUMI_API Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace lumi
