#pragma once
// CParticleBeam: one stream of particles of an emitter (one PARTICLEBEAM block of a script).
// It holds the stream's script properties, its particle and beam events, its live
// particles, its texture and the sounds its events started.
//
// Lifetime: made and destroyed by its emitter (and by the script reader for the emitter);
// the emitter destroys it through this class, not the interface. Destruction deletes the
// particle events, then the beam events, returns the live particles to the "CParticle" pool,
// frees the playing-sound nodes (the sound instances are the host's), deletes the event sets
// and releases the texture reference. Beams come from the legacy build's beam pool, and from
// the heap in the current build, which has no pool for them.
//
// Each frame the emitter calls Update (particle_beam_update.cpp); the alpha-blended batch
// processor then draws the beam through IAlphaBatchBeam (particle_beam_draw.cpp). Events are
// kept and applied by particle_beam_events.cpp.
//
// Limits: a beam holds at most kLiveParticleLimit live particles, whatever NUMPARTICLES
// says. A texture name too long for the texture manager (260 characters or more) leaves the
// beam without texture, as a missing file does: it is updated but not drawn.
//
// Host thread only; no locks. Allocation failures propagate as the allocators' exceptions.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/lru_list.h"
#include "core/pool_table.h"
#include "draw/alpha_processor.h"
#include "particle/particle_beam_script.h"
#include "particle/particle_values.h"

class CD3DTexture;
class CEventBase;
class CParticle;
class CParticleBeamEvent;
class CParticleEmitter;
class CParticleEvent;
class CParticleEventSet;
class CTexMgr;
class IHostSoundInstance;
class IParticleSoundOwner;

// A sound instance the beam started and follows (3D sounds only).
struct beam_sound_node_t : lru_obj_s {
    IHostSoundInstance* instance = nullptr;

    static beam_sound_node_t* FromNode(lru_obj_s* node) { return static_cast<beam_sound_node_t*>(node); }
};

// What the beam's update and its events change while it plays; not script properties.
struct beam_state_t {
    std::int32_t budget = 0;            // spawns left while CIRCLEPLAY is off
    float emissionAccumulator = 0.0f;   // seconds of emission not yet spent
    vec3_t beamPosition{};              // BEAMPOS offset of spawn positions, ramped
    vec3_t beamPositionRate{};          // per second
    float beamPositionRemaining = 0.0f; // seconds
    float emitSpeedOffset = 0.0f;       // units per second added to spawn speeds
    float emitSpeedOffsetRate = 0.0f;
    float emitAngleOffset = 0.0f;       // degrees added to spawn angles
    float emitAngleOffsetRate = 0.0f;
    vec3_t scaleReference{};            // what CHGMODE scales against
    std::uint8_t scaleReferenceCaptured = 0;
    float lastScale = 0.0f;             // the last scale argument of the update
    std::int32_t beamEventCursor = 0;   // the next entry of the beam-event list to apply
    std::int32_t currentCell = -1;      // animation cell shown; -1 none
    float lastCellSwitch = 0.0f;        // beam-clock seconds
    float beamClock = 0.0f;             // seconds since the last restart
    float frameAccumulator = 0.0f;      // seconds of the updates since the last tick
    std::int32_t frameCounter = 0;      // updates since the last tick
    float cycleStart = 0.0f;            // frame-clock seconds
    float cycleEnd = 0.0f;
    float cycleDuration = 0.0f;
    float emitterAngle = 0.0f;          // radians, from the update
    float originX = 0.0f;               // origin offset subtracted from every quad
    float originY = 0.0f;
    CD3DTexture* drawTexture = nullptr; // the texture or atlas page the quads sample
    float uvCorners[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};  // TL, TR, BL, BR
};

