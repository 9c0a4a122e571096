#pragma once
// A ps.1.1 program in token form, checked once when the device creates the shader and run per
// pixel by the rasteriser: def, tex, mov, add, sub, mul, mad, dp3, lrp with write masks and the
// .rgb / .a co-issue forms. With a shader bound the texture-stage operations are bypassed.
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

namespace d3d9sw {

class PixelShaderProgram {
public:
    // Parses a token stream (version token first, end token 0x0000FFFF last). Returns null and
    // sets `error` when the program uses something this interpreter does not run.
    static std::unique_ptr<PixelShaderProgram> Parse(const DWORD* tokens, std::string* error);

    // Stages whose texture the program samples (bit n for stage n), so the caller samples them.
    unsigned SampledStages() const;

    // Runs the program for one pixel: `texels[n]` holds the sampled texel of stage n (r, g, b, a
    // in 0..1), `diffuse` is v0. Writes r0, clamped to 0..1, into `out`.
    void Run(const float texels[][4], const float diffuse[4], float out[4]) const;

    // Whether the program is the grey filter "tex t0; dp3 r0.rgb, t0, cN; mov r0.a, t0" (in
    // either order of the last two, co-issued or not); `weights` gets cN's first three values.
    bool IsGreyFilter(float weights[3]) const;

    const std::vector<DWORD>& Tokens() const { return tokens_; }
    ~PixelShaderProgram();

private:
    struct Instruction;
    PixelShaderProgram();
    std::vector<DWORD> tokens_;
    std::vector<Instruction> code_;
    unsigned sampledStages_ = 0;
    float constants_[8][4] = {};
};

}  // namespace d3d9sw
