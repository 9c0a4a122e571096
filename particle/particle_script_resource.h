#pragma once
// What an emitter loads through. The current build loads scripts as resources of the engine's
// framework (CResource): read in the background, compiled in the decode step. The legacy build
// has no such framework: its emitter manager reads and compiles a script at once in the host's
// thread (legacy/particle_emitter_mgr_legacy.cpp), and an emitter is loaded when that returns.
#include "core/build_variant.h"

#if LUMI_LEGACY

class CParticleScriptResource {
public:
    virtual ~CParticleScriptResource() = default;

    bool IsLoaded() const { return loaded_; }
    bool IsLoading() const { return false; }
    // The manager has read and compiled the script.
    void MarkLoaded() { loaded_ = true; }

protected:
    // The current build's steps; the legacy manager reads and compiles itself.
    virtual bool PrepareImpl() = 0;
    virtual bool DecodeImpl() = 0;

private:
    bool loaded_ = false;
};

#else

#include "platform/engine/resource.h"

using CParticleScriptResource = CResource;

#endif
