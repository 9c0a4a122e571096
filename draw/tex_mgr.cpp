#include "draw/tex_mgr.h"

#include <cstring>

#include "core/event_log.h"
#include "core/format_helpers.h"
#include "core/lumiscriber.h"

namespace {

bool CanTexture(CLumiscriber* renderer, D3DFORMAT format) {
    IDirect3D9* direct3d = renderer ? renderer->GetDirect3D() : nullptr;
    if (direct3d == nullptr) return false;
    const STRU_DEVICE_SETTINGS& settings = renderer->GetDeviceSettings();
    return SUCCEEDED(direct3d->CheckDeviceFormat(settings.AdapterOrdinal, settings.DeviceType,
                                                 settings.AdapterFormat, 0, D3DRTYPE_TEXTURE, format));
}

}  // namespace

CTexMgr::CTexMgr(CLumiscriber* renderer) : renderer_(renderer) {
    if (CanTexture(renderer_, D3DFMT_A8)) {
        fontPageFormat_ = D3DFMT_A8;
    } else if (CanTexture(renderer_, D3DFMT_A4R4G4B4)) {
        fontPageFormat_ = D3DFMT_A4R4G4B4;
    } else {
        fontPageFormat_ = D3DFMT_A8R8G8B8;
    }
    WriteLog(u"Font Texture Format:%s", FormatName(fontPageFormat_));
}

CTexMgr::~CTexMgr() = default;

void CTexMgr::OnFrameBegin() {
    ++stats_.FrameCount;
    std::memset(stats_.IntSums, 0, sizeof(stats_.IntSums));
    std::memset(stats_.FloatSums, 0, sizeof(stats_.FloatSums));
    std::memset(stats_.FrameCounters, 0, sizeof(stats_.FrameCounters));
}

void CTexMgr::Update() {
    // Without a texture pool there is nothing held in either memory.
    stats_.VideoBytes = 0;
    stats_.SystemBytes = 0;
}

bool CTexMgr::EvictIdleTextures() { return idleCount_ > 0; }

void CTexMgr::OnLostDevice() {}
void CTexMgr::RestoreVideoTextures() {}
void CTexMgr::UnloadAll() {}
void CTexMgr::AllocateAtlasPages() {}
void CTexMgr::DumpAtlasPages() {}

// Nothing is handed to the resource loader before file textures exist.
void CTexMgr::WaitForResourceLoader() {}
