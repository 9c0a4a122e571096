#pragma once
// Helpers of the memory-pool tests of both builds (the pool class differs between them, so
// these are templates).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/tarnel/tarnel.h"
#include "platform/win32/debug_output.h"

namespace lumi::test {

// Runs `body` and returns the message of the std::exception it throws ("" when none).
template <class Body>
std::string ThrownMessage(Body body) {
    try {
        body();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

// `count` whole blocks of `pool` (a CMemPool), in the order handed out.
template <class Pool>
std::vector<void*> AllocMany(Pool& pool, int count) {
    std::vector<void*> blocks;
    for (int i = 0; i < count; ++i) blocks.push_back(pool.Alloc(pool.BlockSize()));
    return blocks;
}

// Sends the debugger output and DbgMsg to stderr (a line each), where a death test sees what
// the static pools write at process exit.
inline void SendDebugMessagesToStderr() {
    win32::SetDebugOutputSink([](const std::string& text) { std::fputs(text.c_str(), stderr); });
    tarnel::SetDbgMsgSink([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
}

}  // namespace lumi::test
