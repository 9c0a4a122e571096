#include <gtest/gtest.h>

#include <algorithm>
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

CResourceLoader& Loader() { return CResourceLoader::GetSingleton(); }

// Every step and notification in the order they happened, from any thread.
class EventLog {
public:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

class TestResource : public CResource {
public:
    TestResource(EventLog* log, std::string name) : log_(log), name_(std::move(name)) {}

    bool prepareResult = true;
    bool decodeResult = true;
    bool decodeThrows = false;
    std::thread::id prepareThread;
    std::thread::id decodeThread;
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
        return decodeResult;
    }

private:
    EventLog* log_;
    std::string name_;
};

// Moves a prepared resource on to decoding, as the renderer's listeners do.
class DecodingListener : public CResource::CListener {
public:
    DecodingListener(EventLog* log, std::string name) : log_(log), name_(std::move(name)) {}
    void OnPreparingComplete(CResource* resource) override {
        log_->Add(name_ + " preparing-complete");
        Loader().DecodeResource(resource);
        log_->Add(name_ + " decode requested");
    }
    void OnLoadingComplete(CResource*) override { log_->Add(name_ + " loading-complete"); }

private:
    EventLog* log_;
    std::string name_;
};

class RecordingListener : public CResource::CListener {
public:
    RecordingListener(EventLog* log, std::string name) : log_(log), name_(std::move(name)) {}
    void OnPreparingComplete(CResource*) override { log_->Add(name_ + " preparing-complete"); }
    void OnLoadingComplete(CResource*) override { log_->Add(name_ + " loading-complete"); }

private:
    EventLog* log_;
    std::string name_;
};

using Events = std::vector<std::string>;

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
};

TEST_F(ResourceLoaderTest, ManualModeRunsOneStepAtATime) {
    TestResource resource(&log_, "r");
    DecodingListener listener(&log_, "l");
    StartBackgroundLoad(resource, &listener);
    EXPECT_TRUE(log_.Take().empty());
    EXPECT_TRUE(resource.IsLoading());
    EXPECT_FALSE(resource.IsLoaded());
    EXPECT_TRUE(Loader().HasResourceProcessing());

    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "l preparing-complete", "l decode requested"}));
    EXPECT_TRUE(resource.IsPrepared());
    EXPECT_TRUE(resource.IsLoading()) << "the decode step is queued";
    EXPECT_FALSE(resource.IsLoaded());
    EXPECT_TRUE(Loader().HasResourceProcessing());

    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r decode", "l loading-complete"}));
    EXPECT_TRUE(resource.IsLoaded());
    EXPECT_FALSE(resource.IsLoading());
    EXPECT_EQ(resource.GetLoadingState(), CResource::LOADSTATE_LOADED);
    EXPECT_EQ(resource.payload, 42);
    EXPECT_FALSE(Loader().HasResourceProcessing());
    EXPECT_FALSE(Loader().Step());
}

TEST_F(ResourceLoaderTest, InlineModeRunsTheWholeLoadInsideTheRequest) {
    Loader().SetMode(Mode::Inline);
    TestResource resource(&log_, "r");
    DecodingListener listener(&log_, "l");
    StartBackgroundLoad(resource, &listener);
    // The decode runs inside the listener's request, before that request returns.
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "l preparing-complete", "r decode", "l loading-complete",
                                   "l decode requested"}));
    EXPECT_TRUE(resource.IsLoaded());
    EXPECT_EQ(resource.prepareThread, std::this_thread::get_id());
    EXPECT_FALSE(Loader().HasResourceProcessing());
}

TEST_F(ResourceLoaderTest, ThreadedModeRunsEveryStepOnOneWorkerInRequestOrder) {
    Loader().SetMode(Mode::Threaded);
    std::vector<std::unique_ptr<TestResource>> resources;
    DecodingListener listener(&log_, "l");
    for (int i = 0; i < 3; ++i) {
        resources.push_back(std::make_unique<TestResource>(&log_, "r" + std::to_string(i)));
        StartBackgroundLoad(*resources.back(), &listener);
    }
    Loader().WaitUntilIdle();
    EXPECT_FALSE(Loader().HasResourceProcessing());

    const Events events = log_.Take();
    for (int i = 0; i < 3; ++i) {
        const std::string name = "r" + std::to_string(i);
        const auto at = [&](const std::string& event) {
            return std::find(events.begin(), events.end(), event) - events.begin();
        };
        EXPECT_LT(at(name + " prepare"), at(name + " decode"));
        EXPECT_LT(at(name + " decode"), static_cast<long>(events.size()));
        if (i > 0) {
            EXPECT_LT(at("r" + std::to_string(i - 1) + " prepare"), at(name + " prepare"));
        }
    }
    for (const auto& resource : resources) {
        EXPECT_TRUE(resource->IsLoaded());
        EXPECT_EQ(resource->payload, 42);
        EXPECT_NE(resource->prepareThread, std::this_thread::get_id());
        EXPECT_EQ(resource->prepareThread, resources[0]->prepareThread);
        EXPECT_EQ(resource->decodeThread, resources[0]->prepareThread);
    }
}

