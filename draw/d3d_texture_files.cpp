// CD3DTexture: names, image types, image information, loading from memory and saving.
#include <cstring>
#include <string>

#include "core/build_variant.h"
#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "draw/bitmap_load.h"
#include "draw/d3d_texture.h"
#include "draw/level_readback.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"

namespace {

bool EqualsNoCase(const WCHAR* text, const char* ascii) {
    for (; *ascii != 0; ++text, ++ascii) {
        WCHAR c = *text;
        if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - u'a' + u'A');
        char a = *ascii;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (c != static_cast<WCHAR>(a)) return false;
    }
    return *text == 0;
}

// Which of the renderer's formats a file's texture takes.
enum class FormatChoice { kNormal, kAlpha, kUI, kNone };

// What an extension makes of a file texture: its file-format code and its format.
struct image_type_t {
    const char* extension;
    std::int32_t code;
    FormatChoice format;
};

// The extensions each build knows, chosen once for the build.
#if LUMI_LEGACY
// Five extensions. Any other name (another extension, none, or a name ending in '.') gives
// code 0 and the normal format: the file still loads, its decoder chosen from its content.
struct ImageTypes {
    static constexpr image_type_t kKnown[] = {
        {"JPG", D3DXIFF_JPG, FormatChoice::kNormal}, {"TGA", D3DXIFF_TGA, FormatChoice::kAlpha},
        {"PNG", D3DXIFF_PNG, FormatChoice::kAlpha},  {"DDS", D3DXIFF_DDS, FormatChoice::kAlpha},
        {"GIF", kImageFileFormatGif, FormatChoice::kUI},
    };
    static constexpr image_type_t kOther{nullptr, D3DXIFF_BMP, FormatChoice::kNormal};
    static constexpr bool kUntypedNamesKeepTheirType = false;
};
#else
// BMP and JPEG files hold no alpha and take the normal format; every other image type the
// library decodes takes the alpha format, GIF the UI format. A name without a type is left
// as it was; a type the library does not know gets no format, so that its load fails and
// the texture stays unloaded.
struct ImageTypes {
    static constexpr image_type_t kKnown[] = {
        {"JPG", D3DXIFF_JPG, FormatChoice::kNormal}, {"JPEG", D3DXIFF_JPG, FormatChoice::kNormal},
        {"BMP", D3DXIFF_BMP, FormatChoice::kNormal}, {"DDS", D3DXIFF_DDS, FormatChoice::kAlpha},
        {"PNG", D3DXIFF_PNG, FormatChoice::kAlpha},  {"TGA", D3DXIFF_TGA, FormatChoice::kAlpha},
        {"JNA", D3DXIFF_BMP, FormatChoice::kAlpha},  {"GIF", kImageFileFormatGif, FormatChoice::kUI},
    };
    static constexpr image_type_t kOther{nullptr, D3DXIFF_BMP, FormatChoice::kNone};
    static constexpr bool kUntypedNamesKeepTheirType = true;
};
#endif

}  // namespace

D3DXIMAGE_INFO* CD3DTexture::GetImageInfo() {
    if (imageInfo_ == nullptr) imageInfo_ = std::make_unique<D3DXIMAGE_INFO>();
    return imageInfo_.get();
}

std::uint32_t CD3DTexture::GetImageWidth() { return imageInfo_ ? imageInfo_->Width : 0; }
std::uint32_t CD3DTexture::GetImageHeight() { return imageInfo_ ? imageInfo_->Height : 0; }

void CD3DTexture::SetAllocatedSize(std::uint16_t width, std::uint16_t height) {
    width_ = width;
    height_ = height;
    aspect_ = width != 0 ? static_cast<float>(height) / width : 1.0f;
}

void CD3DTexture::SetImageTypeFromName() {
    const WCHAR* extension = FileExtension(name_);
    const bool typed = extension != nullptr && *extension != 0;
    if (!typed && ImageTypes::kUntypedNamesKeepTheirType) return;
    const image_type_t* type = &ImageTypes::kOther;
    for (const image_type_t& known : ImageTypes::kKnown) {
        if (typed && EqualsNoCase(extension, known.extension)) {
            type = &known;
            break;
        }
    }
    GetImageInfo()->ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(type->code);
    // An empty texture keeps the format it was made with.
    if (!file_) return;
    switch (type->format) {
        case FormatChoice::kNormal: format_ = owner_->GetNormalFormat(); break;
        case FormatChoice::kAlpha: format_ = owner_->GetAlphaFormat(); break;
        case FormatChoice::kUI: format_ = owner_->GetUIFormat(); break;
        case FormatChoice::kNone: format_ = D3DFMT_UNKNOWN; break;
    }
}

