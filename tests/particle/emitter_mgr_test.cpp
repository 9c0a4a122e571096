// The renderer's emitter manager over the resource loader: background loads, parking what is
// released while it loads, reaping one parked emitter per frame, refusing what is not its
// own, and its end waiting for running loads; and the same under the threaded loader.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/exception.h"
#include "particle/particle_emitter_mgr.h"
#include "tests/draw/tex_mgr_fixture.h"
#include "tests/particle/emitter_test_support.h"

namespace lumi::test {
namespace {

class EmitterMgrTest : public TexMgrTest {
protected:
    void SetUp() override {
        TexMgrTest::SetUp();
        emitters_ = Renderer()->GetParticleEmitterMgr();
        ASSERT_NE(emitters_, nullptr);
        std::ofstream("a.pes", std::ios::binary) << Script("PARTICLEBEAM \"a\" { }");
        std::ofstream("b.pes", std::ios::binary) << Script("PARTICLEBEAM \"b\" { } PARTICLEBEAM \"c\" { }");
    }
    void TearDown() override {
        emitters_ = nullptr;
        TexMgrTest::TearDown();
    }

    static CResourceLoader& Loader() { return CResourceLoader::GetSingleton(); }

    CParticleEmitterMgr* emitters_ = nullptr;
};

TEST_F(EmitterMgrTest, AnEmitterLoadsInTheBackgroundAndCompilesInItsDecodeStep) {
    EXPECT_EQ(emitters_->CreateEmitter(nullptr), nullptr);
    EXPECT_EQ(emitters_->CreateEmitter(u""), nullptr);
    CParticleEmitter* emitter = emitters_->CreateEmitter(u"b.pes");
    ASSERT_NE(emitter, nullptr);
    EXPECT_EQ(emitters_->LiveCount(), 1);
    EXPECT_EQ(emitter->GetScriptPath(), u"b.pes");
    EXPECT_TRUE(emitter->IsBackgroundLoaded());
    EXPECT_TRUE(emitter->IsLoading());
    ASSERT_TRUE(Loader().Step());  // read
    EXPECT_TRUE(emitter->IsPrepared());
    EXPECT_FALSE(emitter->IsLoaded());
    ASSERT_TRUE(Loader().Step());  // compile
    EXPECT_TRUE(emitter->IsLoaded());
    EXPECT_EQ(emitter->GetBeamCount(), 2);
    emitters_->ReleaseEmitter(emitter);
    EXPECT_EQ(emitters_->LiveCount(), 0);
}

TEST_F(EmitterMgrTest, ReleasedWhileLoadingAnEmitterIsParkedAndReapedOnePerFrameInOrder) {
    const std::uint32_t before = PoolOf<CParticleEmitter>().BlocksInUse();
    CParticleEmitter* a = emitters_->CreateEmitter(u"a.pes");
    CParticleEmitter* b = emitters_->CreateEmitter(u"b.pes");
    emitters_->ReleaseEmitter(b);  // parked first
    emitters_->ReleaseEmitter(a);
    EXPECT_EQ(emitters_->LiveCount(), 0);
    EXPECT_EQ(emitters_->ParkedCount(), 2);
    // a's read, b's read, a's compile: the second parked has ended, the first has not.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Loader().Step());
    EXPECT_FALSE(a->IsLoading());
    EXPECT_TRUE(b->IsLoading());
    emitters_->ReapParkedEmitter();
    EXPECT_EQ(emitters_->ParkedCount(), 2) << "only the first parked is looked at";
    ASSERT_TRUE(Loader().Step());
    RunFrame();
    EXPECT_EQ(emitters_->ParkedCount(), 1) << "one per frame";
    RunFrame();
    EXPECT_EQ(emitters_->ParkedCount(), 0);
    EXPECT_EQ(PoolOf<CParticleEmitter>().BlocksInUse(), before);
}

TEST_F(EmitterMgrTest, OnlyALiveEmitterOfThisManagerIsTakenBack) {
    auto expectRefused = [&](CParticleEmitter* emitter) {
        try {
            emitters_->ReleaseEmitter(emitter);
            ADD_FAILURE() << "not refused";
        } catch (const lumi::Exception& error) {
            EXPECT_STREQ(error.what(), "invalid pointer");
        }
    };
    expectRefused(nullptr);
    CParticleEmitterMgr other(Renderer(), Renderer()->GetTexMgr());
    CParticleEmitter* foreign = other.CreateEmitter(u"a.pes");
    expectRefused(foreign);
    EXPECT_EQ(other.LiveCount(), 1);
    CParticleEmitter* parked = emitters_->CreateEmitter(u"a.pes");
    emitters_->ReleaseEmitter(parked);
    expectRefused(parked);  // released twice
    EXPECT_EQ(emitters_->ParkedCount(), 1);
}

TEST_F(EmitterMgrTest, TheManagersEndWaitsForTheLoadsThatRun) {
    const std::uint32_t before = PoolOf<CParticleEmitter>().BlocksInUse();
    emitters_->CreateEmitter(u"a.pes");
    emitters_->ReleaseEmitter(emitters_->CreateEmitter(u"b.pes"));
    sleeps_.Clear();
    emitters_ = nullptr;
    Release();
    const std::vector<DWORD> sleeps = sleeps_.Sleeps();
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 5u), sleeps.end());
    EXPECT_FALSE(Loader().HasResourceProcessing());
    EXPECT_EQ(PoolOf<CParticleEmitter>().BlocksInUse(), before);
}

