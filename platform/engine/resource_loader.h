#pragma once
// CResourceLoader: the engine's one loader, which runs the prepare and decode steps of
// resources (resource.h).
//
// A resource that is not background-loaded always has its step run inside the request, on
// the caller's thread, without notifications. For background-loaded resources the mode
// decides:
//   Inline    the step runs inside the request, and so do the notifications (the decode
//             requested from OnPreparingComplete runs inside that call).
//   Threaded  requests queue; one worker thread runs them in request order. The default.
//   Manual    requests queue; nothing runs until Step or RunUntilIdle (tests).
// A background prepare step is followed by OnPreparingComplete (only when it succeeded),
// a decode step by OnLoadingComplete; a failed prepare ends the load with
// OnLoadingComplete. Steps queue in request order, so one resource's decode never starts
// before its prepare has ended, and only one step runs at a time.
//
// All operations are thread-safe; PrepareResource and DecodeResource may be called from a
// notification. Misuse (a null resource, a request the resource's state does not allow)
// throws std::invalid_argument or std::logic_error before anything is queued.
//
// The singleton lives until the process ends; its destruction stops the worker after the
// step it is running and runs nothing more.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/engine/resource.h"

class CResourceLoader {
public:
    static CResourceLoader& GetSingleton();

    // Starts a load: the resource's state must be LOADSTATE_LOADING and none of its steps
    // queued or running.
    void PrepareResource(CResource* resource);

    // Asks for the decode step after the prepare step. A resource whose load has ended
    // (loaded or failed) is left alone, so a second request is harmless. Refused for a
    // resource never requested, and, when the step would run at once, for one not yet
    // prepared.
    void DecodeResource(CResource* resource);

    // Some step is queued or running, in any mode.
    bool HasResourceProcessing() const;

    // Control, for the host program's start-up and for tests; the renderer never calls
    // these. Not from inside a step or a notification: on the worker they throw
    // std::logic_error, elsewhere they would wait for themselves.
    enum class Mode { Inline, Threaded, Manual };
    static constexpr Mode kDefaultMode = Mode::Threaded;

    // Queued steps are kept across a switch: Threaded runs them on its worker, Inline runs
    // them at once on the calling thread, Manual keeps them for Step. Leaving Threaded
    // waits for the worker's running step and joins the worker.
    void SetMode(Mode mode);
    Mode GetMode() const;

    // Manual mode: runs the oldest queued step on the calling thread; false when there was
    // none (and always in the other modes, where no step waits for the caller). One step
    // at a time: a Step while another runs (from inside it, or on another thread) throws
    // std::logic_error. An exception a listener throws reaches the caller after the
    // step's bookkeeping is done.
    bool Step();

    // Manual mode: Step until nothing is queued, including steps queued by notifications.
    // Returns the number of steps run (0 in the other modes).
    std::size_t RunUntilIdle();

    // Returns once no step is queued or running: runs the queue in Manual mode, waits for
    // the worker in Threaded mode.
    void WaitUntilIdle();

    // Forgets every queued step (their resources stop loading, their states stay as they
    // are), stops the worker after its running step and switches to `mode`.
    void Reset(Mode mode = kDefaultMode);

    ~CResourceLoader();
    CResourceLoader(const CResourceLoader&) = delete;
    CResourceLoader& operator=(const CResourceLoader&) = delete;

private:
    enum class StepKind { Prepare, Decode };
    struct Task {
        CResource* resource;
        StepKind kind;
    };

    CResourceLoader() = default;

    void Request(CResource* resource, StepKind kind);
    void Run(const Task& task);
    void Finish(CResource* resource);
    void WorkerLoop();
    void StartWorkerLocked();
    void StopWorker();
    void DropQueueLocked();
    bool OnWorkerThread() const;

    mutable std::mutex mutex_;       // guards everything below except the control mutex
    std::condition_variable work_;   // the queue or the stop flag changed
    std::condition_variable idle_;   // outstanding_ reached 0
    std::deque<Task> queue_;
    std::size_t outstanding_ = 0;    // queued plus running steps
    Mode mode_ = kDefaultMode;
    std::thread worker_;
    std::thread::id workerId_;
    bool stopWorker_ = false;
    bool stepping_ = false;          // a manual Step is running
    std::mutex controlMutex_;        // one SetMode or Reset at a time
};
