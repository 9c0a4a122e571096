// What the beam draws: its texture (named by SetTexture, resolved by each update) and texture
// coordinates, and one quad per live particle appended to the alpha-blended processor's batch.
// The legacy beam finds its texture at once and prepares batches of its own
// (legacy/particle_beam_legacy.cpp).
#include <cmath>
#include <utility>

#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/viewport.h"
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/tex_mgr.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_names.h"

namespace {

constexpr float kHalfTexel = 0.5f;
constexpr float kFlatDepthOffset = 0.000001f;  // 2D quads lie just in front of their draw sequence

bool Finite(const vertex_t& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

void CParticleBeam::SetTexture(const std::u16string& name) {
    std::u16string key = CapWideText(name, kNameUnits);
    if (key.empty()) {
        if (!textureName_.empty()) textureReload_ = 1;
        textureName_.clear();
        return;
    }
    NormalizePath(key.data());
    textureName_ = std::move(key);
    textureReload_ = 1;
}

void CParticleBeam::ResolveTexture(const anim_cell_t* cell) {
    if (textureReload_) {
        if (texture_ != nullptr) texture_->Release();
        texture_ = nullptr;
        // The texture manager refuses names past a path's length (it throws); such a beam
        // has no texture, as one whose file is missing.
        if (!textureName_.empty() && texMgr_ != nullptr && textureName_.size() < kPathBufferUnits) {
            texture_ = texMgr_->FindOrCreateTexture(textureName_.c_str(), false);
            if (texture_ != nullptr) texture_->AddRef();
        }
        textureReload_ = 0;
    }
    state_.drawTexture = nullptr;
    if (texture_ == nullptr) return;
    if (!texture_->IsLoaded()) texture_->PollLoad();
    if (!texture_->IsLoaded()) return;

    const auto width = static_cast<float>(texture_->GetWidth());
    const auto height = static_cast<float>(texture_->GetHeight());
    float left = 0.0f, top = 0.0f, right = 1.0f, bottom = 1.0f;
    CD3DTexture* drawn = texture_;
    if (tex_cell_t* atlas = texMgr_->GetTextureCell(texture_)) {
        const auto pageWidth = static_cast<float>(atlas->page->GetWidth());
        const auto pageHeight = static_cast<float>(atlas->page->GetHeight());
        const auto x = static_cast<float>(atlas->rect.left);
        const auto y = static_cast<float>(atlas->rect.top);
        if (cell != nullptr) {
            left = (x + static_cast<float>(cell->left)) / pageWidth;
            top = (y + static_cast<float>(cell->top)) / pageHeight;
            right = (x + static_cast<float>(cell->right)) / pageWidth;
            bottom = (y + static_cast<float>(cell->bottom)) / pageHeight;
        } else {
            // Half a texel in from the cell's edges, so that filtering stays off the neighbours.
            left = (x <= 0.0f ? x : x + kHalfTexel) / pageWidth;
            top = (y <= 0.0f ? y : y + kHalfTexel) / pageHeight;
            right = (width + x - kHalfTexel) / pageWidth;
            bottom = (height + y - kHalfTexel) / pageHeight;
        }
        drawn = atlas->page;
    } else {
        if (!texture_->EnsureVideoTexture()) return;
        if (cell != nullptr) {
            left = static_cast<float>(cell->left) / width;
            top = static_cast<float>(cell->top) / height;
            right = static_cast<float>(cell->right) / width;
            bottom = static_cast<float>(cell->bottom) / height;
        }
    }
    if (flipX_) std::swap(left, right);
    if (flipY_) std::swap(top, bottom);
    float (&uv)[4][2] = state_.uvCorners;
    uv[0][0] = left;
    uv[0][1] = top;
    uv[1][0] = right;
    uv[1][1] = top;
    uv[2][0] = left;
    uv[2][1] = bottom;
    uv[3][0] = right;
    uv[3][1] = bottom;
    state_.drawTexture = drawn;
}

bool CParticleBeam::IsDrawn() { return beamFlag_ != 0 && state_.drawTexture != nullptr; }

bool CParticleBeam::IsSameRenderState(const STRU_DRAW_PRIMITIVE& record) {
    const D3DPRIMITIVETYPE type = particleMode_ == PM_BILLBOARD ? D3DPT_TRIANGLELIST : D3DPT_POINTLIST;
    return record.primitiveType == type && record.colorOp == static_cast<DWORD>(colorOp_) &&
           record.alphaOp == static_cast<DWORD>(alphaOp_) && record.blendOp == static_cast<DWORD>(blendOp_) &&
           record.sourceBlend == static_cast<DWORD>(sourceBlendMode_) &&
           record.destinationBlend == static_cast<DWORD>(destBlendMode_) && record.cullMode == D3DCULL_CCW &&
           record.pixelShader == nullptr;
}

void CParticleBeam::AppendToBatch(PrimitiveData& node, bool newNode, const viewport_t& viewport, float depthStep) {
    CD3DTexture* drawn = state_.drawTexture;
    if (newNode) {
        if (drawn != nullptr && drawn->GetMemory() != nullptr) drawn->UploadDirtyRect();
        STRU_DRAW_PRIMITIVE& record = *node.record;
        record = DrawStates();
        record.magFilter = record.minFilter = record.thirdFilter = -1;
    }

    const clip_space_t clip = ClipSpaceOf(&viewport);
    const float depth = DepthOfSequence(static_cast<std::uint32_t>(drawSequence_), depthStep);
    const bool flat = coordinates_ == COORDS_2D;
    // In front of the sequence, yet behind the submission after it.
    const float flatZ = std::fmax(depth - std::fmin(kFlatDepthOffset, depthStep * 0.5f), 0.0f);
    const float aspect = texture_ != nullptr ? texture_->GetAspect() : 1.0f;
    const bool alignToMotion = particleAngleType_ == PAT_ALIGNTOMOTION;
    const float emitterAngle = state_.emitterAngle;
    const float emitterCos = std::cos(emitterAngle);
    const float emitterSin = std::sin(emitterAngle);
    const float (&uv)[4][2] = state_.uvCorners;
    const float pivotX = refPoint_[0];
    const float pivotY = refPoint_[1];

    for (lru_obj_s* entry = lru_obj_s::Next(&live_); entry != &live_; entry = lru_obj_s::Next(entry)) {
        PrefetchParticle(entry->next);
        const CParticle& particle = *CParticle::FromNode(entry);
        float w = 0.0f;
        float h = 0.0f;
        QuadSizeOf(particle, aspect, w, h);
        if (!(w >= 1.0f && h >= 1.0f)) continue;

        // Turning the corner by the particle's angle and then, with its offset, by the
        // emitter's angle is one turn by their sum plus the turned offset.
        const float turn = particle.angle + (alignToMotion ? particle.motionAngle.value : 0.0f) + emitterAngle;
        const float c = std::cos(turn);
        const float s = std::sin(turn);
        const vec3_t& p = particle.position;
        const vec3_t& e = particle.emitterPosition;
        const float centerX = p.x * emitterCos - p.y * emitterSin + e.x - state_.originX;
        const float centerY = p.x * emitterSin + p.y * emitterCos + e.y - state_.originY;
        const float z = flat ? flatZ : depth + p.z + e.z;
        const float xs[2] = {-pivotX * w, (1.0f - pivotX) * w};
        const float ys[2] = {-pivotY * h, (1.0f - pivotY) * h};
        const D3DCOLOR color = PackColor(particle.color.r, particle.color.g, particle.color.b, particle.color.a);

        vertex_t quad[4];
        for (int corner = 0; corner < 4; ++corner) {
            const float cx = xs[corner & 1];
            const float cy = ys[corner >> 1];
            quad[corner] = {clip.X(cx * c - cy * s + centerX), clip.Y(cx * s + cy * c + centerY), z, color,
                            uv[corner][0], uv[corner][1]};
        }
        // A particle at no finite place (a NaN or infinite input) is not drawn.
        if (!Finite(quad[0]) || !Finite(quad[1]) || !Finite(quad[2]) || !Finite(quad[3])) continue;
        vertex_t* written = node.AddQuad();
        written[0] = quad[0];
        written[1] = quad[1];
        written[2] = quad[2];
        written[3] = quad[3];
    }
}
