// What a beam draws: its quads' corners, depth, colour and render state, its texture and
// texture coordinates (own texture, atlas cell, animation cell, flips), and what the
// software device shows when the alpha-blended processor draws it among other commands.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

#include "core/viewport.h"
#include "draw/alpha_processor.h"
#include "draw/draw_commands.h"
#include "particle/particle_event_kinds.h"
#include "tests/draw/tex_mgr_fixture.h"
#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

// The beams of one emitter as the alpha-blended processor sees them.
class TestEmitter final : public IAlphaBatchEmitter {
public:
    bool IsLoaded() override { return true; }
    std::int32_t GetBeamCount() override { return static_cast<std::int32_t>(beams.size()); }
    IAlphaBatchBeam* GetBeam(std::int32_t index) override { return beams[static_cast<std::size_t>(index)]; }

    std::vector<CParticleBeam*> beams;
};

::testing::AssertionResult Near(std::uint32_t actual, std::uint32_t expected, int tolerance = 2) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof(text), "got 0x%06X, expected 0x%06X", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

class BeamDrawTest : public TexMgrTest {
protected:
    void SetUp() override {
        TexMgrTest::SetUp();
        SeedParticleRandom(1);
        SetAlphaBatchEmitterFn(
            [](CParticleEmitter* emitter) -> IAlphaBatchEmitter* { return reinterpret_cast<TestEmitter*>(emitter); });
        viewport_ = Renderer()->GetCurrentViewport();
        ASSERT_NE(viewport_, nullptr);
    }
    void TearDown() override {
        SetAlphaBatchEmitterFn(nullptr);
        for (STRU_DRAW_COMMAND_BASE* command : commands_) FreeDrawCommand(command);
        beams_.clear();  // their texture references go before the textures
        TexMgrTest::TearDown();
    }

    // A beam of one particle that stays where it is spawned, on `texture`, drawn with the
    // alpha-blended processor's usual blend.
    CParticleBeam* Beam(const std::u16string& texture) {
        beams_.push_back(std::make_unique<CParticleBeam>(nullptr, mgr_));
        CParticleBeam* beam = beams_.back().get();
        beam->SetTexture(texture);
        beam->SetNumParticles(1);
        beam->SetEmitRand(1);
        const value_range_t life = Fixed(100.0f);
        beam->SetLifeTime(&life);
        return beam;
    }
    static void Colored(CParticleBeam* beam, color4_t color) {
        auto* event = static_cast<CParticleEvent_Color*>(CreateParticleEvent("COLOR"));
        event->SetValue(kEventValueColor, false, &color);
        beam->AddParticleEvent(event);
    }
    // Updates (without time passing) until the texture has loaded; false when it never does.
    bool Load(CParticleBeam* beam, float x = 100.0f, float y = 60.0f) {
        for (int i = 0; i < 8; ++i) {
            beam->Update(0.0f, x, y, 0.0f, 0, 1.0f, 0.0f, 0.0f);
            if (beam->IsDrawn()) return true;
            CResourceLoader::GetSingleton().RunUntilIdle();
        }
        return false;
    }
    static void WriteWhiteImage(const std::u16string& path, int side) {
        CRaster image(static_cast<DWORD>(side), static_cast<DWORD>(side), 24, kRasterTypePng);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) image.SetPixelColor(x, y, RGBQUAD{255, 255, 255, 0});
        ASSERT_TRUE(image.Save(path.c_str(), kRasterTypePng));
    }

    // Queued into the main viewport with the next sequence number (a few are skipped first,
    // so that neighbours never share a 16-bit depth value).
    template <class T>
    T* Submit(T* command) {
        for (int i = 0; i < 5; ++i) Renderer()->NextDrawSequence();
        command->sequence = Renderer()->NextDrawSequence();
        commands_.push_back(command);
        EXPECT_TRUE(viewport_->AddDrawCommand(command));
        return command;
    }
    // The beams take the command's sequence first, as their emitter gives it to them.
    STRU_PARTICLE_COMMAND* SubmitEmitter(TestEmitter& emitter) {
        STRU_PARTICLE_COMMAND* command = AllocParticleCommand();
        command->emitter = reinterpret_cast<CParticleEmitter*>(&emitter);
        commands_.push_back(command);
        for (int i = 0; i < 5; ++i) Renderer()->NextDrawSequence();
        command->sequence = Renderer()->NextDrawSequence();
        for (CParticleBeam* beam : emitter.beams) beam->SetDrawSequence(static_cast<std::int32_t>(command->sequence), 0);
        EXPECT_TRUE(viewport_->AddDrawCommand(command));
        return command;
    }
    STRU_RECT_COMMAND* SubmitRect(RECT destination, D3DCOLOR color) {
        STRU_RECT_COMMAND* rect = AllocRectCommand();
        rect->destination = destination;
        rect->color = color;
        rect->filled = 1;
        rect->flags = kDrawFlagAlpha;
        return Submit(rect);
    }
    std::uint32_t Pixel(int x, int y) const { return WindowPixel(window_, x, y) & 0xFFFFFF; }

    // A node as the processor gives a beam, and the beam's quads in it.
    std::unique_ptr<PrimitiveData> Append(CParticleBeam& beam) {
        auto node = std::make_unique<PrimitiveData>();
        beam.AppendToBatch(*node, true, *viewport_, kDepthStep16);
        return node;
    }
    static CParticle* Place(CParticleBeam& beam, vec3_t position, vec3_t emitter, float size) {
        auto* p = new CParticle();
        p->position = position;
        p->emitterPosition = emitter;
        p->size.value = size;
        p->color = {1.0f, 0.5f, 0.25f, 1.0f};
        beam.LiveParticles().PushBack(&p->node);
        return p;
    }

    viewport_t* viewport_ = nullptr;
    std::vector<std::unique_ptr<CParticleBeam>> beams_;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

