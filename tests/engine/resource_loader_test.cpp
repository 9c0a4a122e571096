#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/engine/resource_loader.h"
#include "platform/win32/time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/message_capture.h"
#include "tests/support/sleep_hook.h"

namespace {

using Mode = CResourceLoader::Mode;
using Events = std::vector<std::string>;

CResourceLoader& Loader() { return CResourceLoader::GetSingleton(); }

// Every step and notification in the order they happened, from any thread.
class EventLog {
public:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    Events Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    std::mutex mutex_;
    Events events_;
};

class TestResource : public CResource {
public:
    TestResource(EventLog* log, std::string name) : log_(log), name_(std::move(name)) {}

    bool prepareResult = true;
    bool decodeThrows = false;
    std::thread::id prepareThread, decodeThread;
    int payload = 0;  // written by the decode step, read once loaded

protected:
    bool PrepareImpl() override {
        prepareThread = std::this_thread::get_id();
        log_->Add(name_ + " prepare");
        return prepareResult;
    }
    bool DecodeImpl() override {
        decodeThread = std::this_thread::get_id();
        log_->Add(name_ + " decode");
        if (decodeThrows) throw std::runtime_error("out of memory");
        payload = 42;
        return true;
    }

private:
    EventLog* log_;
    std::string name_;
};

// Records what it is told; a decoding one moves a prepared resource on, as the renderer's
// listeners do.
class Listener : public CResource::CListener {
public:
    Listener(EventLog* log, std::string name, bool decodes) : log_(log), name_(std::move(name)), decodes_(decodes) {}
    void OnPreparingComplete(CResource* resource) override {
        log_->Add(name_ + " preparing-complete");
        if (!decodes_) return;
        Loader().DecodeResource(resource);
        log_->Add(name_ + " decode requested");
    }
    void OnLoadingComplete(CResource* resource) override {
        log_->Add(name_ + " loading-complete");
        // Its owner would delete it on seeing this, while the loader still holds it.
        if (resource->IsLoaded() || !resource->IsLoading()) releasedTooEarly = true;
    }
    std::atomic<bool> releasedTooEarly{false};

private:
    EventLog* log_;
    std::string name_;
    bool decodes_;
};

class ResourceLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { Loader().Reset(Mode::Manual); }
    void TearDown() override { Loader().Reset(); }

    static void StartBackgroundLoad(CResource& resource, CResource::CListener* listener) {
        if (listener != nullptr) resource.AddListener(listener);
        resource.SetBackgroundLoaded(true);
        resource.SetLoadState(CResource::LOADSTATE_LOADING);
        Loader().PrepareResource(&resource);
    }

    EventLog log_;
    Listener decoder_{&log_, "l", true};
};

TEST_F(ResourceLoaderTest, ManualModeRunsOneStepAtATime) {
    TestResource resource(&log_, "r");
    StartBackgroundLoad(resource, &decoder_);
    EXPECT_TRUE(log_.Take().empty());
    EXPECT_TRUE(resource.IsLoading());
    EXPECT_TRUE(Loader().HasResourceProcessing());

    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "l preparing-complete", "l decode requested"}));
    EXPECT_TRUE(resource.IsPrepared());
    EXPECT_TRUE(resource.IsLoading()) << "the decode step is queued";
    EXPECT_FALSE(resource.IsLoaded());
    EXPECT_TRUE(Loader().HasResourceProcessing());

    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r decode", "l loading-complete"}));
    EXPECT_FALSE(decoder_.releasedTooEarly);
    EXPECT_TRUE(resource.IsLoaded());
    EXPECT_FALSE(resource.IsLoading());
    EXPECT_EQ(resource.GetLoadingState(), CResource::LOADSTATE_LOADED);
    EXPECT_EQ(resource.payload, 42);
    EXPECT_FALSE(Loader().HasResourceProcessing());
    EXPECT_FALSE(Loader().Step());
}

