// The legacy loading threads under the texture loader: each interleaving forced through the
// steps' hooks (a gate holds a thread inside a step), never through sleeps. The suite's name
// puts it in the ThreadSanitizer pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/file_callbacks.h"
#include "image/raster.h"
#include "legacy/loader_thread.h"
#include "legacy/thread_texture_loader.h"
#include "platform/win32/text.h"
#include "platform/win32/threads.h"
#include "tests/draw/texture_fixture.h"
#include "tests/support/sleep_hook.h"

namespace lumi::test {
namespace {

// Holds the threads that pass it until opened; counts who arrived.
class Gate {
public:
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void WaitArrived(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return arrived_ >= count; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    bool open_ = false;
};

// What the hooked steps saw, in order.
struct StepLog {
    std::mutex mutex;
    std::vector<std::u16string> reads;
    std::map<std::u16string, std::thread::id> decodedOn;

    void Read(const CD3DBitmap& record) {
        std::lock_guard<std::mutex> lock(mutex);
        reads.emplace_back(const_cast<CD3DBitmap&>(record).GetFileName());
    }
    void Decode(CD3DBitmap& record) {
        std::lock_guard<std::mutex> lock(mutex);
        decodedOn[record.GetFileName()] = std::this_thread::get_id();
    }
    std::vector<std::u16string> Reads() {
        std::lock_guard<std::mutex> lock(mutex);
        return reads;
    }
};

std::u16string Name(int i) { return u"TEX/" + win32::Utf8ToUtf16(std::to_string(i)) + u".PNG"; }

class ThreadedLoaderTest : public TextureTest {
protected:
    void SetUp() override {
        TextureTest::SetUp();
        callbacks_ = DefaultFileCallbacks();
        std::filesystem::create_directories("tex");
    }

    void TearDown() override {
        TextureTest::DestroyAll();
        loader_.reset();
        EXPECT_EQ(win32::OpenThreadHandleCount(), 0) << "no loading thread left behind";
        win32::SetThreadStartsLeft(-1);
        TextureTest::TearDown();
    }

    // The loader with the real steps wrapped: every read logged, then held at `readGate`
    // for the files in `gatedReads`; every decode logged.
    void MakeLoader(std::set<std::u16string> gatedReads = {}, bool synchronous = false) {
        loader_steps_t real = DefaultLoaderSteps();
        loader_steps_t steps;
        steps.read = [this, real, gatedReads](CD3DBitmap& record) {
            steps_.Read(record);
            if (gatedReads.count(record.GetFileName()) != 0) readGate_.Pass();
            return real.read(record);
        };
        steps.decode = [this, real](CD3DBitmap& record) {
            steps_.Decode(record);
            return real.decode(record);
        };
        loader_ = std::make_unique<CThreadTextureLoader>(&callbacks_, [synchronous] { return synchronous; }, steps);
        owner_.loader = loader_.get();
    }

    // A PNG of ImageColor in the scratch folder, and an unregistered file texture of it.
    CD3DTexture* FileTexture(const std::u16string& name, int side = 8) {
        WriteImage(name, side);
        return Keep(new CD3DTexture(&owner_, name.c_str()));
    }

    static void WriteImage(const std::u16string& name, int side, DWORD type = kRasterTypePng) {
        CRaster image(static_cast<DWORD>(side), static_cast<DWORD>(side), 24, type);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) image.SetPixelColor(x, y, RGBQUAD{BYTE(x * 9), BYTE(y * 7), 0x40, 0});
        ASSERT_TRUE(image.Save(name.c_str(), type));
    }

    // Polls until the texture's load has ended, the way the host's thread does.
    void Finish(CD3DTexture* texture) {
        loader_->WaitAll();
        texture->PollLoad();
    }

