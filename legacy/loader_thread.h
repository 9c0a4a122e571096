#pragma once
// The legacy build's loading threads: one dispatcher that reads texture files and seven
// workers that decode them. A record (CD3DBitmap) goes from the host's thread onto the
// dispatcher's queue (a record with priority to its front), is read there, then goes to the
// workers in turn, one after the other, and is decoded; the thread that ends it publishes
// its state (2, 3 or 4) under the record's lock and never touches it again.
//
// Locks: each thread's queue lock, each record's lock. A queue lock may be held while a
// record's lock is taken, never the other way round; no thread holds a queue lock while it
// reads or decodes, and no two queue locks are held at once. The count of records in flight
// is an atomic the record points to; it is decremented once per record, by whoever ends it.
//
// Threads wait for work on their queue for at most 5 ms (dispatcher) or 10 ms (workers);
// an enqueue or a stop wakes them at once. A stop is seen between two records: the record
// in hand is finished, the rest of the queue is left as it is.
//
// Start, stop and enqueue belong to the host's thread; one owner at a time.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "core/build_variant.h"
#include "core/lock_obj.h"
#include "core/lru_list.h"
#include "platform/win32/win32_types.h"

#if !LUMI_LEGACY
#error "the loading threads belong to the legacy build"
#endif

class CD3DBitmap;
class CLoaderThread;

// What the threads do with a record. The defaults read the file through the record's
// callbacks (PrepareBitmapLoad) and decode it (DecodeBitmapLoad); tests put their own
// around them to hold a thread at a chosen point. A step that throws has failed.
struct loader_steps_t {
    std::function<bool(CD3DBitmap&)> read;    // on the dispatcher
    std::function<bool(CD3DBitmap&)> decode;  // on a worker
};
loader_steps_t DefaultLoaderSteps();

// The node a thread sits on the worker ring by.
struct loader_node_t : lru_obj_s {
    CLoaderThread* thread = nullptr;
};

class CLoaderThread {
public:
    static constexpr DWORD kDispatcherIdleMs = 5;
    static constexpr DWORD kWorkerIdleMs = 10;

    CLoaderThread();
    // A thread still running (the renderer was never released) is stopped and joined.
    ~CLoaderThread();
    CLoaderThread(const CLoaderThread&) = delete;
    CLoaderThread& operator=(const CLoaderThread&) = delete;

    static unsigned DispatcherProc(void* thread);
    static unsigned WorkerProc(void* thread);

    static CLoaderThread* FromNode(lru_obj_s* node) { return static_cast<loader_node_t*>(node)->thread; }
    lru_obj_s* Node() { return &node_; }

    // Starts the thread on `proc`; false when it could not start.
    bool Start(unsigned (*proc)(void*));
    // Sets the stop byte, wakes the thread, waits for it to end and closes its handle.
    // Nothing for a thread that does not run.
    void Stop();
    bool IsRunning() const { return handle_ != nullptr; }
    // The stop byte is set (the thread ends after the record in hand).
    bool IsStopping() const { return stop_.load(); }

    // Appends (or, with `front`, prepends) the record under the queue lock and wakes the thread.
    void Enqueue(CD3DBitmap* record, bool front);
    // Unlinks and returns the first record, under the queue lock; null when the queue is empty.
    CD3DBitmap* PopFront();
    // Takes every record off the queue and hands it to `visit`. Only while no thread runs.
    void Drain(const std::function<void(CD3DBitmap*)>& visit);
    std::int32_t QueuedCount();

private:
    // Waits until woken or `idleMs` passed.
    void Idle(DWORD idleMs);
    void Wake();

    loader_node_t node_;
    HANDLE handle_ = nullptr;
    std::atomic<bool> stop_{false};
    lru_list_t queue_;  // of the records' nodes
    lock_obj queueLock_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};

inline constexpr int kLoaderWorkers = 7;

// The dispatcher ([0]) and the seven workers; the workers that started, used in turn.
// Defined with the other static objects of the build (static_setup_legacy.cpp).
extern CLoaderThread g_LoaderThreads[1 + kLoaderWorkers];
extern lru_list_t LoaderWorkerRing;

// Starts the workers (`workers` of the seven, for measurements), then the dispatcher, to run
// `steps` (which must outlive the threads). True when the dispatcher runs with at least one
// worker; otherwise whatever started is stopped again and false is returned. False too
// while the threads already run.
bool StartLoaderThreads(const loader_steps_t* steps, int workers = kLoaderWorkers);
// Stops the dispatcher, then each worker of the ring (each finishes the record in hand).
void StopLoaderThreads();
bool LoaderThreadsRunning();

// Counts the record in (`pending`, which must outlive it) and queues it for the dispatcher.
// While the threads do not run, it is read and decoded at once on the calling thread with
// `steps`, through the same states and count.
void EnqueueBitmapLoad(CD3DBitmap* record, std::atomic<std::int32_t>* pending, const loader_steps_t& steps);

// The dispatcher's step: reads the record; a failed read ends it (state 3), a good one goes
// to the next worker of the ring.
void ReadStep(CD3DBitmap* record);