void CD3DTexture::SetFileName(const WCHAR* path) {
    if (path == nullptr || *path == 0) return;
    ReleaseMemory();
    const std::u16string oldName(name_);
    SetName(path);
    NormalizePath(name_);
    managed_ = 1;
    file_ = 1;
    SetImageTypeFromName();
    owner_->OnTextureRenamed(this, oldName.c_str());
    owner_->ReadImageInfo(this);
}

bool CD3DTexture::EnsureLoaded() {
    if (loaded_) return true;
    return owner_->ReadImageInfo(this);
}

bool CD3DTexture::LoadFromMemory(const void* data, std::uint32_t size) {
    D3DXIMAGE_INFO info{};
    if (FAILED(D3DXGetImageInfoFromFileInMemory(data, size, &info))) return false;
    if (info.Width == 0 || info.Height == 0 || info.Width > 0xFFFF || info.Height > 0xFFFF) return false;
    CTexturePool* pool = owner_->GetTexturePool();
    if (pool == nullptr) return false;
    // The image is decoded into memory of its own, bound only once it holds the image: a
    // failure leaves the texture as it was (pixels, size, format, loaded or not).
    const D3DFORMAT oldFormat = format_;
    const std::uint16_t oldWidth = width_;
    const std::uint16_t oldHeight = height_;
    const std::uint32_t oldCopyFlags = copyFlags_;
    auto restore = [&] {
        format_ = oldFormat;
        SetAllocatedSize(oldWidth, oldHeight);
        copyFlags_ = oldCopyFlags;
    };
    format_ = (info.ImageFileFormat == D3DXIFF_BMP || info.ImageFileFormat == D3DXIFF_JPG) ? owner_->GetNormalFormat()
                                                                                           : owner_->GetAlphaFormat();
    // Checked before the memory is made and D3DX decodes the file.
    char reason[192];
    if (!AdmitImage(GetImageLimits(), info.Width, info.Height,
                    LoadCostBytes(0, info.Width, info.Height, kDecodeBytesPerPixel, GetBytesPerPixel(), 1), reason,
                    sizeof(reason))) {
        restore();
        WriteLog(u"CD3DTexture::LoadFromMemory() refused. %hs", reason);
        return false;
    }
    SetAllocatedSize(static_cast<std::uint16_t>(info.Width), static_cast<std::uint16_t>(info.Height));
    copyFlags_ |= kSystemCopy;
    mem_obj_t* memory = nullptr;
    try {
        memory = pool->CreateMemObj(this, IsPadded(info.Width, info.Height));
    } catch (const lumi::Exception&) {
        restore();
        return false;  // logged by the pool
    }
    IDirect3DSurface9* surface = nullptr;
    if (memory->systemCopy == nullptr || FAILED(memory->systemCopy->GetSurfaceLevel(0, &surface)) ||
        surface == nullptr) {
        pool->DestroyMemObj(memory);
        restore();
        throw lumi::Exception("d3d error");
    }
    const HRESULT hr =
        D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, data, size, nullptr, D3DX_FILTER_NONE, 0, nullptr);
    surface->Release();
    if (FAILED(hr)) {
        pool->DestroyMemObj(memory);
        restore();
        return false;
    }
    BindMemory(memory);
    *GetImageInfo() = info;
    MarkPixelsChanged();
    return true;
}

bool CD3DTexture::SaveToFile(const WCHAR* path, const RECT* rect) {
    if (memory_ == nullptr || path == nullptr) return false;
    const WCHAR* extension = FileExtension(path);
    D3DXIMAGE_FILEFORMAT type = D3DXIFF_BMP;
    if (extension != nullptr) {
        struct Type {
            const char* extension;
            D3DXIMAGE_FILEFORMAT type;
        };
        static constexpr Type kTypes[] = {{"jpg", D3DXIFF_JPG}, {"tga", D3DXIFF_TGA}, {"png", D3DXIFF_PNG},
                                          {"dds", D3DXIFF_DDS}, {"ppm", D3DXIFF_PPM}, {"hdr", D3DXIFF_HDR}};
        bool known = false;
        for (const Type& candidate : kTypes) {
            if (EqualsNoCase(extension, candidate.extension)) {
                type = candidate.type;
                known = true;
                break;
            }
        }
        if (!known) return false;
    }
    // A video-only texture is read back through system memory, as the renderer's SaveTexture does.
    CLevelReadback level;
    if (!level.Read(owner_->GetDevice(), memory_->systemCopy ? memory_->systemCopy : memory_->videoCopy)) return false;
    return SUCCEEDED(D3DXSaveSurfaceToFileW(path, type, level.Surface(), nullptr, rect));
}