    STRU_FILE_CALLBACKS callbacks_{};
    StepLog steps_;
    Gate readGate_;
    SleepRecorder sleeps_;  // waits spin instead of sleeping
    std::unique_ptr<CThreadTextureLoader> loader_;
};

TEST_F(ThreadedLoaderTest, DecodedFileFillsTheTextureAtThePollThatSeesIt) {
    MakeLoader();
    ASSERT_TRUE(loader_->IsThreaded());
    CD3DTexture* texture = FileTexture(u"TEX/ONE.PNG", 16);
    texture->PollLoad();
    ASSERT_NE(texture->GetLoad(), nullptr);
    Finish(texture);
    EXPECT_TRUE(texture->IsLoaded());
    EXPECT_EQ(texture->GetLoad(), nullptr) << "the record is deleted once taken";
    EXPECT_EQ(texture->GetPixel(5, 3) & 0xFFFFFF, 0x40542Du) << "row 3 from the top is image row 12";
    EXPECT_EQ(loader_->GetPendingLoadCount(), 0);
}

TEST_F(ThreadedLoaderTest, PriorityRecordIsReadRightAfterTheOneInHand) {
    MakeLoader({Name(0)});
    std::vector<CD3DTexture*> textures;
    for (int i = 0; i < 12; ++i) textures.push_back(FileTexture(Name(i)));
    textures[0]->PollLoad();
    readGate_.WaitArrived(1);  // the dispatcher holds record 0
    for (int i = 1; i <= 10; ++i) textures[i]->PollLoad();
    textures[11]->SetPriority(3);
    textures[11]->PollLoad();
    readGate_.Open();
    for (CD3DTexture* texture : textures) Finish(texture);

    std::vector<std::u16string> expected{Name(0), Name(11)};
    for (int i = 1; i <= 10; ++i) expected.push_back(Name(i));
    EXPECT_EQ(steps_.Reads(), expected);
    for (CD3DTexture* texture : textures) EXPECT_TRUE(texture->IsLoaded()) << win32::Utf16ToUtf8(texture->GetName());
}

TEST_F(ThreadedLoaderTest, SuccessfulReadsGoToTheSevenWorkersInTurn) {
    MakeLoader();
    std::vector<CD3DTexture*> textures;
    for (int i = 0; i < 8; ++i) textures.push_back(FileTexture(Name(i)));
    for (CD3DTexture* texture : textures) texture->PollLoad();
    for (CD3DTexture* texture : textures) Finish(texture);

    std::set<std::thread::id> firstSeven;
    for (int i = 0; i < 7; ++i) firstSeven.insert(steps_.decodedOn.at(Name(i)));
    EXPECT_EQ(firstSeven.size(), 7u) << "each of the first seven on a worker of its own";
    EXPECT_EQ(steps_.decodedOn.at(Name(7)), steps_.decodedOn.at(Name(0))) << "the eighth back on the first";
    EXPECT_EQ(firstSeven.count(std::this_thread::get_id()), 0u);
}

TEST_F(ThreadedLoaderTest, FailedFilesMarkTheirTexturesInvalidOnceAndForAll) {
    MakeLoader();
    const std::vector<BYTE> broken{0x89, 'P', 'N', 'G', 1, 2, 3};
    WriteBytes("tex/broken.png", broken);
    struct Case {
        const char16_t* name;
        int state;
    } cases[] = {{u"TEX/MISSING.PNG", 3}, {u"TEX/BROKEN.PNG", 4}};
    for (const Case& c : cases) {
        CD3DTexture* texture = Keep(new CD3DTexture(&owner_, c.name));
        texture->PollLoad();
        Finish(texture);
        EXPECT_TRUE(texture->IsInvalid()) << win32::Utf16ToUtf8(c.name);
        EXPECT_FALSE(texture->IsLoaded());
        const std::u16string line =
            u"invalid texture file.[" + std::u16string(c.name) + u"] state=" + (c.state == 3 ? u"3" : u"4");
        EXPECT_TRUE(LogHas(line)) << win32::Utf16ToUtf8(line);
        const std::size_t reads = steps_.Reads().size();
        texture->PollLoad();
        EXPECT_EQ(texture->GetLoad(), nullptr) << "never requested again";
        EXPECT_EQ(steps_.Reads().size(), reads);
    }
}

TEST_F(ThreadedLoaderTest, TextureDestroyedMidLoadNeitherWaitsNorLeavesItsRecordToAThread) {
    MakeLoader({Name(0)});
    CD3DTexture* reading = FileTexture(Name(0));
    CD3DTexture* queued = FileTexture(Name(1));
    CD3DTexture* kept = FileTexture(Name(2));
    reading->PollLoad();
    readGate_.WaitArrived(1);
    queued->PollLoad();
    kept->PollLoad();

    Forget(reading);  // its record is in the dispatcher's hands
    Forget(queued);   // its record waits on the queue
    EXPECT_EQ(loader_->GetParkedCount(), 2u);
    EXPECT_TRUE(sleeps_.Sleeps().empty()) << "giving up a load does not wait";
    readGate_.Open();
    Finish(kept);
    EXPECT_TRUE(kept->IsLoaded());
    EXPECT_EQ(loader_->GetParkedCount(), 0u) << "ended records reaped";
    EXPECT_EQ(steps_.Reads(), (std::vector<std::u16string>{Name(0), Name(2)})) << "the cancelled one is skipped";
    EXPECT_EQ(steps_.decodedOn.count(Name(0)), 0u) << "nor decoded after its read";
}

TEST_F(ThreadedLoaderTest, StopFinishesTheRecordInHandAndLeavesTheQueue) {
    MakeLoader({Name(0)});
    std::vector<CD3DTexture*> textures;
    for (int i = 0; i < 6; ++i) textures.push_back(FileTexture(Name(i)));
    for (CD3DTexture* texture : textures) texture->PollLoad();
    readGate_.WaitArrived(1);
    // The textures go first (their records are parked), then the loader with the threads.
    TextureTest::DestroyAll();
    EXPECT_EQ(loader_->GetParkedCount(), 6u);
    std::thread stopper([this] { loader_.reset(); });
    while (!g_LoaderThreads[0].IsStopping()) std::this_thread::yield();
    readGate_.Open();
    stopper.join();
    EXPECT_EQ(steps_.Reads(), std::vector<std::u16string>{Name(0)}) << "the rest left unprocessed";
    EXPECT_FALSE(LoaderThreadsRunning());
}

TEST_F(ThreadedLoaderTest, ThreadsThatCannotStartLeaveTheLoadsToTheHostThread) {
    for (int startsLeft : {0, 1, 7}) {
        SCOPED_TRACE(startsLeft);
        win32::SetThreadStartsLeft(startsLeft);  // 7: every worker, but no dispatcher
        MakeLoader();
        EXPECT_FALSE(loader_->IsThreaded());
        EXPECT_EQ(win32::OpenThreadHandleCount(), 0) << "what did start was stopped again";
        EXPECT_TRUE(LogHas(u"CTexMgr: loading threads not started, textures load in the host thread."));
        CD3DTexture* texture = FileTexture(u"TEX/SYNC.PNG");
        texture->PollLoad();
        EXPECT_EQ(loader_->GetPendingLoadCount(), 0) << "read and decoded inside the request";
        texture->PollLoad();
        EXPECT_TRUE(texture->IsLoaded());
        loader_->WaitAll();
        TextureTest::DestroyAll();
        MakePool();
        loader_.reset();
        win32::SetThreadStartsLeft(-1);
    }
}

TEST_F(ThreadedLoaderTest, SecondLoaderFindsTheThreadsTakenAndLoadsInTheHostThread) {
    MakeLoader();
    ASSERT_TRUE(loader_->IsThreaded());
    CThreadTextureLoader second(&callbacks_, {});
    EXPECT_FALSE(second.IsThreaded());
    EXPECT_TRUE(LoaderThreadsRunning()) << "the first keeps its threads";
}

// Every codec on the seven workers at once (each decode is held until all seven are inside
// one), each file's frames as the host's thread decodes them alone.
TEST_F(ThreadedLoaderTest, SevenDecodesAtOnceGiveWhatOneThreadGives) {
    struct File {
        const char16_t* name;
        DWORD type;
    } files[] = {{u"TEX/A.BMP", kRasterTypeBmp}, {u"TEX/A.JPG", kRasterTypeJpg}, {u"TEX/A.PNG", kRasterTypePng},
                 {u"TEX/A.TGA", kRasterTypeTga}, {u"TEX/A.JNA", kRasterTypeJna}, {u"TEX/B.PNG", kRasterTypePng},
                 {u"TEX/B.JPG", kRasterTypeJpg}, {u"TEX/A.GIF", kRasterTypeGif}};
    for (const File& file : files) {
        if (file.type == kRasterTypeGif) {
            WriteBytes("tex/a.gif", EncodeGifAnimation(
                                        24, 20, {10, 20}, [](int c) { return RGBQUAD{BYTE(c), BYTE(255 - c), 9, 0}; },
                                        [](int frame, int x, int y) { return (x * 7 + y * 3 + frame * 50) % 256; }));
        } else {
            WriteImage(file.name, 40, file.type);
        }
    }
    Gate decodes;
    loader_steps_t real = DefaultLoaderSteps();
    loader_steps_t steps{real.read, [&decodes, real](CD3DBitmap& record) {
                             decodes.Pass();
                             return real.decode(record);
                         }};
    loader_ = std::make_unique<CThreadTextureLoader>(&callbacks_, std::function<bool()>{}, steps);
    owner_.loader = loader_.get();
    std::vector<CTextureLoad*> loads;
    for (const File& file : files) {
        CD3DTexture* texture = Keep(new CD3DTexture(&owner_, file.name));
        loads.push_back(loader_->Request(texture));
    }
    decodes.WaitArrived(kLoaderWorkers);
    decodes.Open();
    loader_->WaitAll();

    for (std::size_t i = 0; i < loads.size(); ++i) {
        SCOPED_TRACE(win32::Utf16ToUtf8(files[i].name));
        ASSERT_EQ(loads[i]->GetState(), CD3DBitmap::kDecoded);
        CD3DBitmap alone(files[i].name, loads[i]->GetLoad().format, &callbacks_);
        ASSERT_TRUE(real.read(alone) && real.decode(alone));
        const bitmap_load_t& threaded = loads[i]->GetLoad();
        ASSERT_EQ(threaded.frameCount, alone.GetLoad().frameCount);
        ASSERT_GT(threaded.frameCount, 0);
        for (int f = 0; f < threaded.frameCount; ++f) {
            const bitmap_record_t& a = threaded.frames[f];
            const bitmap_record_t& b = alone.GetLoad().frames[f];
            ASSERT_EQ(a.width, b.width);
            ASSERT_EQ(a.height, b.height);
            EXPECT_EQ(std::memcmp(a.pixels, b.pixels, static_cast<std::size_t>(a.pitch) * a.height), 0) << f;
        }
        loader_->Cancel(loads[i]);
    }
}

// Many requests at once, with random priorities, failures and cancels, while the host
// polls: every record ends exactly once and the count returns to 0.
TEST_F(ThreadedLoaderTest, TenThousandRequestsEndOnceEach) {
    std::mutex mutex;
    std::map<std::u16string, int> reads;
    std::map<std::u16string, int> decodes;
    loader_steps_t steps;
    steps.read = [&](CD3DBitmap& record) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::u16string name = record.GetFileName();
        ++reads[name];
        return name.back() != u'3';  // every tenth read fails
    };
    steps.decode = [&](CD3DBitmap& record) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::u16string name = record.GetFileName();
        ++decodes[name];
        if (name.back() == u'5') throw std::runtime_error("broken");  // and every tenth decode
        return name.back() != u'7';
    };
    loader_ = std::make_unique<CThreadTextureLoader>(&callbacks_, std::function<bool()>{}, steps);
    owner_.loader = loader_.get();

