#pragma once
// CResource: one thing the engine loads in two steps, prepare (typically reading a file)
// and decode (turning the bytes into the finished object). A derived class supplies the
// two steps; CResourceLoader (resource_loader.h) runs them, in the caller's thread or in
// the background, and tells the resource's listeners how far it got.
//
// A load, as the renderer drives it:
//   AddListener(listener); SetBackgroundLoaded(true); SetLoadState(LOADSTATE_LOADING);
//   CResourceLoader::GetSingleton().PrepareResource(resource);
//     -> prepare step, then listener->OnPreparingComplete(resource), which calls
//        DecodeResource(resource) -> decode step, then listener->OnLoadingComplete(resource)
//   poll IsLoaded(); once true read the result and delete the resource.
// Synchronously: SetBackgroundLoaded(false), SetLoadState(LOADSTATE_LOADING),
// PrepareResource, DecodeResource: both steps run inside those calls and no listener is
// told anything.
//
// A failed step (false, or an exception, which is reported through DevMsg) ends the load:
// the state becomes LOADSTATE_FAILED, IsLoaded() turns true so the owner stops waiting and
// can delete the resource, and a background resource's listeners get OnLoadingComplete
// (never OnPreparingComplete after a failed prepare).
//
// Threads: IsLoaded, IsLoading, IsPrepared, GetLoadingState, IsBackgroundLoaded and the
// listener operations are safe from any thread while a step runs. Once IsLoading() is
// false the loader holds no pointer to the resource; everything a step wrote is visible to
// the thread that saw IsLoaded() true. Deleting a resource whose step is queued or running
// is a fault: the destructor reports it on stderr and aborts.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/engine/string_interface.h"

class CResourceLoader;

class CResource : public CStringInterface {
public:
    // Where a load stands. The renderer only ever sets LOADSTATE_LOADING (1).
    enum LoadingState {
        LOADSTATE_UNLOADED = 0,  // nothing requested
        LOADSTATE_LOADING = 1,   // requested; the prepare step has not finished
        LOADSTATE_PREPARED = 2,  // prepare succeeded; the decode step has not finished
        LOADSTATE_LOADED = 3,    // both steps succeeded
        LOADSTATE_FAILED = 4,    // a step failed; the load has ended
    };

    using ResourceHandle = std::uint32_t;

    // Told of a background resource's progress, on the thread that ran the step. A
    // listener must outlive its registration: once RemoveListener returns it is never
    // called again.
    class CListener {
    public:
        virtual ~CListener();
        virtual void OnLoadingComplete(CResource* resource);    // default: nothing
        virtual void OnPreparingComplete(CResource* resource);  // default: nothing
    };

    ~CResource() override;
    CResource(const CResource&) = delete;
    CResource& operator=(const CResource&) = delete;

    // The virtual operations follow in their table order, after CStringInterface's.
protected:
    // The two steps, run by Prepare and Decode. True on success.
    virtual bool PrepareImpl() = 0;
    virtual bool DecodeImpl() = 0;

public:
    // Bytes the loaded resource holds; 0 unless the derived class knows better.
    virtual std::size_t GetSize() const;
    // A number unique to this resource in the process (never 0).
    virtual ResourceHandle GetHandle() const;

    // The prepare step succeeded (the state is LOADSTATE_PREPARED or LOADSTATE_LOADED).
    virtual bool IsPrepared() const;
    // The load has ended, loaded or failed, and no step of it is queued or running.
    virtual bool IsLoaded() const;
    // A step of this resource is queued or running.
    virtual bool IsLoading() const;
    virtual LoadingState GetLoadingState() const;

    // Whether the loader runs the steps in the background and notifies the listeners.
    // Read when each step is requested and when it runs.
    virtual bool IsBackgroundLoaded() const;
    virtual void SetBackgroundLoaded(bool background);

    // A listener is held once however often it is added; null is refused
    // (std::invalid_argument). Removing one that is not held does nothing. May be called
    // from a notification; a listener added during one is first told of the next.
    // RemoveListener waits while another thread is notifying this resource's listeners.
    virtual void AddListener(CListener* listener);
    virtual void RemoveListener(CListener* listener);

    virtual const std::string& GetGroup() const;

    // Tell every listener, in the order they were added.
    virtual void FireBackgroundLoadingComplete();
    virtual void FireBackgroundPreparingComplete();

    // Run one step now on the calling thread and record its outcome in the load state.
    // The loader calls these; they do not notify anyone.
    virtual bool Prepare();
    virtual bool Decode();

    // Sets the load state before a request (the renderer sets LOADSTATE_LOADING). Refused
    // with std::logic_error while a step of this resource is queued or running, or for a
    // value outside LoadingState.
    void SetLoadState(LoadingState state);

protected:
    explicit CResource(std::string group = "General");

private:
    friend class CResourceLoader;

    bool RunStep(bool (CResource::*step)(), const char* stepName);
    void Notify(void (CListener::*notification)(CResource*));

    std::atomic<int> state_{LOADSTATE_UNLOADED};
    std::atomic<bool> background_{false};
    std::atomic<int> pendingSteps_{0};  // queued or running; kept by CResourceLoader
    const ResourceHandle handle_;
    const std::string group_;
    std::recursive_mutex listenerMutex_;  // held while notifying: a callback may add or remove
    std::vector<CListener*> listeners_;
};