TEST_F(ResourceLoaderTest, InlineAndThreadedModesKeepTheSameOrder) {
    Loader().SetMode(Mode::Inline);
    TestResource inlined(&log_, "r");
    StartBackgroundLoad(inlined, &decoder_);
    // The decode runs inside the listener's request, before that request returns.
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "l preparing-complete", "r decode", "l loading-complete",
                                   "l decode requested"}));
    EXPECT_TRUE(inlined.IsLoaded());
    EXPECT_EQ(inlined.decodeThread, std::this_thread::get_id());

    Loader().SetMode(Mode::Threaded);
    TestResource threaded(&log_, "t");
    StartBackgroundLoad(threaded, &decoder_);
    Loader().WaitUntilIdle();
    EXPECT_EQ(log_.Take(), (Events{"t prepare", "l preparing-complete", "l decode requested", "t decode",
                                   "l loading-complete"}));
    EXPECT_TRUE(threaded.IsLoaded());
    EXPECT_EQ(threaded.payload, 42);
    EXPECT_NE(threaded.prepareThread, std::this_thread::get_id());
    EXPECT_EQ(threaded.decodeThread, threaded.prepareThread);
    EXPECT_FALSE(decoder_.releasedTooEarly);
}

TEST_F(ResourceLoaderTest, SynchronousLoadsRunInTheCallersThreadWithoutNotificationsInEveryMode) {
    for (Mode mode : {Mode::Inline, Mode::Threaded, Mode::Manual}) {
        SCOPED_TRACE(static_cast<int>(mode));
        Loader().SetMode(mode);
        TestResource resource(&log_, "r");
        resource.AddListener(&decoder_);
        resource.SetBackgroundLoaded(false);
        resource.SetLoadState(CResource::LOADSTATE_LOADING);

        Loader().PrepareResource(&resource);
        EXPECT_EQ(log_.Take(), (Events{"r prepare"}));
        EXPECT_FALSE(Loader().HasResourceProcessing());
        Loader().DecodeResource(&resource);
        EXPECT_EQ(log_.Take(), (Events{"r decode"}));
        EXPECT_TRUE(resource.IsLoaded());
        EXPECT_EQ(resource.prepareThread, std::this_thread::get_id());
        EXPECT_EQ(resource.decodeThread, std::this_thread::get_id());
    }
}

TEST_F(ResourceLoaderTest, FailedStepsEndTheLoadAsLoadedAndFailed) {
    lumi::test::MessageCapture messages;
    TestResource noFile(&log_, "p");  // prepare fails: no preparing-complete, no decode
    noFile.prepareResult = false;
    StartBackgroundLoad(noFile, &decoder_);
    EXPECT_EQ(Loader().RunUntilIdle(), 1u);
    EXPECT_EQ(log_.Take(), (Events{"p prepare", "l loading-complete"}));
    EXPECT_TRUE(noFile.IsLoaded());
    EXPECT_EQ(noFile.GetLoadingState(), CResource::LOADSTATE_FAILED);
    Loader().DecodeResource(&noFile);  // the load has ended: nothing happens
    EXPECT_FALSE(Loader().HasResourceProcessing());

    TestResource broken(&log_, "d");
    broken.decodeThrows = true;
    StartBackgroundLoad(broken, &decoder_);
    EXPECT_EQ(Loader().RunUntilIdle(), 2u);
    EXPECT_EQ(log_.Take(), (Events{"d prepare", "l preparing-complete", "l decode requested", "d decode",
                                   "l loading-complete"}));
    EXPECT_EQ(broken.GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_TRUE(broken.IsLoaded());
    EXPECT_TRUE(messages.Contains("decode step failed: out of memory"));

    TestResource synchronous(&log_, "s");
    synchronous.prepareResult = false;
    synchronous.SetLoadState(CResource::LOADSTATE_LOADING);
    Loader().PrepareResource(&synchronous);
    Loader().DecodeResource(&synchronous);
    EXPECT_EQ(log_.Take(), (Events{"s prepare"}));
}

TEST_F(ResourceLoaderTest, ListenersAddedOrRemovedDuringALoadHearOnlyWhatFollows) {
    TestResource resource(&log_, "r");
    Listener early(&log_, "b", false);
    Listener late(&log_, "c", false);
    resource.AddListener(&early);
    StartBackgroundLoad(resource, &decoder_);
    resource.AddListener(&decoder_);  // held once
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "b preparing-complete", "l preparing-complete", "l decode requested"}));

    resource.RemoveListener(&early);
    resource.AddListener(&late);
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r decode", "l loading-complete", "c loading-complete"}));

    // A callback removes a later listener, which is then not told; nobody asks for the
    // decode, so the resource stays prepared and is no longer loading (safe to delete).
    struct Remover : CResource::CListener {
        CListener* victim = nullptr;
        void OnPreparingComplete(CResource* resource) override { resource->RemoveListener(victim); }
    } remover;
    remover.victim = &late;
    TestResource second(&log_, "s");
    second.AddListener(&remover);
    second.AddListener(&late);
    StartBackgroundLoad(second, nullptr);
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"s prepare"}));
    EXPECT_TRUE(second.IsPrepared());
    EXPECT_FALSE(second.IsLoading());
    EXPECT_FALSE(second.IsLoaded());
    EXPECT_FALSE(Loader().HasResourceProcessing());
}

