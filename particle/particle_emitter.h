#pragma once
// CParticleEmitter: one particle script file brought to life: the script's header values, its
// named sounds and its beams, and the clock and position the renderer drives them with.
//
// Loading: an emitter is a resource of the engine's framework (particle_script_resource.h).
// Its prepare step reads the script file through the file callbacks it was made with, its
// decode step compiles the text (particle_script_reader.cpp). The renderer's emitter manager
// creates, loads, parks and deletes emitters (particle_emitter_mgr.h); nothing else deletes
// one. A failed read or compile still ends the load: IsLoaded() turns true, the compile error
// holds the reader's message and the emitter keeps whatever the compile made before failing.
//
// Drawing: each frame the renderer gives the beams their draw sequence (SetDrawSequence) and
// updates the emitter (Update); the alpha-blended processor draws its beams through
// GetBatchView().
//
// Writing: Save (IParticleEmitterScript) writes the script text (particle_script_writer.h).
//
// Threads: the prepare and decode steps run wherever the resource loader runs them and touch
// only the script's values, beams and sounds; everything else is for the host's thread, and
// the script's values, beams and sounds only once IsLoaded() is true. The start lock guards
// the restart of the start time. Instances come from the "CParticleEmitter" pool.
#include <cmath>
#include <cstdint>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "core/lock_obj.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "draw/alpha_processor.h"
#include "particle/particle_emitter_script.h"
#include "particle/particle_script_resource.h"
#include "particle/particle_sound_owner.h"
#include "particle/particle_values.h"

class CParticleBeam;
class CTexMgr;
class IHostSoundSystem;
struct script_cursor_t;

