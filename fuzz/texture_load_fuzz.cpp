// Fuzzes the renderer's loading of texture files from memory: a file texture made by
// CreateTexture(path) and loaded through the bitmap resource (read, header, limits, decode,
// frames, the copy into the texture, DDS through D3DX), a texture that reads only its image
// size (SetFileName), and ITexture::LoadFromMemory. The first byte picks the renderer (two
// quality levels) and the file's extension; the rest is the file.
#include "fuzz/renderer_fuzz.h"

namespace {

using lumi::fuzz::Check;

constexpr const char16_t* kNames[] = {u"fuzz.png", u"fuzz.jpg", u"fuzz.bmp", u"fuzz.tga",
                                      u"fuzz.gif", u"fuzz.jna", u"fuzz.dds", u"fuzz.bin"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const std::uint8_t settings = data[0];
    lumi::fuzz::MemoryFile& input = lumi::fuzz::CurrentInput();
    input.data = data + 1;
    input.size = size - 1;
    CLumiscriber* renderer = lumi::fuzz::FuzzRenderer((settings & 8) ? 3 : 1);
    CTexMgr* textures = renderer->GetTexMgr();
    renderer->SetSyncLoading((settings & 16) != 0);

    // A file texture, as a host makes and draws it.
    auto* file = static_cast<CD3DTexture*>(renderer->CreateTexture(kNames[settings % 8]));
    Check(file != nullptr);
    file->Restore();  // starts the load: the steps run at once
    file->Restore();  // takes its result
    if (file->IsLoaded()) lumi::fuzz::Exercise(file);
    Check(file->GetRefCount() == 0);
    textures->DestroyTexture(file);

    // The size of a file read at once, and a texture loaded from memory.
    auto* sized = static_cast<CD3DTexture*>(renderer->CreateTexture());
    sized->SetFileName(kNames[(settings >> 5) % 8]);
    textures->DestroyTexture(sized);
    auto* memory = static_cast<CD3DTexture*>(renderer->CreateTexture());
    if (memory->LoadFromMemory(input.data, static_cast<std::uint32_t>(input.size))) lumi::fuzz::Exercise(memory);
    textures->DestroyTexture(memory);
    return 0;
}
