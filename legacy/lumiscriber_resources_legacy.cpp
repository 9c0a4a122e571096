// CLumiscriber (legacy build): the operations of this build's interface that the current
// build has in another form or not at all: host textures without usage, the two slots that do
// nothing, and the particle operations, which wait for the legacy particle system.
#include "core/event_log.h"
#include "core/lumiscriber.h"

ITexture* CLumiscriber::CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format) {
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_A4R4G4B4) {
        WriteLog(u"CLumiscriber::CreateTexture() - unknown texture format.");
        return nullptr;
    }
    return CreateSizedTexture(width, height, format, 0);
}

void CLumiscriber::ReservedA(std::int32_t, std::int32_t) {}

void CLumiscriber::ReservedB(std::int32_t) {}

bool CLumiscriber::HasCircleBeam(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
void CLumiscriber::DrawEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                               std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::DrawEmitterAlt(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                  std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::DrawCircleEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                     std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::SetParticleEmitter(STRU_DRAW_COMMAND_BASE*, const WCHAR*, std::int32_t) { ThrowUnsupported(); }
float CLumiscriber::GetEmitterLife(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
bool CLumiscriber::IsEmitterAlive(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
void CLumiscriber::RestartEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t) { ThrowUnsupported(); }
CParticleEmitter* CLumiscriber::GetParticleEmitter(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