class CParticleEmitter final : public IParticleEmitterScript,
                               public CParticleScriptResource,
                               public lru_obj_s,
                               public IParticleSoundOwner {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CParticleEmitter>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CParticleEmitter>(block); }
    static CParticleEmitter* FromNode(lru_obj_s* node) { return static_cast<CParticleEmitter*>(node); }

    // The texture AddBeam gives a new beam.
    static constexpr const char* kDefaultBeamTexture =
        lumi::kLegacy ? "particle/shape/8-bit shapes/leaf2.png" : "Data/particle/shape/8-bit shapes/leaf2.png";
    // A script file larger than this is not read (its size would not fit the buffer's
    // power-of-two growth long before the compile could use it).
    static constexpr std::int32_t kScriptByteLimit = 64 << 20;
    static constexpr std::size_t kNameUnits = 512;      // of the emitter's name, from the script
    static constexpr std::size_t kSoundNameBytes = 255;  // of a sound's name, from AddSound

    // An emitter with the script's defaults and no beams or sounds. `sound` (the host's sound
    // system; null: no sounds are played), `texMgr` (handed to every beam) and `callbacks`
    // (the set the script is read through; null: it cannot be read) are not owned and must
    // outlive the emitter.
    CParticleEmitter(IHostSoundSystem* sound, CTexMgr* texMgr, const STRU_FILE_CALLBACKS* callbacks);
    // Destroys the beams, releases the sounds' host data and destroys the sounds, frees the
    // read buffer. Must not run while the resource is loading.
    ~CParticleEmitter() override;
    CParticleEmitter(const CParticleEmitter&) = delete;
    CParticleEmitter& operator=(const CParticleEmitter&) = delete;

    // ---- IParticleEmitterScript ----
    const std::u16string& GetName() override { return name_; }
    void SetName(const std::u16string& name) override { name_ = name; }
    std::int32_t GetCoordinates() override { return coordinates_; }
    void SetCoordinates(std::int32_t coordinates) override;
    float GetEmitterLife() LUMI_EMITTER_CURRENT_OP { return life_; }
    void SetEmitterLife(float seconds) LUMI_EMITTER_CURRENT_OP {
        if (std::isfinite(seconds)) life_ = seconds;
    }
    float GetEmitterRate() LUMI_EMITTER_CURRENT_OP { return rate_; }
    void SetEmitterRate(float rate) LUMI_EMITTER_CURRENT_OP {
        if (std::isfinite(rate)) rate_ = rate;
    }
    float GetVersion() override { return version_; }
    void SetVersion(float version) override {
        if (std::isfinite(version)) version_ = version;
    }
    float* GetCurPosition() override { return currentPosition_; }
    void SetCurPosition(float x, float y, float z) override;
    xyz_range_t* GetPosition() override { return &position_; }
    void SetPosition(const xyz_range_t& position) override {
        if (IsFiniteRange(position)) position_ = position;
    }
    std::int32_t GetBeamCount() override { return static_cast<std::int32_t>(beams_.size()); }
    CParticleBeam* GetBeam(std::uint32_t index) override;
    CParticleBeam* AddBeam() override;
    bool RemoveBeam(CParticleBeam* beam) override;
    bool MoveBeamUp(std::uint32_t index) override;
    bool MoveBeamDown(std::uint32_t index) override;
    bool MoveBeamToFront(std::uint32_t index) override;
    bool MoveBeamToBack(std::uint32_t index) override;
    std::int32_t GetBeamIndex(CParticleBeam* beam) override;
    bool Save(const WCHAR* path) override;
    CParticleSound* AddSound(const WCHAR* name) LUMI_EMITTER_CURRENT_OP;
    bool RemoveSound(IParticleSound* sound) LUMI_EMITTER_CURRENT_OP;
    std::int32_t GetSoundCount() LUMI_EMITTER_CURRENT_OP { return static_cast<std::int32_t>(sounds_.size()); }
    CParticleSound* GetSoundAt(std::uint32_t index) LUMI_EMITTER_CURRENT_OP;
    void Restart() LUMI_EMITTER_CURRENT_OP;
    void SetEmitStopped(std::uint8_t stopped) LUMI_EMITTER_CURRENT_OP;
    std::uint8_t IsEmitStopped() LUMI_EMITTER_CURRENT_OP { return emitStopped_; }
    bool IsLoaded() LUMI_EMITTER_CURRENT_OP { return CParticleScriptResource::IsLoaded(); }
    using CParticleScriptResource::IsLoaded;
    void SetRect(std::uint16_t width, std::uint16_t height) LUMI_EMITTER_CURRENT_OP;

    // ---- IParticleSoundOwner ----
    IHostSoundSystem* GetSoundSystem() override { return sound_; }
    CParticleSound* FindSound(const std::string& name) override;
    // The sound of that name with its host data loaded on first use (3D sounds get their
    // distances); null when there is none. Without a sound system nothing is loaded.
    CParticleSound* AcquireSound(const std::string& name) override;

    // ---- Each frame (host thread) ----
    // One frame of every beam, once per `frameId` and only once loaded: the beams move by
    // the frame-clock time since the last update (0.0001 s on the first, which also starts
    // the emitter's life), each at (x, y) plus the current position, rotated by `angle`
    // degrees, with `scale` for CHGMODE and (originX, originY) subtracted from every quad. A
    // pending track rectangle is laid out first. Nothing while the frame clock reads 0.
    void Update(std::uint32_t frameId, std::int32_t x, std::int32_t y, std::int32_t originX, std::int32_t originY,
                std::int32_t angle, float scale);
    // Every beam draws at `sequence`, as beam number its index.
    void SetDrawSequence(std::int32_t sequence);
    // Endless life (below 0): always. Otherwise only after a restart or an update set the
    // start time, for EMITTERLIFE seconds of the frame clock.
    bool IsAlive();
    // The life starts again from the current frame time (under the start lock).
    void ResetStartTime();
    float GetStartTime() const { return startTime_; }
    // Lays the beams on the track rectangle (SetRect): beams 0 and 1 get the rectangle's
    // corners as emit radius, every beam is attached, its VELOCITY events are spread along
    // the rectangle's edges and its authored lifetime and particle count scaled to its
    // perimeter (so laying them again on the same rectangle changes nothing).
    void LayTrackBeams();

    // ---- The script (particle_script_reader.cpp) ----
    // Compiles the text's script into this emitter: the header values and POSITION replace
    // the old ones, beams and sounds are added after those the emitter has; the current
    // position is drawn from POSITION. False on an error: the reader's message becomes the
    // compile error, the name, positions and circle-beam mark are reset, and what the compile
    // made before the error stays.
    bool Compile(const char* text);
    // Name empty, current position and POSITION zero, no circle beam; nothing else changes.
    void ResetScript();
    const std::string& GetCompileError() const { return compileError_; }
    // Appends the script text Save writes (particle_script_writer.cpp).
    void WriteScript(std::string& text);
    // Whether a compiled beam has CIRCLEBEAM set.
    bool HasCircleBeam() const { return hasCircleBeam_ != 0; }