TEST_F(ResourceLoaderTest, StepsOfSeveralResourcesRunInRequestOrder) {
    TestResource first(&log_, "a");
    TestResource second(&log_, "b");
    StartBackgroundLoad(first, &decoder_);
    StartBackgroundLoad(second, &decoder_);
    int steps = 0;
    while (Loader().HasResourceProcessing()) {
        ASSERT_TRUE(Loader().Step());
        ++steps;
        EXPECT_EQ(first.IsLoaded(), steps >= 3);
        EXPECT_EQ(second.IsLoaded(), steps >= 4);
    }
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(log_.Take(), (Events{"a prepare", "l preparing-complete", "l decode requested", "b prepare",
                                   "l preparing-complete", "l decode requested", "a decode", "l loading-complete",
                                   "b decode", "l loading-complete"}));
}

TEST_F(ResourceLoaderTest, MisuseIsRefusedBeforeAnythingIsQueued) {
    TestResource resource(&log_, "r");
    EXPECT_THROW(Loader().PrepareResource(nullptr), std::invalid_argument);
    EXPECT_THROW(resource.AddListener(nullptr), std::invalid_argument);
    resource.SetBackgroundLoaded(true);
    EXPECT_THROW(Loader().PrepareResource(&resource), std::logic_error);  // load state still 0
    EXPECT_THROW(Loader().DecodeResource(&resource), std::logic_error);   // never requested
    EXPECT_FALSE(Loader().HasResourceProcessing());

    resource.SetLoadState(CResource::LOADSTATE_LOADING);
    Loader().PrepareResource(&resource);
    EXPECT_THROW(Loader().PrepareResource(&resource), std::logic_error);
    EXPECT_THROW(resource.SetLoadState(CResource::LOADSTATE_UNLOADED), std::logic_error);
    Loader().DecodeResource(&resource);  // queued behind its prepare
    Loader().DecodeResource(&resource);  // a second request runs nothing more
    EXPECT_EQ(Loader().RunUntilIdle(), 3u);
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "r decode"}));

    // Stepping from inside a step is refused; the step's bookkeeping still ends.
    struct Stepper : CResource::CListener {
        void OnPreparingComplete(CResource*) override { Loader().Step(); }
    } stepper;
    TestResource nested(&log_, "n");
    StartBackgroundLoad(nested, &stepper);
    EXPECT_THROW(Loader().Step(), std::logic_error);
    EXPECT_FALSE(nested.IsLoading());
    EXPECT_FALSE(Loader().HasResourceProcessing());
}

TEST_F(ResourceLoaderTest, ModeSwitchesKeepQueuedStepsAndResetDropsThem) {
    TestResource a(&log_, "a");
    StartBackgroundLoad(a, &decoder_);
    Loader().SetMode(Mode::Inline);  // runs what was queued, here
    EXPECT_TRUE(a.IsLoaded());
    EXPECT_EQ(a.decodeThread, std::this_thread::get_id());

    Loader().SetMode(Mode::Manual);
    TestResource b(&log_, "b");
    StartBackgroundLoad(b, &decoder_);
    Loader().SetMode(Mode::Threaded);
    Loader().WaitUntilIdle();
    EXPECT_TRUE(b.IsLoaded());
    EXPECT_NE(b.decodeThread, std::this_thread::get_id());

    Loader().SetMode(Mode::Manual);
    TestResource c(&log_, "c");
    StartBackgroundLoad(c, &decoder_);
    log_.Take();
    Loader().Reset(Mode::Manual);
    EXPECT_FALSE(c.IsLoading());
    EXPECT_FALSE(Loader().HasResourceProcessing());
    EXPECT_FALSE(Loader().Step());
    EXPECT_TRUE(log_.Take().empty());
}