TEST_F(BeamDrawTest, QuadsTurnAroundThePivotAndLandInClipSpace) {
    const clip_space_t clip = ClipSpaceOf(viewport_);
    const float quarter = 90.0f * kDegreesToRadians;
    struct Case {
        const char* name;
        float pivot, angle, motion, emitterAngle, originX;
        std::int32_t angleType;
        vec3_t position;
        float corners[4][2];  // TL, TR, BL, BR in pixels
    };
    const Case cases[] = {
        {"centred", 0.5f, 0, 0, 0, 0, PAT_SPECIFY, {0, 0, 0}, {{95, 45}, {105, 45}, {95, 55}, {105, 55}}},
        {"turned", 0.0f, quarter, 0, 0, 0, PAT_SPECIFY, {0, 0, 0}, {{100, 50}, {100, 60}, {90, 50}, {90, 60}}},
        {"along its motion", 0.0f, 0, quarter, 0, 0, PAT_ALIGNTOMOTION, {0, 0, 0},
         {{100, 50}, {100, 60}, {90, 50}, {90, 60}}},
        {"motion unused", 0.0f, 0, quarter, 0, 0, PAT_SPECIFY, {0, 0, 0}, {{100, 50}, {110, 50}, {100, 60}, {110, 60}}},
        {"emitter turned", 0.0f, 0, 0, quarter, 0, PAT_SPECIFY, {10, 0, 0},
         {{100, 60}, {100, 70}, {90, 60}, {90, 70}}},
        {"origin", 0.5f, 0, 0, 0, 30, PAT_SPECIFY, {0, 0, 0}, {{65, 45}, {75, 45}, {65, 55}, {75, 55}}},
    };
    for (const Case& c : cases) {
        CParticleBeam beam(nullptr, nullptr);
        const float pivot[2] = {c.pivot, c.pivot};
        beam.SetRefPoint(pivot);
        beam.SetParticleAngleType(c.angleType);
        beam.State().emitterAngle = c.emitterAngle;
        beam.State().originX = c.originX;
        CParticle* p = Place(beam, c.position, {100, 50, 0}, 10.0f);
        p->angle = c.angle;
        p->motionAngle.value = c.motion;
        const auto node = Append(beam);
        ASSERT_EQ(node->arrays.VertexCount(), 4) << c.name;
        const vertex_t* v = node->arrays.Vertices();
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(v[k].x, clip.X(c.corners[k][0]), 1e-5) << c.name << " corner " << k;
            EXPECT_NEAR(v[k].y, clip.Y(c.corners[k][1]), 1e-5) << c.name << " corner " << k;
        }
    }
}

