// CLumiscriber (legacy build): the operations of this build's interface that the current
// build has in another form or not at all: host textures without usage and the two slots that
// do nothing.
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
