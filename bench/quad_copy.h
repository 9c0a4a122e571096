#pragma once
// The floor of the quad-drawing benchmarks: copying each quad's vertices and indices into a
// frame-sized buffer, with nothing else done.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

class QuadCopy {
public:
    QuadCopy(std::size_t bytesPerQuad, int quads) : quad_(bytesPerQuad), frame_(bytesPerQuad * quads), quads_(quads) {
        for (std::size_t i = 0; i < quad_.size(); ++i) quad_[i] = static_cast<unsigned char>(i);
    }

    // One frame's worth of copies.
    void Frame() {
        unsigned char* out = frame_.data();
        for (int i = 0; i < quads_; ++i) {
            quad_[0] = static_cast<unsigned char>(i);  // a quad of its own each time
            std::memcpy(out, quad_.data(), quad_.size());
            out += quad_.size();
        }
        benchmark::DoNotOptimize(frame_.data());
        benchmark::ClobberMemory();
    }

private:
    std::vector<unsigned char> quad_;
    std::vector<unsigned char> frame_;
    int quads_;
};
