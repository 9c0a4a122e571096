#pragma once
// Helpers of the memory-pool tests of both builds (the pool class differs between them, so
// these are templates).
#include <exception>
#include <string>
#include <vector>

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

}  // namespace lumi::test
