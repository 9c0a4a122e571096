#include "legacy/loader_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "legacy/d3d_bitmap_legacy.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/threads.h"

namespace {

// What the running threads do; set before they start, cleared after they ended.
const loader_steps_t* g_RunningSteps = nullptr;
bool g_LoaderThreadsRunning = false;  // host's thread only

bool RunStep(const std::function<bool(CD3DBitmap&)>& step, CD3DBitmap& record) {
    try {
        return step(record);
    } catch (...) {
        return false;
    }
}

// Publishes the end of a record. The count is reached through the pointer taken before the
// state is set: from then on the host may have deleted the record.
void EndRecord(CD3DBitmap* record, std::int32_t state) {
    std::atomic<std::int32_t>* pending = record->GetPendingCount();
    record->SetState(state);
    pending->fetch_sub(1);
}

CLoaderThread& Dispatcher() { return g_LoaderThreads[0]; }

}  // namespace

loader_steps_t DefaultLoaderSteps() {
    return {[](CD3DBitmap& record) { return PrepareBitmapLoad(record.GetLoad(), record.GetCallbacks()); },
            [](CD3DBitmap& record) { return DecodeBitmapLoad(record.GetLoad()); }};
}

CLoaderThread::CLoaderThread() { node_.thread = this; }

CLoaderThread::~CLoaderThread() {
    // The first of the threads' objects to go at exit stops them all, dispatcher first, so
    // that none reaches a queue already gone.
    StopLoaderThreads();
    Stop();
}

bool CLoaderThread::Start(unsigned (*proc)(void*)) {
    stop_.store(false);
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, proc, this, 0, nullptr));
    return handle_ != nullptr;
}

void CLoaderThread::Stop() {
    if (handle_ == nullptr) return;
    stop_.store(true);
    Wake();
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

void CLoaderThread::Enqueue(CD3DBitmap* record, bool front) {
    {
        lock_scope lock(queueLock_);
        if (front) {
            queue_.PushFront(record->Node());
        } else {
            queue_.PushBack(record->Node());
        }
    }
    Wake();
}

CD3DBitmap* CLoaderThread::PopFront() {
    lock_scope lock(queueLock_);
    if (queue_.Empty()) return nullptr;
    lru_obj_s* node = lru_obj_s::Next(&queue_);
    node->Unlink();
    return CD3DBitmap::FromNode(node);
}

void CLoaderThread::Drain(const std::function<void(CD3DBitmap*)>& visit) {
    while (CD3DBitmap* record = PopFront()) visit(record);
}

std::int32_t CLoaderThread::QueuedCount() {
    lock_scope lock(queueLock_);
    return queue_.Count();
}

void CLoaderThread::Wake() {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    woken_ = true;
    wake_.notify_one();
}

void CLoaderThread::Idle(DWORD idleMs) {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(idleMs), [this] { return woken_; });
    woken_ = false;
}

unsigned CLoaderThread::DispatcherProc(void* argument) {
    auto* self = static_cast<CLoaderThread*>(argument);
    while (!self->stop_.load()) {
        if (CD3DBitmap* record = self->PopFront()) {
            ReadStep(record);
        } else {
            self->Idle(kDispatcherIdleMs);
        }
    }
    return 0;
}

unsigned CLoaderThread::WorkerProc(void* argument) {
    auto* self = static_cast<CLoaderThread*>(argument);
    while (!self->stop_.load()) {
        CD3DBitmap* record = self->PopFront();
        if (record == nullptr) {
            self->Idle(kWorkerIdleMs);
            continue;
        }
        const bool decoded = !record->IsCancelled() && RunStep(g_RunningSteps->decode, *record);
        EndRecord(record, decoded ? CD3DBitmap::kDecoded : CD3DBitmap::kDecodeFailed);
    }
    return 0;
}

void ReadStep(CD3DBitmap* record) {
    if (record->IsCancelled() || !RunStep(g_RunningSteps->read, *record)) {
        EndRecord(record, CD3DBitmap::kReadFailed);
        return;
    }
    // The ring is the dispatcher's alone while the threads run.
    lru_obj_s* first = lru_obj_s::Next(&LoaderWorkerRing);
    CLoaderThread* worker = CLoaderThread::FromNode(first);
    LoaderWorkerRing.PushBack(first);
    worker->Enqueue(record, false);
}

bool StartLoaderThreads(const loader_steps_t* steps, int workers) {
    if (g_LoaderThreadsRunning) return false;
    LoaderWorkerRing.Init();
    g_RunningSteps = steps;
    // Workers first: the ring is complete before the dispatcher can read it.
    for (int i = 1; i <= std::min(workers, kLoaderWorkers); ++i) {
        if (g_LoaderThreads[i].Start(&CLoaderThread::WorkerProc)) LoaderWorkerRing.PushBack(g_LoaderThreads[i].Node());
    }
    const bool dispatcher = !LoaderWorkerRing.Empty() && Dispatcher().Start(&CLoaderThread::DispatcherProc);
    g_LoaderThreadsRunning = true;
    if (!dispatcher) {
        StopLoaderThreads();
        return false;
    }
    return true;
}

void StopLoaderThreads() {
    if (!g_LoaderThreadsRunning) return;
    Dispatcher().Stop();
    while (!LoaderWorkerRing.Empty()) {
        lru_obj_s* node = lru_obj_s::Next(&LoaderWorkerRing);
        node->Unlink();
        CLoaderThread::FromNode(node)->Stop();
    }
    g_RunningSteps = nullptr;
    g_LoaderThreadsRunning = false;
}

bool LoaderThreadsRunning() { return g_LoaderThreadsRunning; }

void EnqueueBitmapLoad(CD3DBitmap* record, std::atomic<std::int32_t>* pending, const loader_steps_t& steps) {
    record->SetPendingCount(pending);
    pending->fetch_add(1);
    if (g_LoaderThreadsRunning) {
        Dispatcher().Enqueue(record, record->HasPriority());
        return;
    }
    // No threads: the same steps at once, on this thread.
    if (!RunStep(steps.read, *record)) {
        EndRecord(record, CD3DBitmap::kReadFailed);
        return;
    }
    EndRecord(record, RunStep(steps.decode, *record) ? CD3DBitmap::kDecoded : CD3DBitmap::kDecodeFailed);
}