class CParticleBeam final : public IParticleBeamScript, public IAlphaBatchBeam {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CParticleBeam>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CParticleBeam>(block); }

    static constexpr std::uint32_t kEventSetCount = kEventKindCount;  // one per event kind
    static constexpr std::uint32_t kTrackPointCount = 200;
    static constexpr std::size_t kNameUnits = 511;  // names and texture names kept, in code units
    static constexpr std::int32_t kLiveParticleLimit = 65536;

    // Every property at its default; no texture, no particles, no events; budget 0.
    // Neither pointer is owned.
    CParticleBeam(CParticleEmitter* emitter, CTexMgr* texMgr);
    ~CParticleBeam();
    CParticleBeam(const CParticleBeam&) = delete;
    CParticleBeam& operator=(const CParticleBeam&) = delete;

    // ---- IParticleBeamScript ----
    const std::u16string& GetName() override { return name_; }
    void SetName(const std::u16string& name) override { name_ = name; }
    const std::u16string& GetTexture() override { return textureName_; }
    // A non-empty name (cut to 511 characters) is stored in key form and marks the texture
    // for reloading; an empty one marks it only when a name was set.
    void SetTexture(const std::u16string& name) override;
    std::int32_t GetNumParticles() override;
    void SetNumParticles(std::uint32_t count) override;
    std::int32_t GetSourceBlendMode() override { return sourceBlendMode_; }
    void SetSourceBlendMode(std::int32_t mode) override { sourceBlendMode_ = mode; }
    std::int32_t GetDestBlendMode() override { return destBlendMode_; }
    void SetDestBlendMode(std::int32_t mode) override { destBlendMode_ = mode; }
    std::int32_t GetColorOp() override { return colorOp_; }
    void SetColorOp(std::int32_t op) override { colorOp_ = op; }
    std::int32_t GetAlphaOp() override { return alphaOp_; }
    void SetAlphaOp(std::int32_t op) override { alphaOp_ = op; }
    std::int32_t GetBlendOp() override { return blendOp_; }
    void SetBlendOp(std::int32_t op) override { blendOp_ = op; }
    std::uint8_t GetAnimRow() LUMI_BEAM_CURRENT_OP { return animRow_; }
    void SetAnimRow(std::int32_t rows) LUMI_BEAM_CURRENT_OP;
    std::uint8_t GetAnimCow() LUMI_BEAM_CURRENT_OP { return animCow_; }
    void SetAnimCow(std::int32_t columns) LUMI_BEAM_CURRENT_OP;
    float GetAnimTime(std::uint32_t index) LUMI_BEAM_CURRENT_OP;
    void SetAnimTime(std::uint32_t index, float seconds) LUMI_BEAM_CURRENT_OP;
    float GetAnimTimes() LUMI_BEAM_CURRENT_OP { return animTimes_; }
    void SetAnimTimes(float seconds) LUMI_BEAM_CURRENT_OP;
    std::uint8_t GetAnimActualCount() LUMI_BEAM_CURRENT_OP { return animActualCount_; }
    void SetAnimActualCount(std::int32_t count) LUMI_BEAM_CURRENT_OP;
    std::uint16_t GetAnimSize() LUMI_BEAM_CURRENT_OP { return animSize_; }
    void SetAnimSize(std::int32_t pixels) LUMI_BEAM_CURRENT_OP;
    std::uint8_t GetStartAnimIndex() LUMI_BEAM_CURRENT_OP { return startAnimIndex_; }
    void SetStartAnimIndex(std::int32_t index) LUMI_BEAM_CURRENT_OP { startAnimIndex_ = static_cast<std::uint8_t>(index); }
    const float* GetRefPoint() override { return refPoint_; }
    void SetRefPoint(const float* uv) override;
    std::int32_t GetParticleMode() override { return particleMode_; }
    void SetParticleMode(std::int32_t mode) override { particleMode_ = mode; }
    std::int32_t GetParticleAngleType() override { return particleAngleType_; }
    void SetParticleAngleType(std::int32_t type) override { particleAngleType_ = type; }
    std::int32_t GetMuzzleShape() override { return muzzleShape_; }
    void SetMuzzleShape(std::int32_t shape) override { muzzleShape_ = shape; }
    std::uint8_t GetAttachedToEmitter() override { return attachedToEmitter_; }
    void SetAttachedToEmitter(std::int32_t on) override { attachedToEmitter_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetEmitRand() override { return emitRand_; }
    void SetEmitRand(std::int32_t on) override { emitRand_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetSingleParticle() override { return singleParticle_; }
    void SetSingleParticle(std::int32_t on) override { singleParticle_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetIsAnim() LUMI_BEAM_CURRENT_OP { return isAnim_; }
    void SetIsAnim(std::int32_t on) LUMI_BEAM_CURRENT_OP { isAnim_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetCircleBeam() override { return circleBeam_; }
    void SetCircleBeam(std::int32_t on) override { circleBeam_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetFlipX() override { return flipX_; }
    void SetFlipX(std::int32_t on) override { flipX_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetFlipY() override { return flipY_; }
    void SetFlipY(std::int32_t on) override { flipY_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetLockAspect() override { return lockAspect_; }
    void SetLockAspect(std::int32_t on) override { lockAspect_ = static_cast<std::uint8_t>(on); }
    value_range_t* GetLifeTime() override { return &lifeTime_; }
    void SetLifeTime(const value_range_t* range) override;
    value_range_t* GetEmitRate() override { return &emitRate_; }
    void SetEmitRate(const value_range_t* range) override;
    value_range_t* GetEmitAngle() override { return &emitAngle_; }
    void SetEmitAngle(const value_range_t* range) override;
    value_range_t* GetEmitSpeed() override { return &emitSpeed_; }
    void SetEmitSpeed(const value_range_t* range) override;
    xyz_range_t* GetEmitRadius() override { return &emitRadius_; }
    void SetEmitRadius(const xyz_range_t* range) override;
    xyz_range_t* GetGravity() override { return &gravity_; }
    void SetGravity(const xyz_range_t* range) override;
    std::uint8_t GetBeamFlag() override { return beamFlag_; }
    void SetBeamFlag(std::int32_t on) override { beamFlag_ = static_cast<std::uint8_t>(on); }
    // The first call makes the kEventSetCount sets and shows every event of the beam's lists
    // (particle events first) in the set of its kind; an event whose time is taken there stays
    // out.
    IParticleEventSet* GetEventSet(std::uint32_t kind) override;
    float GetDelayTimer() LUMI_BEAM_CURRENT_OP { return delayTimer_; }
    void SetDelayTimer(float seconds) LUMI_BEAM_CURRENT_OP;
    void SetCirclePlay(std::int32_t on) LUMI_BEAM_CURRENT_OP { circlePlay_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetCirclePlay() LUMI_BEAM_CURRENT_OP { return circlePlay_; }
    // Budget := NUMPARTICLES; emission, beam clock, frame gate and animation start again; the
    // beam-event cursor goes to the first event. Particles, ramps, offsets, the scaling
    // reference and the cycle times stay.
    void Reset() LUMI_BEAM_CURRENT_OP;
    float GetDelayClock() LUMI_BEAM_CURRENT_OP;
    void SetChgMode(std::int32_t mode) LUMI_BEAM_CURRENT_OP { chgMode_ = static_cast<std::uint8_t>(mode); }
    std::uint8_t GetChgMode() LUMI_BEAM_CURRENT_OP { return chgMode_; }
    void SetTrackMode(std::int32_t on) LUMI_BEAM_CURRENT_OP { trackMode_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetTrackMode() LUMI_BEAM_CURRENT_OP { return trackMode_; }
    void SetTrackCount(std::int32_t count) LUMI_BEAM_CURRENT_OP { trackCount_ = static_cast<std::uint16_t>(count); }
    std::uint16_t GetTrackCount() LUMI_BEAM_CURRENT_OP { return trackCount_; }
    void SetTrackIndex(std::int32_t index) LUMI_BEAM_CURRENT_OP { trackIndex_ = static_cast<std::uint16_t>(index); }
    std::uint16_t GetTrackIndex() LUMI_BEAM_CURRENT_OP { return trackIndex_; }
    void SetTrackTime(float seconds) LUMI_BEAM_CURRENT_OP;
    float GetTrackTime() LUMI_BEAM_CURRENT_OP { return trackTime_; }
    void SetTrackRand(std::int32_t on) LUMI_BEAM_CURRENT_OP { trackRand_ = static_cast<std::uint8_t>(on); }
    std::uint8_t GetTrackRand() LUMI_BEAM_CURRENT_OP { return trackRand_; }

    // ---- Names from 8-bit text (ANSI code page), as the script reader has them ----
    void SetNameA(const char* name);
    void SetTextureA(const char* name);

    // ---- Authored values ----
    // Play-time changes (beam events) go through the Change operations, which leave the
    // authored values alone, so that a saved script holds what was set, not where the beam
    // happened to be. LIFETIME and EMITRADIUS keep their authored copy as the base copy.
    void ChangeNumParticles(std::uint32_t count);
    void ChangeEmitSpeed(const value_range_t* range) { emitSpeed_ = *range; }
    void ChangeEmitAngle(const value_range_t* range) { emitAngle_ = *range; }
    std::uint32_t GetAuthoredNumParticles() const { return authoredNumParticles_; }
    const value_range_t& GetAuthoredEmitSpeed() const { return authoredEmitSpeed_; }
    const value_range_t& GetAuthoredEmitAngle() const { return authoredEmitAngle_; }
    const value_range_t& GetBaseLifeTime() const { return baseLifeTime_; }
    const xyz_range_t& GetBaseEmitRadius() const { return baseEmitRadius_; }
    // The NUMPARTICLES ramp (its value is what GetNumParticles truncates).
    ramp_t& NumParticlesRamp() { return numParticles_; }

    // ---- Set by the emitter ----
    std::int32_t GetCoordinates() const { return coordinates_; }
    void SetCoordinates(std::int32_t coordinates) { coordinates_ = coordinates; }
    float GetTimeScale() const { return timeScale_; }
    void SetTimeScale(float scale) { timeScale_ = scale; }
    void SetDrawSequence(std::int32_t sequence, std::int32_t beamIndex);
    std::int32_t GetDrawSequence() const { return drawSequence_; }
    std::int32_t GetBeamIndex() const { return beamIndex_; }
    std::uint8_t IsEmitStopped() const { return emitStopped_; }
    void SetEmitStopped(std::uint8_t stopped) { emitStopped_ = stopped; }
    CParticleEmitter* GetEmitter() const { return emitter_; }
    CTexMgr* GetTexMgr() const { return texMgr_; }
    // The emitter's sounds and sound system; null (no sounds) until the emitter sets it.
    IParticleSoundOwner* GetSoundOwner() const { return soundOwner_; }
    void SetSoundOwner(IParticleSoundOwner* owner) { soundOwner_ = owner; }

    // ---- One frame ----
    // `dt`: seconds since the emitter's last update (a negative or non-finite one counts as 0);
    // (x, y, z): the emitter's position; `angle`: the emitter's angle in degrees; `scale`: the
    // argument of CHGMODE; the origin is subtracted from every quad. Timed work (emission
    // time, beam clock, ramps, beam events, particle events) runs on every third call with
    // the time of the three; motion follows the frame clock (g_FrameTime) on every call.
    // Then the animation, the texture and the sounds. Throws what spawning throws (the
    // "CParticle" pool).
    void Update(float dt, float x, float y, float z, std::int32_t angle, float scale, float originX, float originY);

    // ---- IAlphaBatchBeam (the rest is this build's own: see the end of the class) ----
    // The draw flag is set and the last update resolved a texture to draw from.
    bool IsDrawn() override;
    CD3DTexture* GetDrawTexture() override { return state_.drawTexture; }

    // ---- Script text ----
    // Appends the beam's `PARTICLEBEAM "name" { ... }` block at `indent`: its properties as
    // authored, its beam events by kind, then its particle events by kind in a PARTICLE block
    // (particle_script_writer.cpp).
    void WriteScript(std::string& text, const std::string& indent);

    // ---- Texture ----
    // Set by SetTexture, cleared when the texture is next resolved.
    bool IsTextureReloadPending() const { return textureReload_ != 0; }
    CD3DTexture* GetTextureObject() const { return texture_; }

    // ---- Track path ----
    // Point `index` (below kTrackPointCount); the first eight have defaults, the rest are 0.
    const vec3_t& GetTrackPoint(std::uint32_t index) const { return trackPoints_[index]; }

    // ---- Animation cells ----
    // Rebuilds the cells of the sheet (ANIMROW x ANIMCOW cells of ANIMSIZE / ANIMCOW by
    // ANIMSIZE / ANIMROW pixels, inset by one pixel, the first ANIMACTUALCOUNT of them, each
    // shown ANIMTIMES seconds). Nothing when built and not forced; no cells while ANIMROW or
    // ANIMCOW is 0.
    void BuildAnimCells(bool force);
    bool AreAnimCellsBuilt() const { return animCellsBuilt_ != 0; }
    const std::vector<anim_cell_t>& GetAnimCells() const { return animCells_; }

    // ---- Events ----
    // Take ownership of an event (even when they throw). Each list holds the first event of
    // each chain of events with the same effective time: an event whose effective time is
    // already in the list becomes the first of that chain, any other starts a new entry at the
    // end. A particle event's effective time is drawn from its time range here (stored as the
    // range's value); a beam event's must be set before. The lists are sorted and linked by
    // SortEvents and LinkEvents, which the reader calls when a beam's block ends.
    void AddParticleEvent(CParticleEvent* event);
    void AddBeamEvent(CParticleBeamEvent* event);
    const std::vector<CParticleEvent*>& GetParticleEvents() const { return particleEvents_; }
    const std::vector<CParticleBeamEvent*>& GetBeamEvents() const { return beamEvents_; }
    // Both lists in order of their chains' effective times (stable); the beam-event cursor
    // back to the first entry.
    void SortEvents();
    // Every event's ramp target: the first event of its internal kind in a later chain when
    // that one fades, else none (an event with no later one of its kind keeps its target).
    void LinkEvents();
    // Every live particle's event timeline starts again (its next chain is the first, due now).
    void RewindParticles();
    // The due chains of beam events, in order (see beam_event_kinds.h).
    void ApplyBeamEvents();

    // ---- Edits through the event sets ----
    // An event a set made (time and fade set) joins its list: particle events draw their
    // effective time, beam events too; then sort, link, and rewind (particle kinds) or the
    // beam-event cursor to the first entry (beam kinds).
    void TakeEvent(CEventBase* event);
    // Deletes the event; every other event of its list is added again (particle events with
    // new draws of their times), then sort, link and rewind as above.
    void RemoveEvent(CEventBase* event);
    // The event's time changed: it leaves its chain and is added again with a new draw, then
    // sort, link and rewind as above.
    void OnEventTimeChanged(CEventBase* event);
    // Relinks the event's list (and rewinds the particles for a particle event).
    void OnEventFadeChanged(CEventBase* event);
    // A particle event's value changed: relink and rewind.
    void OnParticleEventChanged();

    // ---- Play state ----
    beam_state_t& State() { return state_; }
    // Live particles (CParticle), oldest first.
    lru_list_t& LiveParticles() { return live_; }
    // Nodes of the 3D sound instances the beam started (beam_sound_node_t, made with new).
    lru_list_t& PlayingSounds() { return sounds_; }

private:
    // The render states the beam's quads or points are drawn with: its primitive type, blend
    // and texture operations, counter-clockwise culling and the texture of the last update.
    STRU_DRAW_PRIMITIVE DrawStates() const;
    void BindEventToSet(CEventBase* event);
    // Sets a property of the animation sheet and rebuilds the cells.
    template <class Field>
    void SetSheetProperty(Field& field, Field value);
    // Deletes every event of both lists (chains included) and empties them.
    void DeleteEvents();
    // After an edit of one list: sorted and linked again from scratch (no ramp target left
    // over from before the edit), and what plays it starts again (the live particles'
    // timelines, or the beam-event cursor).
    void ParticleEventsEdited();
    void BeamEventsEdited();

    // ---- Update steps ----
    void Rescale(float scale);
    void CaptureScaleReference(const CParticle& particle);
    // Moves every live particle (only the oldest of a single-particle beam), drops the dead
    // and, on a tick, advances the events of the others.
    void MoveParticles(bool tick, float frameTime, const vec3_t& emitter, std::uint32_t radiusLimit);
    // Emission time, the EMITRATE draws, the beam-position ramp, then the spawns due.
    void Emit(bool tick, float timed, float frameTime, const vec3_t& emitter, std::int32_t angle,
              std::uint32_t radiusLimit);
    CParticle* Spawn(const vec3_t& position, std::int32_t angle, float frameTime);
    // The particle's next track segment, from point TRACKINDEX (which the particles share).
    void StartTrackSegment(CParticle& particle);
    // The cell to draw now; null without cells or while the texture is not loaded.
    const anim_cell_t* StepAnimation();
    // Takes up a changed texture name, polls the texture's load and works out what the quads
    // sample (atlas page or the texture) and the corners' texture coordinates.
    void ResolveTexture(const anim_cell_t* cell);
    // ---- Particle events ----
    void ApplyParticleChain(CParticle& particle, CParticleEvent* head);
    void ApplySpawnEvents(CParticle& particle);
    void AdvanceParticleEvents(CParticle& particle);
    void SetNextEventTime(CParticle& particle) const;

    // Links and identity.
    CParticleEmitter* emitter_;
    std::uint8_t textureReload_ = 0;
    CD3DTexture* texture_ = nullptr;  // counted reference
    std::u16string name_;
    std::u16string textureName_;  // key form
    CTexMgr* texMgr_;
    IParticleSoundOwner* soundOwner_ = nullptr;
    std::int32_t drawSequence_ = 0;
    std::int32_t beamIndex_ = 0;
    std::int32_t coordinates_ = COORDS_2D;
    float timeScale_ = 1.0f;  // the emitter's EMITTERRATE
    std::uint8_t emitStopped_ = 0;

    // Script properties.
    ramp_t numParticles_{1.0f, 1.0f, 0.0f};
    std::int32_t sourceBlendMode_;
    std::int32_t destBlendMode_;
    std::int32_t colorOp_;
    std::int32_t alphaOp_;
    std::int32_t blendOp_;
    std::uint8_t animRow_ = 1;
    std::uint8_t animCow_ = 1;  // columns
    float animTimes_ = 0.0f;
    std::uint8_t animActualCount_ = 1;
    std::uint16_t animSize_ = 256;
    std::uint8_t startAnimIndex_ = 0;
    float refPoint_[2] = {0.5f, 0.5f};
    std::int32_t particleMode_ = PM_BILLBOARD;
    std::int32_t particleAngleType_ = PAT_SPECIFY;
    std::int32_t muzzleShape_ = MS_POINT;
    std::uint8_t attachedToEmitter_ = 1;
    std::uint8_t emitRand_ = 0;
    std::uint8_t singleParticle_ = 0;
    std::uint8_t isAnim_ = 0;
    std::uint8_t circleBeam_ = 0;
    std::uint8_t flipX_ = 0;
    std::uint8_t flipY_ = 0;
    std::uint8_t lockAspect_ = 1;
    value_range_t lifeTime_{1.0f, 1.0f, 0.0f};      // scaled copy
    value_range_t baseLifeTime_{1.0f, 1.0f, 0.0f};  // as last set
    value_range_t emitRate_{1.0f, 1.0f, 0.0f};
    value_range_t emitAngle_{};
    value_range_t emitSpeed_{};
    xyz_range_t emitRadius_{};      // scaled copy
    xyz_range_t baseEmitRadius_{};  // as last set
    xyz_range_t gravity_{};
    std::uint8_t beamFlag_ = 1;
    float delayTimer_ = 0.0f;
    std::uint8_t circlePlay_ = 1;
    std::uint8_t chgMode_ = CHG_MODE_NONE;
    std::uint8_t trackMode_ = 0;
    std::uint16_t trackCount_ = 8;
    std::uint16_t trackIndex_ = 0;
    float trackTime_ = 0.5f;
    std::uint8_t trackRand_ = 1;
    vec3_t trackPoints_[kTrackPointCount];
    std::uint32_t authoredNumParticles_ = 1;
    value_range_t authoredEmitSpeed_{};
    value_range_t authoredEmitAngle_{};

    // Runtime.
    beam_state_t state_;
    lru_list_t live_;
    std::vector<CParticleEvent*> particleEvents_;  // chain heads, by effective time
    std::vector<CParticleBeamEvent*> beamEvents_;
    std::vector<CParticleEventSet*> eventSets_;  // empty, or one per kind
    std::vector<anim_cell_t> animCells_;
    std::uint8_t animCellsBuilt_ = 0;
    lru_list_t sounds_;

    // ---- How this build's alpha-blended processor draws the beam ----
    // The two builds' processors take a beam's particles in different ways (IAlphaBatchBeam), so
    // this part of the class is each build's own.
#if LUMI_LEGACY
    // The legacy processor draws batches the beam prepared at its update, from where they lie.
    // This build's update (legacy/particle_beam_legacy.cpp) has no three-frame gate, delay,
    // scaling, animation or sounds: every step uses dt; particles move with g_FrameTime; then
    // the beam prepares its batches. `scale` is unused.
public:
    // The batch the last update prepared for the draw mode: the circle particles' for 2, the
    // others' for 0 and 1; null when there is none.
    const prepared_batch_t* GetPreparedBatch(std::int32_t drawMode) override;
    // The depth step of one submission, by which the beam's draw sequence places its quads.
    void SetDepthStep(float step) { depthStep_ = step; }

private:
    // A point sprite's vertex: position in clip space, size in pixels, colour (FVF 0x62).
    struct point_vertex_t {
        float x, y, z;
        float size;
        D3DCOLOR diffuse;
    };
    static_assert(sizeof(point_vertex_t) == kPointSpriteStride);

    // One batch the beam prepares at each update; the processor draws it from where it lies,
    // so it must stay as it is until the frame has been drawn.
    struct beam_batch_t {
        STRU_DRAW_PRIMITIVE states;
        batch_arrays_t quads{0, 0};          // billboards: four vertices and six indices each
        std::vector<point_vertex_t> points;  // point sprites
        prepared_batch_t view;               // what the processor is handed
    };

    void MoveLegacy(float frameTime, const vec3_t& emitter);
    void EmitLegacy(float dt, float frameTime, const vec3_t& emitter, std::int32_t angle);
    // The batches of this frame's live particles, after the texture's pixels are in video memory.
    void BuildDrawData();
    beam_batch_t& BatchFor(std::size_t index);

    float depthStep_ = kDepthStep16;
    std::unique_ptr<beam_batch_t> batches_[2];  // plain, circle; made on first use
#else
    // The current processor has the beam append its quads to the processor's own batch.
public:
    // The record has the beam's primitive type, colour, alpha and blend operations and
    // blends, culls counter-clockwise and has no pixel shader.
    bool IsSameRenderState(const STRU_DRAW_PRIMITIVE& record) override;
    // One quad per live particle, oldest first, at the depth of the beam's draw sequence; no
    // quad for a particle smaller than a pixel or placed at no finite point. A new node first
    // takes the beam's states and its texture's pending pixels.
    void AppendToBatch(PrimitiveData& node, bool newNode, const viewport_t& viewport, float depthStep) override;
#endif
};
