#pragma once
// The demo's particle effects: emitters of the tests' corpus of particle scripts, drawn over
// the scene in the main window.
#include <vector>

#include "core/renderer_interface.h"

namespace demo {

// Writes the particles' texture (a soft white dot) into particles/ under the working folder,
// where the scripts name it. False when it could not be written.
bool WriteParticleTexture();

class Effects {
public:
    // Gives a particle command of its own to each effect; the scripts load in the background
    // (at once with the legacy library).
    explicit Effects(IRenderer* renderer);
    ~Effects();
    Effects(const Effects&) = delete;
    Effects& operator=(const Effects&) = delete;

    // Submits the frame's emitters into the current render target of `width` x `height`: a
    // fire with its smoke, rain, a circle beam moving across, and sparks restarted whenever
    // their two-second life has run out (legacy emitters live on); dark panels under the
    // fire, the sparks and the circle's way. Returns the number of draw operations submitted.
    int Draw(int frame, int width, int height);

    // How many emitters have loaded their script, and how often the sparks were restarted.
    int LoadedCount() const;
    int Restarts() const { return restarts_; }

private:
    IRenderer* renderer_;
    STRU_DRAW_COMMAND_BASE* fire_ = nullptr;
    STRU_DRAW_COMMAND_BASE* smoke_ = nullptr;
    STRU_DRAW_COMMAND_BASE* rain_ = nullptr;
    STRU_DRAW_COMMAND_BASE* circle_ = nullptr;
    STRU_DRAW_COMMAND_BASE* sparks_ = nullptr;
    int restarts_ = 0;
};

}  // namespace demo