// A prepare step that waits until the test lets it finish (no sleeping).
class GatedResource : public TestResource {
public:
    using TestResource::TestResource;
    void WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

protected:
    bool PrepareImpl() override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            entered_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        }
        return TestResource::PrepareImpl();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false, open_ = false;
};

TEST_F(ResourceLoaderTest, LeavingThreadedModeFinishesTheRunningStepAndKeepsTheQueue) {
    Loader().SetMode(Mode::Threaded);
    GatedResource running(&log_, "a");
    TestResource waiting(&log_, "b");
    StartBackgroundLoad(running, &decoder_);
    running.WaitEntered();
    StartBackgroundLoad(waiting, &decoder_);
    std::thread opener([&] {
        while (Loader().GetMode() != Mode::Manual) std::this_thread::yield();
        running.Open();
    });
    Loader().SetMode(Mode::Manual);  // returns once the worker has ended a's prepare
    opener.join();
    EXPECT_EQ(log_.Take(), (Events{"a prepare", "l preparing-complete", "l decode requested"}));

    EXPECT_EQ(Loader().RunUntilIdle(), 3u);
    EXPECT_EQ(log_.Take(), (Events{"b prepare", "l preparing-complete", "l decode requested", "a decode",
                                   "l loading-complete", "b decode", "l loading-complete"}));
    EXPECT_EQ(waiting.prepareThread, std::this_thread::get_id());
}

TEST_F(ResourceLoaderTest, ThreadedLoadsAreSafeToPollChangeListenersAndDeleteWhileStepsRun) {
    Loader().SetMode(Mode::Threaded);
    struct Watcher : CResource::CListener {  // told nothing once RemoveListener has returned
        std::atomic<bool> removed{false};
        std::atomic<int> lateCalls{0};
        void OnPreparingComplete(CResource*) override { lateCalls += removed ? 1 : 0; }
        void OnLoadingComplete(CResource*) override { lateCalls += removed ? 1 : 0; }
    };
    constexpr int kCount = 64;
    std::vector<std::unique_ptr<TestResource>> resources;
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (int i = 0; i < kCount; ++i) {
        resources.push_back(std::make_unique<TestResource>(&log_, "r"));
        watchers.push_back(std::make_unique<Watcher>());
        resources[i]->AddListener(watchers[i].get());
        StartBackgroundLoad(*resources[i], &decoder_);
    }
    for (int remaining = kCount; remaining > 0;) {
        for (int i = 0; i < kCount; ++i) {
            if (!resources[i]) continue;
            if (!watchers[i]->removed) {
                resources[i]->RemoveListener(watchers[i].get());
                watchers[i]->removed = true;
            }
            if (resources[i]->IsLoaded()) {
                EXPECT_EQ(resources[i]->payload, 42);
                resources[i].reset();  // the worker must no longer touch it
                --remaining;
            }
        }
    }
    Loader().WaitUntilIdle();
    EXPECT_FALSE(decoder_.releasedTooEarly);
    for (const auto& watcher : watchers) EXPECT_EQ(watcher->lateCalls.load(), 0);
}

TEST_F(ResourceLoaderTest, ASleepHookThatStepsTheLoaderEndsTheRenderersWaits) {
    lumi::test::FakeClock clock(1000);
    lumi::test::SleepRecorder sleeps(&clock);
    sleeps.OnSleep([](DWORD) { Loader().Step(); });
    TestResource first(&log_, "a");
    TestResource second(&log_, "b");
    StartBackgroundLoad(first, &decoder_);
    StartBackgroundLoad(second, &decoder_);

    while (first.IsLoading()) Sleep(15);
    while (Loader().HasResourceProcessing()) Sleep(5);
    EXPECT_EQ(sleeps.Sleeps(), (std::vector<DWORD>{15, 15, 15, 5}));
    EXPECT_EQ(clock.Now(), 1050u);
    EXPECT_TRUE(second.IsLoaded());
}

using ResourceLoaderDeathTest = ResourceLoaderTest;

TEST_F(ResourceLoaderDeathTest, DeletingAResourceWithAQueuedStepAborts) {
    EXPECT_DEATH(
        {
            auto* resource = new TestResource(&log_, "r");
            StartBackgroundLoad(*resource, nullptr);
            delete resource;
        },
        "destroyed while a step of its load is queued or running");
}

}  // namespace