    constexpr int kCount = 10000;
    std::mt19937 random(7);
    std::vector<CD3DTexture*> textures;
    std::set<CD3DTexture*> cancelled;
    for (int i = 0; i < kCount; ++i) {
        CD3DTexture* texture = Keep(new CD3DTexture(&owner_, (u"T" + win32::Utf8ToUtf16(std::to_string(i))).c_str()));
        texture->SetPriority(static_cast<int>(random() % 5));
        texture->PollLoad();
        textures.push_back(texture);
        if (i % 97 == 0) {
            Forget(texture);
            cancelled.insert(texture);
            textures.pop_back();
        }
        if (i % 13 == 0 && !textures.empty()) {
            CD3DTexture* polled = textures[random() % textures.size()];
            if (polled->GetLoad() != nullptr) polled->PollLoad();
        }
    }
    loader_->WaitAll();
    EXPECT_EQ(loader_->GetPendingLoadCount(), 0);
    EXPECT_EQ(loader_->GetParkedCount(), 0u);
    int ended = 0;
    for (CD3DTexture* texture : textures) {
        if (texture->GetLoad() != nullptr) texture->PollLoad();
        ended += texture->GetLoad() == nullptr ? 1 : 0;
    }
    EXPECT_EQ(ended, static_cast<int>(textures.size())) << "one poll after the wait ends every load";
    for (const auto& [name, count] : reads) ASSERT_EQ(count, 1) << win32::Utf16ToUtf8(name);
    for (const auto& [name, count] : decodes) {
        ASSERT_EQ(count, 1) << win32::Utf16ToUtf8(name);
        ASSERT_NE(name.back(), u'3') << "a failed read is not decoded";
    }
    EXPECT_GE(reads.size(), static_cast<std::size_t>(kCount) - cancelled.size());
}

}  // namespace
}  // namespace lumi::test
