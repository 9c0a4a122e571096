#include "platform/win32/threads.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>

#include "platform/win32/crt_invalid_parameter.h"

namespace {

// What a test thread is handed: it waits for `go`, then records that it ran.
struct Job {
    std::shared_future<void> go;
    std::promise<void> ran;
};

unsigned RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    job->go.wait();
    job->ran.set_value();
    return 0;
}

HANDLE Start(Job& job, unsigned* id = nullptr) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, &job, 0, id));
}

TEST(ThreadedStart, WaitsEndAndHandlesCloseOnce) {
    std::promise<void> go;
    Job first{go.get_future().share(), {}};
    Job second{first.go, {}};
    const int openBefore = win32::OpenThreadHandleCount();
    unsigned firstId = 0, secondId = 0;
    HANDLE a = Start(first, &firstId);
    HANDLE b = Start(second, &secondId);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(firstId, secondId);
    EXPECT_EQ(win32::OpenThreadHandleCount(), openBefore + 2);

    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT) << "the thread waits for its go";
    go.set_value();
    EXPECT_EQ(WaitForSingleObject(a, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    first.ran.get_future().get();
    EXPECT_EQ(CloseHandle(a), TRUE);
    EXPECT_EQ(CloseHandle(a), FALSE) << "closed already";
    EXPECT_EQ(WaitForSingleObject(a, INFINITE), WAIT_FAILED);

    // A handle closed while its thread may still run leaves the thread to end on its own.
    EXPECT_EQ(CloseHandle(b), TRUE);
    second.ran.get_future().get();
    EXPECT_EQ(win32::OpenThreadHandleCount(), openBefore);
}

TEST(ThreadedStart, BadHandlesAndSelfWaitsFail) {
    int notAThread = 0;
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&notAThread)}) {
        EXPECT_EQ(WaitForSingleObject(bad, INFINITE), WAIT_FAILED);
        EXPECT_EQ(CloseHandle(bad), FALSE);
    }

    struct SelfWait {
        std::promise<HANDLE> handle;
        DWORD result = 0;
    } self;
    auto waitForSelf = [](void* argument) -> unsigned {
        auto* state = static_cast<SelfWait*>(argument);
        state->result = WaitForSingleObject(state->handle.get_future().get(), INFINITE);
        return 0;
    };
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, waitForSelf, &self, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    self.handle.set_value(thread);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(self.result, WAIT_FAILED);
    CloseHandle(thread);
}

TEST(ThreadedStart, TheSwitchMakesStartsFail) {
    std::promise<void> go;
    go.set_value();
    Job job{go.get_future().share(), {}};
    win32::SetThreadStartsLeft(1);
    HANDLE started = Start(job);
    ASSERT_NE(started, nullptr);
    errno = 0;
    Job refused{job.go, {}};
    EXPECT_EQ(Start(refused), nullptr) << "the one start allowed is used";
    EXPECT_EQ(errno, EAGAIN);
    win32::SetThreadStartsLeft(0);
    EXPECT_EQ(Start(refused), nullptr);
    win32::SetThreadStartsLeft(-1);
    EXPECT_EQ(WaitForSingleObject(started, INFINITE), WAIT_OBJECT_0);
    CloseHandle(started);
    HANDLE again = Start(refused);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WaitForSingleObject(again, INFINITE), WAIT_OBJECT_0);
    CloseHandle(again);
}

int g_InvalidParameters = 0;

TEST(ThreadedStart, UnsupportedArgumentsTakeTheInvalidParameterPath) {
    _invalid_parameter_handler previous =
        _set_invalid_parameter_handler([](const char16_t*, const char16_t*, const char16_t*, unsigned, std::uintptr_t) {
            ++g_InvalidParameters;
        });
    g_InvalidParameters = 0;
    Job job;
    int security = 0;
    const unsigned kCreateSuspended = 4;
    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, &job, 0, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_beginthreadex(nullptr, 0, RunJob, &job, kCreateSuspended, nullptr), 0u);
    EXPECT_EQ(_beginthreadex(&security, 0, RunJob, &job, 0, nullptr), 0u);
    EXPECT_EQ(g_InvalidParameters, 3);
    _set_invalid_parameter_handler(previous);
}

}  // namespace
