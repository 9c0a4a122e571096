#include "platform/engine/resource_loader.h"

#include <stdexcept>
#include <utility>

CResourceLoader& CResourceLoader::GetSingleton() {
    static CResourceLoader loader;
    return loader;
}

CResourceLoader::~CResourceLoader() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = Mode::Manual;  // nothing new starts the worker again
    }
    StopWorker();
    std::lock_guard<std::mutex> lock(mutex_);
    DropQueueLocked();
}

void CResourceLoader::PrepareResource(CResource* resource) {
    if (resource == nullptr) throw std::invalid_argument("CResourceLoader::PrepareResource: null resource");
    Request(resource, StepKind::Prepare);
}

void CResourceLoader::DecodeResource(CResource* resource) {
    if (resource == nullptr) throw std::invalid_argument("CResourceLoader::DecodeResource: null resource");
    Request(resource, StepKind::Decode);
}

bool CResourceLoader::HasResourceProcessing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outstanding_ != 0;
}

void CResourceLoader::Request(CResource* resource, StepKind kind) {
    const bool background = resource->IsBackgroundLoaded();
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued = background && mode_ != Mode::Inline;
        const int state = resource->state_.load();
        const bool hasSteps = resource->pendingSteps_.load() != 0;
        if (kind == StepKind::Prepare) {
            if (state != CResource::LOADSTATE_LOADING) {
                throw std::logic_error("CResourceLoader::PrepareResource: the load state is not LOADSTATE_LOADING");
            }
            if (hasSteps) {
                throw std::logic_error("CResourceLoader::PrepareResource: the resource is already loading");
            }
        } else {
            if (state == CResource::LOADSTATE_LOADED || state == CResource::LOADSTATE_FAILED) return;
            // A queued decode may follow a prepare still queued or running; one that runs
            // at once needs the prepare done.
            const bool prepareAhead = queued && state == CResource::LOADSTATE_LOADING && hasSteps;
            if (state != CResource::LOADSTATE_PREPARED && !prepareAhead) {
                throw std::logic_error(state == CResource::LOADSTATE_UNLOADED
                                           ? "CResourceLoader::DecodeResource: the resource was never requested"
                                           : "CResourceLoader::DecodeResource: the resource is not prepared");
            }
        }
        resource->pendingSteps_.fetch_add(1);
        ++outstanding_;
        if (queued) {
            queue_.push_back(Task{resource, kind});
            if (mode_ == Mode::Threaded) StartWorkerLocked();
        }
    }
    if (queued) {
        work_.notify_one();
    } else {
        Run(Task{resource, kind});
    }
}

void CResourceLoader::Run(const Task& task) {
    CResource* const resource = task.resource;
    struct Finisher {
        CResourceLoader* loader;
        CResource* resource;
        ~Finisher() { loader->Finish(resource); }
    } finisher{this, resource};

    const bool background = resource->IsBackgroundLoaded();
    if (task.kind == StepKind::Prepare) {
        const bool prepared = resource->Prepare();
        if (!background) return;
        if (prepared) {
            resource->FireBackgroundPreparingComplete();
        } else {
            resource->FireBackgroundLoadingComplete();  // the load ended here
        }
        return;
    }
    // A failed prepare, or an earlier decode, has ended the load already.
    if (resource->state_.load() != CResource::LOADSTATE_PREPARED) return;
    resource->Decode();
    if (background) resource->FireBackgroundLoadingComplete();
}

void CResourceLoader::Finish(CResource* resource) {
    resource->pendingSteps_.fetch_sub(1);  // the last touch: its owner may delete it from now on
    std::lock_guard<std::mutex> lock(mutex_);
    if (--outstanding_ == 0) idle_.notify_all();
}

void CResourceLoader::WorkerLoop() {
    for (;;) {
        Task task{nullptr, StepKind::Prepare};
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return stopWorker_ || !queue_.empty(); });
            if (stopWorker_) return;
            task = queue_.front();
            queue_.pop_front();
        }
        Run(task);
    }
}

void CResourceLoader::StartWorkerLocked() {
    if (worker_.joinable()) return;
    stopWorker_ = false;
    worker_ = std::thread(&CResourceLoader::WorkerLoop, this);
    workerId_ = worker_.get_id();
}

void CResourceLoader::StopWorker() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!worker_.joinable()) return;
        stopWorker_ = true;
        worker = std::move(worker_);
    }
    work_.notify_all();
    worker.join();
    std::lock_guard<std::mutex> lock(mutex_);
    stopWorker_ = false;
    workerId_ = std::thread::id();
}

void CResourceLoader::DropQueueLocked() {
    for (const Task& task : queue_) {
        task.resource->pendingSteps_.fetch_sub(1);
        --outstanding_;
    }
    queue_.clear();
    if (outstanding_ == 0) idle_.notify_all();
}

bool CResourceLoader::OnWorkerThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return workerId_ != std::thread::id() && workerId_ == std::this_thread::get_id();
}

void CResourceLoader::SetMode(Mode mode) {
    // Checked before the control mutex: the host may hold it while joining this worker.
    if (OnWorkerThread()) throw std::logic_error("CResourceLoader::SetMode: called on the loader's worker");
    std::lock_guard<std::mutex> control(controlMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = mode;
        if (mode == Mode::Threaded && !queue_.empty()) StartWorkerLocked();
    }
    if (mode != Mode::Threaded) StopWorker();
    if (mode != Mode::Inline) return;
    // Nothing queues in Inline mode, so run what is left here, in request order.
    for (;;) {
        Task task{nullptr, StepKind::Prepare};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return;
            task = queue_.front();
            queue_.pop_front();
        }
        Run(task);
    }
}

CResourceLoader::Mode CResourceLoader::GetMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}

bool CResourceLoader::Step() {
    Task task{nullptr, StepKind::Prepare};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stepping_) throw std::logic_error("CResourceLoader::Step: a step is already running");
        if (mode_ != Mode::Manual || queue_.empty()) return false;
        stepping_ = true;
        task = queue_.front();
        queue_.pop_front();
    }
    struct SteppingReset {
        CResourceLoader* loader;
        ~SteppingReset() {
            std::lock_guard<std::mutex> lock(loader->mutex_);
            loader->stepping_ = false;
        }
    } steppingReset{this};
    Run(task);
    return true;
}

std::size_t CResourceLoader::RunUntilIdle() {
    std::size_t steps = 0;
    while (Step()) ++steps;
    return steps;
}

void CResourceLoader::WaitUntilIdle() {
    if (OnWorkerThread()) throw std::logic_error("CResourceLoader::WaitUntilIdle: called on the loader's worker");
    if (GetMode() == Mode::Manual) RunUntilIdle();
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return outstanding_ == 0; });
}

void CResourceLoader::Reset(Mode mode) {
    if (OnWorkerThread()) throw std::logic_error("CResourceLoader::Reset: called on the loader's worker");
    std::lock_guard<std::mutex> control(controlMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = Mode::Manual;  // the queue stays put while the worker stops
    }
    StopWorker();
    std::lock_guard<std::mutex> lock(mutex_);
    DropQueueLocked();
    mode_ = mode;
}