TEST_F(BeamDrawTest, QuadsCarryDepthColourTextureCornersAndIndices) {
    CParticleBeam beam(nullptr, nullptr);
    beam.SetDrawSequence(100, 0);
    Place(beam, {0, 0, 0.25f}, {10, 10, 0.5f}, 4.0f);
    Place(beam, {0, 0, 0}, {20, 10, 0}, 0.5f);  // smaller than a pixel: no quad
    Place(beam, {std::nanf(""), 0, 0}, {20, 10, 0}, 4.0f);  // nowhere: no quad
    Place(beam, {0, 0, 0}, {30, 10, std::numeric_limits<float>::infinity()}, 4.0f)->lockAspect = 0;
    auto node = Append(beam);
    ASSERT_EQ(node->arrays.VertexCount(), 8);  // the last is 1 x 1 (size X and Y), flat whatever its z
    ASSERT_EQ(node->arrays.IndexCount(), 12);
    const vertex_t* v = node->arrays.Vertices();
    const float depth = DepthOfSequence(100, kDepthStep16);
    EXPECT_FLOAT_EQ(v[0].z, depth - 0.000001f);
    EXPECT_EQ(v[0].diffuse, PackColor(1.0f, 0.5f, 0.25f, 1.0f));
    const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(v[k].u, corners[k][0]);
        EXPECT_EQ(v[k].v, corners[k][1]);
    }
    const std::uint16_t* index = node->arrays.Indices();
    EXPECT_EQ((std::vector<std::uint16_t>(index, index + 6)), (std::vector<std::uint16_t>{0, 1, 2, 2, 1, 3}));
    EXPECT_EQ(node->record->primitiveCount, 4u);
    EXPECT_EQ(node->record->vertexCount, 8u);

    // In 3D coordinates a quad keeps its own depth, offset by the particle and the emitter.
    beam.SetCoordinates(COORDS_3D);
    LiveParticles(beam).back()->emitterPosition.z = 0;
    node = Append(beam);
    EXPECT_FLOAT_EQ(node->arrays.Vertices()[0].z, depth + 0.75f);
}