TEST_F(ResourceLoaderTest, SynchronousLoadsRunInTheCallersThreadWithoutNotificationsInEveryMode) {
    for (Mode mode : {Mode::Inline, Mode::Threaded, Mode::Manual}) {
        SCOPED_TRACE(static_cast<int>(mode));
        Loader().SetMode(mode);
        TestResource resource(&log_, "r");
        DecodingListener listener(&log_, "l");
        resource.AddListener(&listener);
        resource.SetBackgroundLoaded(false);
        resource.SetLoadState(CResource::LOADSTATE_LOADING);

        Loader().PrepareResource(&resource);
        EXPECT_EQ(log_.Take(), (Events{"r prepare"}));
        EXPECT_EQ(resource.GetLoadingState(), CResource::LOADSTATE_PREPARED);
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
    DecodingListener listener(&log_, "l");

    TestResource noFile(&log_, "p");  // prepare fails: no preparing-complete, no decode
    noFile.prepareResult = false;
    StartBackgroundLoad(noFile, &listener);
    EXPECT_EQ(Loader().RunUntilIdle(), 1u);
    EXPECT_EQ(log_.Take(), (Events{"p prepare", "l loading-complete"}));
    EXPECT_TRUE(noFile.IsLoaded());
    EXPECT_FALSE(noFile.IsPrepared());
    EXPECT_EQ(noFile.GetLoadingState(), CResource::LOADSTATE_FAILED);
    Loader().DecodeResource(&noFile);  // the load has ended: nothing happens
    EXPECT_FALSE(Loader().HasResourceProcessing());

    TestResource broken(&log_, "d");  // decode throws
    broken.decodeThrows = true;
    StartBackgroundLoad(broken, &listener);
    EXPECT_EQ(Loader().RunUntilIdle(), 2u);
    EXPECT_EQ(log_.Take(), (Events{"d prepare", "l preparing-complete", "l decode requested", "d decode",
                                   "l loading-complete"}));
    EXPECT_EQ(broken.GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_TRUE(broken.IsLoaded());
    EXPECT_TRUE(messages.Contains("decode step failed: out of memory"));

    TestResource synchronous(&log_, "s");  // a failed synchronous prepare skips the decode
    synchronous.prepareResult = false;
    synchronous.SetLoadState(CResource::LOADSTATE_LOADING);
    Loader().PrepareResource(&synchronous);
    Loader().DecodeResource(&synchronous);
    EXPECT_EQ(log_.Take(), (Events{"s prepare"}));
    EXPECT_EQ(synchronous.GetLoadingState(), CResource::LOADSTATE_FAILED);
}

TEST_F(ResourceLoaderTest, ListenersAddedOrRemovedDuringALoadSeeOnlyWhatFollows) {
    TestResource resource(&log_, "r");
    DecodingListener decoder(&log_, "a");
    RecordingListener early(&log_, "b");
    RecordingListener late(&log_, "c");
    resource.AddListener(&early);
    StartBackgroundLoad(resource, &decoder);
    resource.AddListener(&decoder);  // held once
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r prepare", "b preparing-complete", "a preparing-complete", "a decode requested"}));

    resource.RemoveListener(&early);
    resource.AddListener(&late);
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"r decode", "a loading-complete", "c loading-complete"}));

    // A callback that removes a later listener: that one is not told any more.
    struct Remover : CResource::CListener {
        CListener* victim = nullptr;
        void OnPreparingComplete(CResource* resource) override { resource->RemoveListener(victim); }
    } remover;
    TestResource second(&log_, "s");
    remover.victim = &late;
    second.AddListener(&remover);
    second.AddListener(&late);
    StartBackgroundLoad(second, nullptr);
    ASSERT_TRUE(Loader().Step());
    EXPECT_EQ(log_.Take(), (Events{"s prepare"}));

    // Nobody asked for the decode: prepared, not loading, safe to delete.
    EXPECT_TRUE(second.IsPrepared());
    EXPECT_FALSE(second.IsLoading());
    EXPECT_FALSE(second.IsLoaded());
    EXPECT_FALSE(Loader().HasResourceProcessing());
}

TEST_F(ResourceLoaderTest, StepsOfSeveralResourcesRunInRequestOrder) {
    TestResource first(&log_, "a");
    TestResource second(&log_, "b");
    DecodingListener listener(&log_, "l");
    StartBackgroundLoad(first, &listener);
    StartBackgroundLoad(second, &listener);
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
    EXPECT_THROW(Loader().DecodeResource(nullptr), std::invalid_argument);
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
    EXPECT_TRUE(resource.IsLoaded());

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
    DecodingListener listener(&log_, "l");
    TestResource a(&log_, "a");
    StartBackgroundLoad(a, &listener);
    Loader().SetMode(Mode::Inline);  // runs what was queued, here
    EXPECT_TRUE(a.IsLoaded());
    EXPECT_EQ(a.decodeThread, std::this_thread::get_id());

    Loader().SetMode(Mode::Manual);
    TestResource b(&log_, "b");
    StartBackgroundLoad(b, &listener);
    Loader().SetMode(Mode::Threaded);
    Loader().WaitUntilIdle();
    EXPECT_TRUE(b.IsLoaded());
    EXPECT_NE(b.decodeThread, std::this_thread::get_id());

    Loader().SetMode(Mode::Manual);
    TestResource c(&log_, "c");
    StartBackgroundLoad(c, &listener);
    log_.Take();
    Loader().Reset(Mode::Manual);
    EXPECT_FALSE(c.IsLoading());
    EXPECT_FALSE(Loader().HasResourceProcessing());
    EXPECT_FALSE(Loader().Step());
    EXPECT_EQ(c.GetLoadingState(), CResource::LOADSTATE_LOADING);
    EXPECT_TRUE(log_.Take().empty());
}

