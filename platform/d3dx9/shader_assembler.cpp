#include "platform/d3dx9/shader_assembler.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "platform/d3dx9/control.h"
#include "platform/d3dx9/d3dx9.h"

namespace d3dx {
namespace {

// Direct3D 9 token encoding.
constexpr DWORD kVersion11 = 0xFFFF0101;
constexpr DWORD kEnd = 0x0000FFFF;
constexpr DWORD kCoIssue = 0x40000000;
constexpr DWORD kParameter = 0x80000000;  // every register token has the top bit set
constexpr int kTypeShift = 28;
constexpr int kMaskShift = 16;
constexpr int kSwizzleShift = 16;
constexpr DWORD kNegate = 1u << 24;
constexpr DWORD kSwizzleIdentity = 0xE4, kReplicateAlpha = 0xFF, kReplicateBlue = 0xAA;
constexpr DWORD kMaskRgb = 0x7, kMaskAlpha = 0x8, kMaskAll = 0xF;

enum Register : DWORD { kTemp = 0, kInput = 1, kConst = 2, kTexture = 3 };
constexpr int kRegisterCount[] = {2, 2, 8, 4};  // r, v, c, t in ps.1.1
constexpr unsigned kWritable = (1u << kTemp) | (1u << kTexture);
constexpr unsigned kReadable = 0xF;

enum Opcode : DWORD { kMov = 1, kAdd = 2, kSub = 3, kMad = 4, kMul = 5, kDp3 = 8, kLrp = 18, kTex = 66, kDef = 81 };

struct Mnemonic {
    const char* name;
    Opcode opcode;
    int sources;
};
constexpr Mnemonic kArithmetic[] = {{"mov", kMov, 1}, {"add", kAdd, 2}, {"sub", kSub, 2}, {"mul", kMul, 2},
                                    {"mad", kMad, 3}, {"dp3", kDp3, 2}, {"lrp", kLrp, 3}};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitOperands(std::string_view text) {
    std::vector<std::string_view> parts;
    if (Trim(text).empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(Trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

class Assembler {
public:
    explicit Assembler(std::string* errors) : errors_(errors) {}

    void Line(int number, std::string_view text) {
        line_ = number;
        text = Trim(text);
        if (text.empty()) return;
        const bool coIssued = text.front() == '+';
        if (coIssued) text = Trim(text.substr(1));
        if (coIssued && text.empty()) {
            Error("'+' without an instruction");
            return;
        }
        const std::size_t split = text.find_first_of(" \t");
        const std::string mnemonic = Lower(text.substr(0, split));
        const std::string_view rest = split == std::string_view::npos ? std::string_view{} : text.substr(split);
        if (!versionSeen_) {
            if (!coIssued && (mnemonic == "ps.1.1" || mnemonic == "ps_1_1") && Trim(rest).empty()) {
                versionSeen_ = true;
                tokens_.push_back(kVersion11);
            } else {
                Error("expected the version \"ps.1.1\" before '" + std::string(text) + "'");
                versionSeen_ = true;  // report the rest of the program against ps.1.1
                tokens_.push_back(kVersion11);
            }
            return;
        }
        Instruction(mnemonic, SplitOperands(rest), coIssued);
    }

    bool Finish(std::vector<DWORD>* tokens) {
        if (!versionSeen_) Error("no \"ps.1.1\" version line");
        if (failed_) return false;
        tokens_.push_back(kEnd);
        *tokens = std::move(tokens_);
        return true;
    }

private:
    void Error(const std::string& message) {
        failed_ = true;
        if (errors_ != nullptr) *errors_ += "(" + std::to_string(line_) + "): error: " + message + "\n";
    }

    void Instruction(const std::string& mnemonic, const std::vector<std::string_view>& operands, bool coIssued) {
        if (mnemonic == "def") return Def(operands, coIssued);
        if (mnemonic == "tex") return Tex(operands, coIssued);
        const Mnemonic* found = nullptr;
        for (const Mnemonic& m : kArithmetic)
            if (mnemonic == m.name) found = &m;
        if (found == nullptr) {
            Error("unknown or unsupported instruction '" + mnemonic + "'");
            return;
        }
        Arithmetic(*found, operands, coIssued);
    }

    void Def(const std::vector<std::string_view>& operands, bool coIssued) {
        if (coIssued) Error("def cannot be co-issued");
        if (phase_ > 0) Error("def must come before texture and arithmetic instructions");
        if (operands.size() != 5) {
            Error("def takes a constant register and four values");
            return;
        }
        const std::optional<DWORD> reg = ParseRegister(operands[0], 1u << kConst);
        if (!reg) return;
        tokens_.push_back(kDef);
        tokens_.push_back(kParameter | (DWORD{kConst} << kTypeShift) | *reg | (kMaskAll << kMaskShift));
        for (std::size_t i = 1; i < 5; ++i) {
            float value = 0;
            std::string_view text = operands[i];
            if (!text.empty() && (text.back() == 'f' || text.back() == 'F')) text.remove_suffix(1);
            const char* begin = text.data();
            if (!text.empty() && text.front() == '+') ++begin;
            const auto result = std::from_chars(begin, text.data() + text.size(), value);
            if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
                Error("'" + std::string(operands[i]) + "' is not a number");
                value = 0;
            }
            DWORD bits;
            std::memcpy(&bits, &value, sizeof bits);
            tokens_.push_back(bits);
        }
    }

    void Tex(const std::vector<std::string_view>& operands, bool coIssued) {
        if (coIssued) Error("tex cannot be co-issued");
        if (phase_ > 1) Error("tex must come before arithmetic instructions");
        phase_ = std::max(phase_, 1);
        if (operands.size() != 1) {
            Error("tex takes one texture register");
            return;
        }
        const std::optional<DWORD> reg = ParseRegister(operands[0], 1u << kTexture);
        if (!reg) return;
        tokens_.push_back(kTex);
        tokens_.push_back(kParameter | (DWORD{kTexture} << kTypeShift) | *reg | (kMaskAll << kMaskShift));
        lastMask_ = 0;
    }

    void Arithmetic(const Mnemonic& m, const std::vector<std::string_view>& operands, bool coIssued) {
        phase_ = 2;
        if (operands.size() != static_cast<std::size_t>(m.sources) + 1) {
            Error(std::string(m.name) + " takes a destination and " + std::to_string(m.sources) + " source(s)");
            return;
        }
        DWORD mask = kMaskAll;
        const std::optional<DWORD> dest = ParseDestination(operands[0], &mask);
        if (coIssued) {
            const bool pairs = (lastMask_ == kMaskRgb && mask == kMaskAlpha) || (lastMask_ == kMaskAlpha && mask == kMaskRgb);
            if (!pairs) Error("a co-issued pair must write .rgb in one instruction and .a in the other");
            lastMask_ = 0;  // no third instruction joins the pair
        } else {
            lastMask_ = mask;
        }
        std::vector<DWORD> sources;
        for (int i = 1; i <= m.sources; ++i)
            if (const std::optional<DWORD> source = ParseSource(operands[static_cast<std::size_t>(i)])) sources.push_back(*source);
        if (!dest || sources.size() != static_cast<std::size_t>(m.sources)) return;
        tokens_.push_back(m.opcode | (coIssued ? kCoIssue : 0));
        tokens_.push_back(*dest);
        tokens_.insert(tokens_.end(), sources.begin(), sources.end());
    }

    // "r0", "c7", ...: the register number, when its type is in `allowed` (bit per type).
    std::optional<DWORD> ParseRegister(std::string_view text, unsigned allowed, Register* type = nullptr) {
        static constexpr char kLetters[] = {'r', 'v', 'c', 't'};
        const std::string name = Lower(text);
        const char* letter = name.empty() ? nullptr : std::find(std::begin(kLetters), std::end(kLetters), name[0]);
        unsigned number = 0;
        const char* end = name.data() + name.size();
        if (letter == nullptr || letter == std::end(kLetters) || name.size() < 2 ||
            std::from_chars(name.data() + 1, end, number).ptr != end) {
            Error("'" + std::string(text) + "' is not a register");
            return std::nullopt;
        }
        const auto found = static_cast<Register>(letter - kLetters);
        if ((allowed & (1u << found)) == 0) {
            Error("register '" + std::string(text) + "' cannot be used here");
            return std::nullopt;
        }
        if (number >= static_cast<unsigned>(kRegisterCount[found])) {
            Error("register '" + std::string(text) + "' does not exist in ps.1.1");
            return std::nullopt;
        }
        if (type != nullptr) *type = found;
        return number;
    }

    std::optional<DWORD> ParseDestination(std::string_view text, DWORD* mask) {
        const std::size_t dot = text.find('.');
        const std::string_view name = text.substr(0, dot);
        if (dot != std::string_view::npos) {
            const std::string suffix = Lower(text.substr(dot + 1));
            if (suffix == "rgba" || suffix == "xyzw") {
                *mask = kMaskAll;
            } else if (suffix == "rgb" || suffix == "xyz") {
                *mask = kMaskRgb;
            } else if (suffix == "a" || suffix == "w") {
                *mask = kMaskAlpha;
            } else {
                Error("write mask '." + suffix + "' is not one of .rgba, .rgb, .a");
                return std::nullopt;
            }
        }
        Register type = kTemp;
        const std::optional<DWORD> number = ParseRegister(name, kWritable, &type);
        if (!number) return std::nullopt;
        return kParameter | (DWORD{type} << kTypeShift) | *number | (*mask << kMaskShift);
    }

    std::optional<DWORD> ParseSource(std::string_view text) {
        DWORD modifier = 0;
        if (!text.empty() && text.front() == '-') {
            modifier = kNegate;
            text = Trim(text.substr(1));
        }
        DWORD swizzle = kSwizzleIdentity;
        const std::size_t dot = text.find('.');
        if (dot != std::string_view::npos) {
            const std::string suffix = Lower(text.substr(dot + 1));
            if (suffix == "a" || suffix == "w" || suffix == "aaaa" || suffix == "wwww") {
                swizzle = kReplicateAlpha;
            } else if (suffix == "b" || suffix == "z" || suffix == "bbbb" || suffix == "zzzz") {
                swizzle = kReplicateBlue;
            } else if (suffix != "rgba" && suffix != "xyzw") {
                Error("source swizzle '." + suffix + "' is not available in ps.1.1");
                return std::nullopt;
            }
            text = text.substr(0, dot);
        }
        Register type = kTemp;
        const std::optional<DWORD> number = ParseRegister(text, kReadable, &type);
        if (!number) return std::nullopt;
        return kParameter | (DWORD{type} << kTypeShift) | *number | (swizzle << kSwizzleShift) | modifier;
    }

    std::string* errors_;
    std::vector<DWORD> tokens_;
    int line_ = 0;
    bool versionSeen_ = false;
    bool failed_ = false;
    int phase_ = 0;       // 0: defs, 1: texture instructions, 2: arithmetic
    DWORD lastMask_ = 0;  // mask of the arithmetic instruction a '+' may join; 0: none
};

}  // namespace

bool AssemblePixelShader(std::string_view source, std::vector<DWORD>* tokens, std::string* errors) {
    Assembler assembler(errors);
    int number = 0;
    std::size_t start = 0;
    while (start <= source.size()) {
        const std::size_t end = std::min(source.find('\n', start), source.size());
        std::string_view line = source.substr(start, end - start);
        ++number;
        const std::size_t comment = std::min(line.find(';'), line.find("//"));
        if (comment != std::string_view::npos) line = line.substr(0, comment);
        assembler.Line(number, line);
        start = end + 1;
    }
    tokens->clear();
    return assembler.Finish(tokens);
}

}  // namespace d3dx

namespace {

HRESULT CopyToBuffer(const void* data, std::size_t size, LPD3DXBUFFER* buffer) {
    const HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(size), buffer);
    if (FAILED(hr)) return hr;
    if (size != 0) std::memcpy((*buffer)->GetBufferPointer(), data, size);
    return D3D_OK;
}

}  // namespace

HRESULT D3DXAssembleShader(LPCSTR srcData, UINT srcDataLen, const D3DXMACRO* defines, LPD3DXINCLUDE include,
                           DWORD /*flags*/, LPD3DXBUFFER* shader, LPD3DXBUFFER* errorMessages) {
    if (shader != nullptr) *shader = nullptr;
    if (errorMessages != nullptr) *errorMessages = nullptr;
    HRESULT scripted;
    if (d3dx::TakeScriptedFailure(d3dxctl::Function::kAssembleShader, &scripted)) return scripted;
    if (srcData == nullptr || shader == nullptr) return D3DERR_INVALIDCALL;
    if (defines != nullptr || include != nullptr) {
        std::fprintf(stderr, "D3DXAssembleShader: defines and includes are not supported\n");
        return E_NOTIMPL;
    }
    std::vector<DWORD> tokens;
    std::string errors;
    try {
        if (!d3dx::AssemblePixelShader(std::string_view(srcData, srcDataLen), &tokens, &errors)) {
            if (errorMessages != nullptr) CopyToBuffer(errors.c_str(), errors.size() + 1, errorMessages);
            return D3DXERR_INVALIDDATA;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CopyToBuffer(tokens.data(), tokens.size() * sizeof(DWORD), shader);
}