TEST_F(BeamDrawTest, TheBeamSetsANewNodesStatesAndJoinsOnlyMatchingOnes) {
    CParticleBeam beam(nullptr, nullptr);
    beam.SetSourceBlendMode(D3DBLEND_ONE);
    beam.SetDestBlendMode(D3DBLEND_ONE);
    beam.SetColorOp(D3DTOP_ADD);
    const auto node = Append(beam);
    const STRU_DRAW_PRIMITIVE& r = *node->record;
    EXPECT_EQ(r.primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(r.sourceBlend, static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(r.colorOp, static_cast<DWORD>(D3DTOP_ADD));
    EXPECT_EQ(r.alphaOp, static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(r.cullMode, static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(r.magFilter, -1);
    EXPECT_EQ(r.minFilter, -1);
    EXPECT_TRUE(beam.IsSameRenderState(r));
    const std::function<void(STRU_DRAW_PRIMITIVE&)> differences[] = {
        [](STRU_DRAW_PRIMITIVE& s) { s.primitiveType = D3DPT_POINTLIST; },
        [](STRU_DRAW_PRIMITIVE& s) { s.colorOp = D3DTOP_MODULATE; },
        [](STRU_DRAW_PRIMITIVE& s) { s.alphaOp = D3DTOP_DISABLE; },
        [](STRU_DRAW_PRIMITIVE& s) { s.blendOp = D3DBLENDOP_MAX; },
        [](STRU_DRAW_PRIMITIVE& s) { s.sourceBlend = D3DBLEND_SRCALPHA; },
        [](STRU_DRAW_PRIMITIVE& s) { s.destinationBlend = D3DBLEND_ZERO; },
        [](STRU_DRAW_PRIMITIVE& s) { s.cullMode = D3DCULL_NONE; },
        [](STRU_DRAW_PRIMITIVE& s) { s.pixelShader = reinterpret_cast<IDirect3DPixelShader9*>(&s); },
    };
    for (const auto& differ : differences) {
        STRU_DRAW_PRIMITIVE other = r;
        differ(other);
        EXPECT_FALSE(beam.IsSameRenderState(other));
    }
    STRU_DRAW_PRIMITIVE filtered = r;  // filters are not compared
    filtered.magFilter = D3DTEXF_LINEAR;
    EXPECT_TRUE(beam.IsSameRenderState(filtered));
    beam.SetParticleMode(PM_POINTSPRITE);
    EXPECT_EQ(Append(beam)->record->primitiveType, D3DPT_POINTLIST);
}

TEST_F(BeamDrawTest, TextureCoordinatesComeFromTheTextureTheAtlasCellOrTheAnimationCell) {
    WriteImage(u"tex/own.png", 4, 8, kRasterTypePng, ImageColor, true);  // alpha, not square: its own texture
    WriteWhiteImage(u"tex/packed.png", 4);
    const auto uv = [](CParticleBeam* beam) {
        const auto& c = beam->State().uvCorners;
        return std::vector<float>{c[0][0], c[0][1], c[1][0], c[1][1], c[2][0], c[2][1], c[3][0], c[3][1]};
    };
    struct Case {
        std::uint8_t flipX, flipY;
        std::vector<float> corners;  // TL, TR, BL, BR as u, v
    };
    const Case flips[] = {{0, 0, {0, 0, 1, 0, 0, 1, 1, 1}},
                          {1, 0, {1, 0, 0, 0, 1, 1, 0, 1}},
                          {0, 1, {0, 1, 1, 1, 0, 0, 1, 0}},
                          {1, 1, {1, 1, 0, 1, 1, 0, 0, 0}}};
    for (const Case& c : flips) {
        CParticleBeam* own = Beam(u"tex/own.png");
        own->SetFlipX(c.flipX);
        own->SetFlipY(c.flipY);
        ASSERT_TRUE(Load(own));
        EXPECT_EQ(own->GetDrawTexture(), own->GetTextureObject()) << "drawn from its own texture";
        EXPECT_EQ(uv(own), c.corners) << "flip " << int(c.flipX) << int(c.flipY);
    }

    // Cells of a 2 x 1 sheet of 8 pixels on the 4 x 8 texture: the first is (1, 1)-(7, 3).
    CParticleBeam* animated = Beam(u"tex/own.png");
    animated->SetIsAnim(1);
    animated->SetAnimSize(8);
    animated->SetAnimRow(2);
    ASSERT_TRUE(Load(animated));
    animated->Update(0.0f, 100.0f, 60.0f, 0.0f, 0, 1.0f, 0.0f, 0.0f);  // the first cell, now that it is loaded
    EXPECT_EQ(uv(animated), (std::vector<float>{0.25f, 0.125f, 1.75f, 0.125f, 0.25f, 0.375f, 1.75f, 0.375f}));

    CParticleBeam* packed = Beam(u"tex/packed.png");
    ASSERT_TRUE(Load(packed));
    const tex_cell_t* cell = packed->GetTextureObject()->GetCell();
    ASSERT_NE(cell, nullptr) << "a small square opaque texture goes to an atlas page";
    EXPECT_EQ(packed->GetDrawTexture(), cell->page);
    const float side = cell->page->GetWidth();
    const float x = static_cast<float>(cell->rect.left), y = static_cast<float>(cell->rect.top);
    const float left = (x <= 0 ? x : x + 0.5f) / side, top = (y <= 0 ? y : y + 0.5f) / side;
    const float right = (4 + x - 0.5f) / side, bottom = (4 + y - 0.5f) / side;
    EXPECT_EQ(uv(packed), (std::vector<float>{left, top, right, top, left, bottom, right, bottom}));
}

TEST_F(BeamDrawTest, AnimationCellsStepOnTheBeamClockAndTheStartCellShowsTwiceAsLong) {
    WriteImage(u"tex/sheet.png", 4, 8, kRasterTypePng, ImageColor, true);
    CParticleBeam* beam = Beam(u"tex/sheet.png");
    beam->SetIsAnim(1);
    beam->SetAnimSize(6);
    beam->SetAnimCow(3);
    beam->SetAnimActualCount(3);
    beam->SetAnimTimes(0.1f);
    beam->SetStartAnimIndex(1);
    ASSERT_TRUE(Load(beam));
    beam->Reset();  // the beam clock from 0, ticking on every third update from now
    RunBeam(*beam, clock_, 1, 10, 100.0f, 60.0f);
    EXPECT_EQ(beam->State().currentCell, 1);
    // Ticks of 0.03 s: cell 1 for 0.2 s (until 0.21), cell 2 for 0.1 s (until 0.33), cell 0
    // for 0.1 s (until 0.45).
    const struct {
        int updates;
        std::int32_t cell;
    } steps[] = {{19, 1}, {1, 2}, {11, 2}, {1, 0}, {11, 0}, {1, 1}};
    for (const auto& s : steps) {
        RunBeam(*beam, clock_, s.updates, 10, 100.0f, 60.0f);
        EXPECT_EQ(beam->State().currentCell, s.cell) << "at beam clock " << beam->State().beamClock;
    }
}

TEST_F(BeamDrawTest, LockedAspectFollowsTheTexturesShape) {
    WriteImage(u"tex/wide.png", 64, 32, kRasterTypePng);
    CParticleBeam* beam = Beam(u"tex/wide.png");
    ASSERT_TRUE(Load(beam));
    CParticle* p = LiveParticles(*beam).front();
    p->size.value = 40.0f;
    const auto node = Append(*beam);
    const clip_space_t clip = ClipSpaceOf(viewport_);
    ASSERT_EQ(node->arrays.VertexCount(), 4);
    const vertex_t* v = node->arrays.Vertices();
    EXPECT_NEAR(v[1].x - v[0].x, clip.X(40) - clip.X(0), 1e-5);  // 40 wide
    EXPECT_NEAR(v[2].y - v[0].y, clip.Y(20) - clip.Y(0), 1e-5);  // 20 high
    p->size.value = 0.5f;
    EXPECT_EQ(Append(*beam)->arrays.VertexCount(), 0);
}

TEST_F(BeamDrawTest, BeamsWithoutATextureToDrawAreUpdatedButNotDrawn) {
    WriteImage(u"tex/here.png", 4, 4, kRasterTypePng);
    const std::u16string tooLong = u"tex/" + std::u16string(300, u'x') + u".png";
    for (const std::u16string& name : {std::u16string(), std::u16string(u"tex/missing.png"), tooLong}) {
        CParticleBeam* beam = Beam(name);
        EXPECT_FALSE(Load(beam));
        EXPECT_EQ(beam->LiveParticles().Count(), 1);
        EXPECT_EQ(beam->GetTextureObject() != nullptr, name == u"tex/missing.png");
    }
    CParticleBeam* hidden = Beam(u"tex/here.png");
    ASSERT_TRUE(Load(hidden));
    EXPECT_EQ(hidden->GetBeamFlag(), 1) << "a new beam is visible";
    hidden->SetBeamFlag(0);
    EXPECT_FALSE(hidden->IsDrawn());
    TestEmitter emitter;
    for (const auto& beam : beams_) emitter.beams.push_back(beam.get());
    SubmitEmitter(emitter);
    d3d9ctl::ResetCounters();
    ASSERT_TRUE(RunFrame());
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, 0u);
}

TEST_F(BeamDrawTest, ParticlesShowTheirTexelsModulatedByTheirColour) {
    WriteImage(u"tex/own.png", 4, 8, kRasterTypePng, ImageColor, true);  // alpha, not square: its own texture
    CParticleBeam* beam = Beam(u"tex/own.png");
    beam->SetLockAspect(0);
    AddParticleEvent(*beam, "SIZEX", Fixed(4.0f), 0.0f);
    AddParticleEvent(*beam, "SIZEY", Fixed(8.0f), 0.0f);
    Colored(beam, {1.0f, 0.5f, 1.0f, 1.0f});
    ASSERT_TRUE(Load(beam));
    ASSERT_EQ(beam->GetDrawTexture(), beam->GetTextureObject());
    TestEmitter emitter;
    emitter.beams.push_back(beam);
    SubmitEmitter(emitter);
    ASSERT_TRUE(RunFrame());
    // Centred on the emitter at (100, 60): pixels 98..101 by 56..63 show texels 0..3 by 0..7.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint32_t texel = ImageColor(x, y) & 0xFFFFFF;
            const std::uint32_t green = ((texel >> 8) & 0xFF) / 2;
            EXPECT_TRUE(Near(Pixel(98 + x, 56 + y), (texel & 0xFF00FF) | green << 8)) << x << ", " << y;
        }
    }
    EXPECT_EQ(Pixel(97, 60), 0u);
    EXPECT_EQ(Pixel(102, 60), 0u);
    EXPECT_EQ(Pixel(100, 55), 0u);
}

TEST_F(BeamDrawTest, ParticlesBlendInSubmissionOrderWithOtherTranslucentCommands) {
    WriteWhiteImage(u"tex/white.png", 4);
    CParticleBeam* beam = Beam(u"tex/white.png");
    beam->SetSourceBlendMode(D3DBLEND_ONE);  // added onto what lies below
    beam->SetDestBlendMode(D3DBLEND_ONE);
    AddParticleEvent(*beam, "SIZE", Fixed(8.0f), 0.0f);
    Colored(beam, {0.0f, 1.0f, 0.0f, 1.0f});
    ASSERT_TRUE(Load(beam));
    TestEmitter emitter;
    emitter.beams.push_back(beam);
    SubmitRect({90, 40, 130, 80}, 0xFFFF0000);
    SubmitEmitter(emitter);
    SubmitRect({100, 40, 130, 80}, 0x800000FF);
    ASSERT_TRUE(RunFrame());
    // The quad covers 96..103 by 56..63.
    EXPECT_TRUE(Near(Pixel(92, 58), 0xFF0000));
    EXPECT_TRUE(Near(Pixel(97, 58), 0xFFFF00)) << "green added onto red";
    EXPECT_TRUE(Near(Pixel(101, 58), 0x808080, 3)) << "then half blue over it";
    EXPECT_TRUE(Near(Pixel(110, 58), 0x800080, 3));
    EXPECT_TRUE(Near(Pixel(97, 70), 0xFF0000));
}

}  // namespace
}  // namespace lumi::test