// A prepare step that waits until the test lets it finish (no sleeping).
class GatedResource : public TestResource {
public:
    using TestResource::TestResource;
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }

protected:
    bool PrepareImpl() override {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        lock.unlock();
        return TestResource::PrepareImpl();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool entered_ = false;
};

TEST_F(ResourceLoaderTest, LeavingThreadedModeFinishesTheRunningStepAndKeepsTheQueue) {
    Loader().SetMode(Mode::Threaded);
    DecodingListener listener(&log_, "l");
    GatedResource running(&log_, "a");
    TestResource waiting(&log_, "b");
    StartBackgroundLoad(running, &listener);
    running.WaitEntered();
    StartBackgroundLoad(waiting, &listener);

    std::thread opener([&] {
        while (Loader().GetMode() != Mode::Manual) std::this_thread::yield();
        running.Open();
    });
    Loader().SetMode(Mode::Manual);  // returns once the worker has finished a's prepare
    opener.join();
    EXPECT_EQ(log_.Take(), (Events{"a prepare", "l preparing-complete", "l decode requested"}));
    EXPECT_TRUE(running.IsPrepared());

    EXPECT_EQ(Loader().RunUntilIdle(), 3u);
    EXPECT_EQ(log_.Take(), (Events{"b prepare", "l preparing-complete", "l decode requested", "a decode",
                                   "l loading-complete", "b decode", "l loading-complete"}));
    EXPECT_EQ(waiting.prepareThread, std::this_thread::get_id());
}

TEST_F(ResourceLoaderTest, ThreadedLoadsAreSafeToPollChangeListenersAndDeleteWhileStepsRun) {
    Loader().SetMode(Mode::Threaded);
    DecodingListener decoder(&log_, "l");
    // Told nothing once RemoveListener has returned.
    struct Watcher : CResource::CListener {
        std::atomic<bool> removed{false};
        std::atomic<int> lateCalls{0};
        void OnPreparingComplete(CResource*) override { lateCalls += removed.load() ? 1 : 0; }
        void OnLoadingComplete(CResource*) override { lateCalls += removed.load() ? 1 : 0; }
    };
    constexpr int kCount = 64;
    std::vector<std::unique_ptr<TestResource>> resources;
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (int i = 0; i < kCount; ++i) {
        resources.push_back(std::make_unique<TestResource>(&log_, "r"));
        watchers.push_back(std::make_unique<Watcher>());
        resources.back()->AddListener(watchers.back().get());
        StartBackgroundLoad(*resources.back(), &decoder);
    }
    int remaining = kCount;
    while (remaining > 0) {
        for (int i = 0; i < kCount; ++i) {
            if (!resources[i]) continue;
            if (!watchers[i]->removed) {
                resources[i]->RemoveListener(watchers[i].get());
                watchers[i]->removed = true;
            }
            resources[i]->GetLoadingState();
            resources[i]->IsPrepared();
            if (resources[i]->IsLoaded()) {
                EXPECT_EQ(resources[i]->payload, 42);
                EXPECT_FALSE(resources[i]->IsLoading());
                resources[i].reset();  // the worker must no longer touch it
                --remaining;
            }
        }
    }
    Loader().WaitUntilIdle();
    for (const auto& watcher : watchers) EXPECT_EQ(watcher->lateCalls.load(), 0);
}

TEST_F(ResourceLoaderTest, ASleepHookThatStepsTheLoaderEndsTheRenderersWaits) {
    lumi::test::FakeClock clock(1000);
    lumi::test::SleepRecorder sleeps(&clock);
    sleeps.OnSleep([](DWORD) { Loader().Step(); });
    DecodingListener listener(&log_, "l");
    TestResource first(&log_, "a");
    TestResource second(&log_, "b");
    StartBackgroundLoad(first, &listener);
    StartBackgroundLoad(second, &listener);

    while (first.IsLoading()) Sleep(15);
    while (Loader().HasResourceProcessing()) Sleep(5);
    EXPECT_EQ(sleeps.Sleeps(), (std::vector<DWORD>{15, 15, 15, 5}));
    EXPECT_EQ(clock.Now(), 1050u);
    EXPECT_TRUE(first.IsLoaded());
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
