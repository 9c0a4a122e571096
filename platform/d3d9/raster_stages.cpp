#include "platform/d3d9/raster_stages.h"

#include <algorithm>

namespace d3d9sw {
namespace {

constexpr DWORD kModifierBits = D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE;

bool IsImplementedOp(DWORD op) {
    switch (op) {
    case D3DTOP_SELECTARG1:
    case D3DTOP_SELECTARG2:
    case D3DTOP_MODULATE:
    case D3DTOP_ADD:
    case D3DTOP_SUBTRACT:
    case D3DTOP_ADDSIGNED:
    case D3DTOP_ADDSMOOTH: return true;
    default: return false;
    }
}

bool UsesArg1(DWORD op) { return op != D3DTOP_SELECTARG2; }
bool UsesArg2(DWORD op) { return op != D3DTOP_SELECTARG1; }

bool IsImplementedArg(DWORD arg) {
    if ((arg & ~(D3DTA_SELECTMASK | kModifierBits)) != 0) return false;
    const DWORD select = arg & D3DTA_SELECTMASK;
    return select == D3DTA_DIFFUSE || select == D3DTA_CURRENT || select == D3DTA_TEXTURE || select == D3DTA_TFACTOR;
}

bool IsTextureArg(DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; }

int Apply(DWORD op, int a, int b) {
    switch (op) {
    case D3DTOP_SELECTARG1: return a;
    case D3DTOP_SELECTARG2: return b;
    case D3DTOP_MODULATE: return (a * b + 127) / 255;
    case D3DTOP_ADD: return std::min(a + b, 255);
    case D3DTOP_SUBTRACT: return std::max(a - b, 0);
    // The signed bias is 0x80, as 8-bit hardware takes one half.
    case D3DTOP_ADDSIGNED: return std::clamp(a + b - 128, 0, 255);
    case D3DTOP_ADDSMOOTH: return std::min(a + b - (a * b + 127) / 255, 255);
    default: return 0;
    }
}

bool IsPlain(DWORD arg, DWORD select) {
    return arg == select || (select == D3DTA_DIFFUSE && arg == D3DTA_CURRENT);  // CURRENT is diffuse in stage 0
}

bool IsModulateOfTextureAndDiffuse(DWORD op, DWORD arg1, DWORD arg2) {
    return op == D3DTOP_MODULATE && ((arg1 == D3DTA_TEXTURE && IsPlain(arg2, D3DTA_DIFFUSE)) ||
                                     (arg2 == D3DTA_TEXTURE && IsPlain(arg1, D3DTA_DIFFUSE)));
}

bool IsDiffuseOnly(DWORD op, DWORD arg1, DWORD arg2) {
    return (op == D3DTOP_SELECTARG1 && IsPlain(arg1, D3DTA_DIFFUSE)) ||
           (op == D3DTOP_SELECTARG2 && IsPlain(arg2, D3DTA_DIFFUSE));
}

// One operation of stage 0 as a row source.
bool RowSourceOf(DWORD op, DWORD arg1, DWORD arg2, RowSource* source) {
    const DWORD selected = op == D3DTOP_SELECTARG1 ? arg1 : arg2;
    if (op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2) {
        if (selected == D3DTA_TEXTURE) *source = RowSource::kTexture;
        else if (IsPlain(selected, D3DTA_DIFFUSE)) *source = RowSource::kDiffuse;
        else return false;
        return true;
    }
    if (IsModulateOfTextureAndDiffuse(op, arg1, arg2)) {
        *source = RowSource::kModulate;
        return true;
    }
    return false;
}

}  // namespace

bool TextureStages::GetRowSources(RowSource* color, RowSource* alpha) const {
    if (count_ == 0) {
        *color = *alpha = RowSource::kDiffuse;
        return true;
    }
    if (count_ > 1) return false;
    const Stage& s = stages_[0];
    if (!RowSourceOf(s.colorOp, s.colorArg1, s.colorArg2, color)) return false;
    // A disabled alpha operation passes the diffuse alpha on.
    if (s.alphaOp == D3DTOP_DISABLE) {
        *alpha = RowSource::kDiffuse;
        return true;
    }
    return RowSourceOf(s.alphaOp, s.alphaArg1, s.alphaArg2, alpha);
}

bool TextureStages::Configure(const DWORD (*stageStates)[kD3DTextureStageStateCount], D3DCOLOR textureFactor) {
    factor_ = Rgba::FromArgb(textureFactor);
    count_ = 0;
    for (unsigned i = 0; i < kD3DTextureStageCount; ++i) {
        const DWORD* s = stageStates[i];
        if (s[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        Stage& stage = stages_[i];
        stage = {s[D3DTSS_COLOROP], s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2],
                 s[D3DTSS_ALPHAOP], s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2], false};
        if (!IsImplementedOp(stage.colorOp)) return false;
        if (stage.alphaOp != D3DTOP_DISABLE && !IsImplementedOp(stage.alphaOp)) return false;
        if (s[D3DTSS_RESULTARG] == D3DTA_TEMP) return false;
        const DWORD used[4] = {UsesArg1(stage.colorOp) ? stage.colorArg1 : D3DTA_CURRENT,
                               UsesArg2(stage.colorOp) ? stage.colorArg2 : D3DTA_CURRENT,
                               stage.alphaOp != D3DTOP_DISABLE && UsesArg1(stage.alphaOp) ? stage.alphaArg1 : D3DTA_CURRENT,
                               stage.alphaOp != D3DTOP_DISABLE && UsesArg2(stage.alphaOp) ? stage.alphaArg2 : D3DTA_CURRENT};
        for (DWORD arg : used) {
            if (!IsImplementedArg(arg)) return false;
            stage.usesTexture = stage.usesTexture || IsTextureArg(arg);
        }
        ++count_;
    }
    return true;
}

TextureStages::Shape TextureStages::GetShape() const {
    if (count_ == 0) return Shape::kDiffuse;
    if (count_ > 1) return Shape::kOther;
    const Stage& s = stages_[0];
    if (IsDiffuseOnly(s.colorOp, s.colorArg1, s.colorArg2) &&
        (s.alphaOp == D3DTOP_DISABLE || IsDiffuseOnly(s.alphaOp, s.alphaArg1, s.alphaArg2)))
        return Shape::kDiffuse;
    if (IsModulateOfTextureAndDiffuse(s.colorOp, s.colorArg1, s.colorArg2) &&
        IsModulateOfTextureAndDiffuse(s.alphaOp, s.alphaArg1, s.alphaArg2))
        return Shape::kModulateTexture;
    return Shape::kOther;
}

Rgba TextureStages::Combine(const Rgba& diffuse, const Rgba* texels) const {
    Rgba current = diffuse;
    for (int i = 0; i < count_; ++i) {
        const Stage& stage = stages_[i];
        auto argument = [&](DWORD arg) {
            Rgba value;
            switch (arg & D3DTA_SELECTMASK) {
            case D3DTA_CURRENT: value = current; break;
            case D3DTA_TEXTURE: value = texels[i]; break;
            case D3DTA_TFACTOR: value = factor_; break;
            default: value = diffuse; break;
            }
            if (arg & D3DTA_ALPHAREPLICATE) value.r = value.g = value.b = value.a;
            if (arg & D3DTA_COMPLEMENT) value = {255 - value.b, 255 - value.g, 255 - value.r, 255 - value.a};
            return value;
        };
        const Rgba c1 = argument(stage.colorArg1), c2 = argument(stage.colorArg2);
        Rgba result{Apply(stage.colorOp, c1.b, c2.b), Apply(stage.colorOp, c1.g, c2.g),
                    Apply(stage.colorOp, c1.r, c2.r), current.a};
        // An alpha operation left disabled under an enabled colour operation passes alpha on.
        if (stage.alphaOp != D3DTOP_DISABLE)
            result.a = Apply(stage.alphaOp, argument(stage.alphaArg1).a, argument(stage.alphaArg2).a);
        current = result;
    }
    return current;
}

}  // namespace d3d9sw
