#pragma once
// The fixed-function texture stages: colour and alpha operations over the diffuse colour,
// the stage's texel, the texture factor and the running result, processed stage by stage up to
// the first disabled one.
#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/raster_rows.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

class TextureStages {
public:
    // What the stages reduce to, for picking a specialised span.
    enum class Shape { kDiffuse, kModulateTexture, kOther };

    // Reads the stage states (indexed by D3DTEXTURESTAGESTATETYPE) and the texture factor.
    // Returns false when an active stage uses an operation or argument not implemented here
    // (DISABLE, SELECTARG1/2, MODULATE, ADD, SUBTRACT, ADDSIGNED, ADDSMOOTH over DIFFUSE,
    // CURRENT, TEXTURE and TFACTOR with COMPLEMENT and ALPHAREPLICATE are).
    bool Configure(const DWORD (*stageStates)[kD3DTextureStageStateCount], D3DCOLOR textureFactor);

    int ActiveStages() const { return count_; }
    bool UsesTexture(int stage) const { return stage < count_ && stages_[stage].usesTexture; }
    Shape GetShape() const;
    // Where the colour and the alpha of the result come from, when each is the texel, the
    // diffuse colour or their product (at most one stage, arguments without modifiers).
    // False for every other setup.
    bool GetRowSources(RowSource* color, RowSource* alpha) const;

    // Runs the active stages; texels[n] is stage n's sample (read only when UsesTexture(n)).
    Rgba Combine(const Rgba& diffuse, const Rgba* texels) const;

private:
    struct Stage {
        DWORD colorOp, colorArg1, colorArg2;
        DWORD alphaOp, alphaArg1, alphaArg2;
        bool usesTexture;
    };
    Stage stages_[kD3DTextureStageCount] = {};
    int count_ = 0;
    Rgba factor_;
};

}  // namespace d3d9sw