// The demo's loader: a worker thread reads and compiles while the host draws, releases and
// replaces emitters (the thread sanitizer build watches the hand-over).
TEST_F(EmitterMgrTest, ThreadedLoaderCompilesWhileTheHostDrawsAndReleases) {
    Loader().Reset(CResourceLoader::Mode::Threaded);
    std::vector<STRU_DRAW_COMMAND_BASE*> commands;
    for (const std::string& name : CorpusNames()) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdParticle);
        renderer_->SetParticleEmitter(cmd, win32::Utf8ToUtf16((CorpusFolder() / name).string()).c_str(), 0);
        commands.push_back(cmd);
    }
    // Some go again while their scripts load, replaced or with their command.
    renderer_->SetParticleEmitter(commands[0], u"a.pes", 0);
    renderer_->ReleasePrimitive(commands[1]);
    commands.erase(commands.begin() + 1);
    for (int frame = 0; frame < 10; ++frame) {
        clock_.Advance(33);
        DrawFrame([&] {
            for (STRU_DRAW_COMMAND_BASE* cmd : commands) renderer_->DrawEmitter(cmd, 100, 100, 0, 0, 0, 1.0f);
        });
    }
    // With synchronous loading every BeginScene waits for the loader: what is drawn after it
    // has its script.
    renderer_->SetParticleEmitter(commands[1], u"b.pes", 0);
    Renderer()->SetSyncLoading(true);
    DrawFrame([&] {
        for (STRU_DRAW_COMMAND_BASE* cmd : commands) {
            EXPECT_TRUE(renderer_->GetParticleEmitter(cmd)->IsLoaded());
            EXPECT_GT(renderer_->GetParticleEmitter(cmd)->GetBeamCount(), 0);
        }
    });
    Renderer()->SetSyncLoading(false);
    // At most three were parked; their loads have ended, and each frame reaps one.
    for (int frame = 0; frame < 3; ++frame) RunFrame();
    EXPECT_EQ(emitters_->ParkedCount(), 0);
    renderer_->ReleasePrimitive(commands.back());
    commands.pop_back();
    // The rest goes with the renderer, loads or not.
    emitters_ = nullptr;
    Release();
}

}  // namespace
}  // namespace lumi::test