#if LUMI_LEGACY
    // ---- Removed beams (legacy build) ----
    // RemoveBeam keeps a removed beam until the frame that may have queued it has been drawn,
    // since the frame's nodes draw from the beam's own batches; the manager then destroys it
    // here (CParticleEmitterMgr::ReapParkedEmitter), as it does released emitters.
    void DestroyRemovedBeams();
#endif

    // ---- Loading ----
    // The file the emitter loads from; the manager sets it before the load.
    const std::u16string& GetScriptPath() const { return scriptPath_; }
    void SetScriptPath(const std::u16string& path) { scriptPath_ = path; }
    // Bytes of the read buffer (kept from one load to the next); 0 before the first read.
    std::uint32_t GetBufferCapacity() const { return bufferCapacity_; }

    // ---- Drawing ----
    // The beams as the alpha-blended processor draws them; valid while the emitter lives.
    IAlphaBatchEmitter* GetBatchView() { return &batchView_; }

protected:
    // Reads the script file into the read buffer (text and room for its terminator).
    bool PrepareImpl() override;
    // Terminates the text and compiles it; a failed compile is logged.
    bool DecodeImpl() override;

private:
    class BatchView final : public IAlphaBatchEmitter {
    public:
        explicit BatchView(CParticleEmitter& emitter) : emitter_(emitter) {}
        bool IsLoaded() override { return emitter_.IsLoaded(); }
        std::int32_t GetBeamCount() override { return emitter_.GetBeamCount(); }
        IAlphaBatchBeam* GetBeam(std::int32_t index) override;

    private:
        CParticleEmitter& emitter_;
    };

    // A beam of this emitter: the texture manager and the sounds are the emitter's.
    std::unique_ptr<CParticleBeam> NewBeam();
    // The read buffer holds at least `bytes`, at a power-of-two capacity; false (capacity 0)
    // when it cannot be allocated.
    bool ReserveBuffer(std::uint32_t bytes);

    // Block parsers; each starts on its block's keyword and throws ScriptError.
    bool ParseSystemBlock(script_cursor_t& cursor);
    bool ParseSoundBlock(script_cursor_t& cursor, CParticleSound& sound);
    bool ParseBeamBlock(script_cursor_t& cursor, CParticleBeam& beam);
    bool ParseParticleBlock(script_cursor_t& cursor, CParticleBeam& beam);
    void ParseBeamProperty(script_cursor_t& cursor, CParticleBeam& beam);
    void ParseBeamEventLine(script_cursor_t& cursor, CParticleBeam& beam);

    std::string compileError_;
    std::int64_t lastFrameId_ = -1;
    float version_ = 1.0f;
    std::uint8_t emitStopped_ = 0;
    std::uint8_t trackDirty_ = 0;
    std::uint16_t trackWidth_ = 0;
    std::uint16_t trackHeight_ = 0;
    std::u16string scriptPath_;
    std::u16string name_;
    std::int32_t coordinates_ = 1;  // COORDS_2D
    float currentPosition_[3] = {0.0f, 0.0f, 0.0f};
    xyz_range_t position_{};
    std::vector<std::unique_ptr<CParticleBeam>> beams_;   // draw and update order
#if LUMI_LEGACY
    std::vector<std::unique_ptr<CParticleBeam>> removedBeams_;  // until the frame is drawn
#endif
    std::map<std::string, std::unique_ptr<CParticleSound>> sounds_;  // by name, in byte order
    float startTime_ = 0.0f;       // frame-clock seconds of the (re)start
    float life_ = -1.0f;           // EMITTERLIFE, seconds; below 0 endless
    float rate_ = 1.0f;            // EMITTERRATE
    float lastUpdateTime_ = 0.0f;  // frame-clock seconds; 0: never updated
    float frameDelta_ = 0.0f;      // seconds since the last update
    CTexMgr* texMgr_;
    IHostSoundSystem* sound_;
    lock_obj startLock_;
    std::uint8_t hasCircleBeam_ = 0;
    const STRU_FILE_CALLBACKS* callbacks_;
    char* buffer_ = nullptr;        // from Plat_Alloc
    std::uint32_t bufferCapacity_ = 0;
    std::uint32_t bytesRead_ = 0;
    BatchView batchView_{*this};
};
