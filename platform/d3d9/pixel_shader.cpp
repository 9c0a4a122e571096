#include "platform/d3d9/pixel_shader.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/d3d9_types.h"

namespace d3d9sw {
namespace {

// Instruction token: opcode in bits 0-15, co-issue in bit 30; version 1.x carries no length.
constexpr DWORD kOpcodeMask = 0x0000FFFF;
constexpr DWORD kCoissueBit = 0x40000000;
constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kCommentOpcode = 0xFFFE;  // length in bits 16-30
constexpr DWORD kParameterBit = 0x80000000;

enum Opcode : DWORD {
    kNop = 0,
    kMov = 1,
    kAdd = 2,
    kSub = 3,
    kMad = 4,
    kMul = 5,
    kDp3 = 8,
    kLrp = 18,
    kTex = 66,
    kDef = 81,
};

enum RegisterType : unsigned { kTemp = 0, kInput = 1, kConst = 2, kTexture = 3 };
constexpr unsigned kRegisterCount[4] = {2, 2, 8, 4};  // r, v, c, t in ps 1.1

// Source modifiers (bits 24-27) that version 1.1 knows.
enum SourceModifier : unsigned { kNone = 0, kNegate, kBias, kBiasNegate, kSign, kSignNegate, kComplement };

// Upper bound on a program's length, so a stream without an end token cannot run away.
constexpr std::size_t kMaxTokens = 4096;

unsigned RegisterTypeOf(DWORD token) { return ((token >> 28) & 7) | ((token >> 8) & 0x18); }

int SourceCount(DWORD opcode) {
    switch (opcode) {
    case kNop: return -1;  // no parameters at all
    case kMov: return 1;
    case kAdd:
    case kSub:
    case kMul:
    case kDp3: return 2;
    case kMad:
    case kLrp: return 3;
    case kTex: return 0;
    default: return -2;  // not run by this interpreter
    }
}

}  // namespace

struct PixelShaderProgram::Instruction {
    struct Source {
        unsigned type = 0;
        unsigned index = 0;
        unsigned swizzle[4] = {0, 1, 2, 3};
        unsigned modifier = kNone;
    };
    DWORD opcode = kNop;
    bool coissue = false;
    unsigned destType = 0;
    unsigned destIndex = 0;
    unsigned writeMask = 0xF;  // bit 0 red .. bit 3 alpha
    bool saturate = false;
    float scale = 1.0f;  // result shift: _x2, _x4, _d2
    int sourceCount = 0;
    Source sources[3];
};

PixelShaderProgram::PixelShaderProgram() = default;
PixelShaderProgram::~PixelShaderProgram() = default;

std::unique_ptr<PixelShaderProgram> PixelShaderProgram::Parse(const DWORD* tokens, std::string* error) {
    auto fail = [error](const std::string& text) -> std::unique_ptr<PixelShaderProgram> {
        if (error != nullptr) *error = text;
        return nullptr;
    };
    if (tokens == nullptr) return fail("no shader tokens");
    if (tokens[0] != D3DPS_VERSION(1, 1)) return fail("only ps.1.1 programs are supported");

    std::unique_ptr<PixelShaderProgram> program(new PixelShaderProgram());
    bool written[4][8] = {};  // registers written so far, by type and index
    std::size_t at = 1;
    bool ended = false;
    bool arithmeticSeen = false;
    while (at < kMaxTokens) {
        const DWORD token = tokens[at++];
        if (token == kEndToken) {
            ended = true;
            break;
        }
        const DWORD opcode = token & kOpcodeMask;
        if (opcode == kCommentOpcode) {
            at += (token >> 16) & 0x7FFF;
            continue;
        }
        if ((token & kParameterBit) != 0) return fail("parameter token where an instruction was expected");
        if (opcode == kDef) {
            const DWORD dest = tokens[at];
            const unsigned index = dest & 0x7FF;
            if ((dest & kParameterBit) == 0 || RegisterTypeOf(dest) != kConst || index >= kRegisterCount[kConst])
                return fail("def needs a constant register c0-c7");
            std::memcpy(program->constants_[index], tokens + at + 1, sizeof(float) * 4);
            at += 5;
            continue;
        }
        const int sourceCount = SourceCount(opcode);
        if (sourceCount == -2) return fail("instruction not supported (opcode " + std::to_string(opcode) + ")");
        Instruction instruction;
        instruction.opcode = opcode;
        instruction.coissue = (token & kCoissueBit) != 0;
        if (sourceCount == -1) continue;  // nop
        if (instruction.coissue &&
            (opcode == kTex || program->code_.empty() || program->code_.back().coissue ||
             program->code_.back().opcode == kTex))
            return fail("co-issue needs a preceding arithmetic instruction");
        instruction.sourceCount = sourceCount;

        const DWORD dest = tokens[at++];
        instruction.destType = RegisterTypeOf(dest);
        instruction.destIndex = dest & 0x7FF;
        instruction.writeMask = (dest >> 16) & 0xF;
        if ((dest & kParameterBit) == 0 || instruction.writeMask == 0) return fail("bad destination token");
        if ((dest & 0x2000) != 0) return fail("relative addressing is not supported");
        const unsigned resultModifier = (dest >> 20) & 0xF;
        if ((resultModifier & ~1u) != 0) return fail("result modifier not supported");
        instruction.saturate = (resultModifier & 1) != 0;
        switch ((dest >> 24) & 0xF) {
        case 0: instruction.scale = 1.0f; break;
        case 1: instruction.scale = 2.0f; break;
        case 2: instruction.scale = 4.0f; break;
        case 0xF: instruction.scale = 0.5f; break;
        default: return fail("result shift not supported");
        }

        if (opcode == kTex) {
            if (arithmeticSeen) return fail("tex after an arithmetic instruction");
            if (instruction.destType != kTexture || instruction.destIndex >= kRegisterCount[kTexture])
                return fail("tex needs a texture register t0-t3");
            program->sampledStages_ |= 1u << instruction.destIndex;
        } else {
            arithmeticSeen = true;
            if (instruction.destType != kTemp && instruction.destType != kTexture)
                return fail("destination must be a temporary or texture register");
            if (instruction.destIndex >= kRegisterCount[instruction.destType]) return fail("register out of range");
        }
        for (int s = 0; s < sourceCount; ++s) {
            const DWORD src = tokens[at++];
            Instruction::Source& source = instruction.sources[s];
            source.type = RegisterTypeOf(src);
            source.index = src & 0x7FF;
            if ((src & kParameterBit) == 0) return fail("bad source token");
            if ((src & 0x2000) != 0) return fail("relative addressing is not supported");
            if (source.type > kTexture || source.index >= kRegisterCount[source.type])
                return fail("source register not supported");
            if ((source.type == kTemp || source.type == kTexture) && !written[source.type][source.index])
                return fail(std::string(source.type == kTemp ? "r" : "t") + std::to_string(source.index) +
                            " read before it is written");
            for (int c = 0; c < 4; ++c) source.swizzle[c] = (src >> (16 + 2 * c)) & 3;
            source.modifier = (src >> 24) & 0xF;
            if (source.modifier > kComplement) return fail("source modifier not supported");
        }
        written[instruction.destType][instruction.destIndex] = true;
        program->code_.push_back(instruction);
    }
    if (!ended) return fail("no end token");
    if (!written[kTemp][0]) return fail("r0 is never written");
    program->tokens_.assign(tokens, tokens + at);
    return program;
}

unsigned PixelShaderProgram::SampledStages() const { return sampledStages_; }

bool PixelShaderProgram::IsGreyFilter(float weights[3]) const {
    if (code_.size() != 3) return false;
    auto plain = [](const Instruction& in) { return in.scale == 1.0f && !in.saturate; };
    auto source = [](const Instruction::Source& s, unsigned type) {
        return s.type == type && s.modifier == kNone && s.swizzle[0] == 0 && s.swizzle[1] == 1 && s.swizzle[2] == 2 &&
               s.swizzle[3] == 3;
    };
    const Instruction& tex = code_[0];
    if (tex.opcode != kTex || tex.destIndex != 0) return false;
    const Instruction* dot = nullptr;
    const Instruction* move = nullptr;
    for (std::size_t i = 1; i < 3; ++i) {
        const Instruction& in = code_[i];
        if (in.opcode == kDp3) dot = &in;
        if (in.opcode == kMov) move = &in;
    }
    if (dot == nullptr || move == nullptr || !plain(*dot) || !plain(*move)) return false;
    if (dot->destType != kTemp || dot->destIndex != 0 || dot->writeMask != 0x7) return false;
    if (move->destType != kTemp || move->destIndex != 0 || move->writeMask != 0x8) return false;
    if (!source(dot->sources[0], kTexture) || dot->sources[0].index != 0 || !source(dot->sources[1], kConst)) return false;
    if (!source(move->sources[0], kTexture) || move->sources[0].index != 0) return false;
    for (int c = 0; c < 3; ++c) weights[c] = constants_[dot->sources[1].index][c];
    return true;
}

void PixelShaderProgram::Run(const float texels[][4], const float diffuse[4], float out[4]) const {
    // Version 1.1 registers hold values in [-1, 1].
    float registers[4][8][4] = {};
    std::memcpy(registers[kConst], constants_, sizeof(constants_));
    std::memcpy(registers[kInput][0], diffuse, sizeof(float) * 4);  // v1 (specular) stays 0

    auto read = [&](const Instruction::Source& source, float value[4]) {
        const float* reg = registers[source.type][source.index];
        for (int c = 0; c < 4; ++c) {
            const float x = reg[source.swizzle[c]];
            switch (source.modifier) {
            case kNegate: value[c] = -x; break;
            case kBias: value[c] = x - 0.5f; break;
            case kBiasNegate: value[c] = 0.5f - x; break;
            case kSign: value[c] = 2.0f * x - 1.0f; break;
            case kSignNegate: value[c] = 1.0f - 2.0f * x; break;
            case kComplement: value[c] = 1.0f - x; break;
            default: value[c] = x; break;
            }
        }
    };
    struct Pending {
        const Instruction* instruction;
        float result[4];
    };
    // A co-issued pair reads its sources before either half writes.
    Pending pending[2];
    int pendingCount = 0;
    auto flush = [&]() {
        for (int p = 0; p < pendingCount; ++p) {
            const Instruction& in = *pending[p].instruction;
            float* reg = registers[in.destType][in.destIndex];
            for (int c = 0; c < 4; ++c) {
                if ((in.writeMask & (1u << c)) == 0) continue;
                float v = pending[p].result[c] * in.scale;
                v = in.saturate ? std::clamp(v, 0.0f, 1.0f) : std::clamp(v, -1.0f, 1.0f);
                reg[c] = v;
            }
        }
        pendingCount = 0;
    };
    for (const Instruction& in : code_) {
        if (!in.coissue) flush();
        Pending& p = pending[pendingCount++];
        p.instruction = &in;
        float a[4], b[4], c[4];
        if (in.sourceCount > 0) read(in.sources[0], a);
        if (in.sourceCount > 1) read(in.sources[1], b);
        if (in.sourceCount > 2) read(in.sources[2], c);
        for (int i = 0; i < 4; ++i) {
            switch (in.opcode) {
            case kTex: p.result[i] = texels[in.destIndex][i]; break;
            case kMov: p.result[i] = a[i]; break;
            case kAdd: p.result[i] = a[i] + b[i]; break;
            case kSub: p.result[i] = a[i] - b[i]; break;
            case kMul: p.result[i] = a[i] * b[i]; break;
            case kMad: p.result[i] = a[i] * b[i] + c[i]; break;
            case kLrp: p.result[i] = a[i] * b[i] + (1.0f - a[i]) * c[i]; break;
            case kDp3: p.result[i] = a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; break;
            default: p.result[i] = 0.0f; break;
            }
        }
    }
    flush();
    for (int c = 0; c < 4; ++c) out[c] = std::clamp(registers[kTemp][0][c], 0.0f, 1.0f);
}

}  // namespace d3d9sw
