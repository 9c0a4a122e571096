#pragma once
// A ps.1.1 assembler for the pixel shaders the library writes: text in, Direct3D 9 token stream
// out (version token, instructions with their register tokens, end token).
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_types.h"

namespace d3dx {

// Assembles `source`. Accepts a "ps.1.1" (or "ps_1_1") version line before any instruction;
// `def c#, x, y, z, w` (before texture and arithmetic instructions), `tex t#` (before
// arithmetic), and mov/add/sub/mul (1 or 2 sources), mad/lrp (3), dp3 (2) writing r0-r1 or
// t0-t3 with a .rgba/.rgb/.a (or .xyzw/.xyz/.w) mask, reading r0-r1, v0-v1, c0-c7, t0-t3 with an
// optional '-' and a .a/.w or .b/.z replication; a leading '+' co-issues an instruction with
// the one before, one writing .rgb and the other .a. ';' and '//' start comments; mnemonics and
// registers are case-insensitive.
// Returns true with the tokens; false with one "(line): error: ..." line per fault in `errors`
// (tokens are left empty).
bool AssemblePixelShader(std::string_view source, std::vector<DWORD>* tokens, std::string* errors);

}  // namespace d3dx
