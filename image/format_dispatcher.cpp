#include "image/format_dispatcher.h"

#include <cstring>
#include <string>

#include "image/codec_failure.h"
#include "image/raster_io_file.h"

namespace lumi::image {

namespace {
constexpr const char* kUnknownFormat = "Decode: Unknown or wrong format";
constexpr const char* kUnknownEncodeFormat = "Encode: Unknown format";
constexpr const char* kNotReceived = "the image cannot receive a decoded picture";
}

const CodecEntry* FormatDispatcher::Find(DWORD type) const {
    if (type == kRasterTypeNone) return nullptr;
    for (const CodecEntry& e : codecs_)
        if (e.type == type) return &e;
    return nullptr;
}

bool FormatDispatcher::DecodeWith(const CodecEntry& codec, CRaster& image, CRasterFile* file,
                                  std::string& failure) const {
    try {
        std::unique_ptr<CRaster> object = codec.make();
        if (!object) {
            failure = kNoMemory;
            return false;
        }
        object->CopySettings(image);
        if (codec.decode(*object, file)) {
            if (image.MoveFrom(*object, true)) return true;
            failure = kNotReceived;
            return false;
        }
        failure = object->GetLastError();
    } catch (...) {
        // Codecs catch their own failures; anything else (memory) is a failed attempt too.
        failure = kNoMemory;
    }
    if (failure.empty()) failure = kUnknownFormat;
    return false;
}

bool FormatDispatcher::Decode(CRaster& image, CRasterFile* file, DWORD type) const {
    if (image.CannotDecode(file)) return false;
    if (type != kRasterTypeNone) {
        const CodecEntry* codec = Find(type);
        if (!codec || !codec->CanDecode()) {
            image.SetLastError(kUnknownFormat);
            return false;
        }
        std::string failure;
        if (DecodeWith(*codec, image, file, failure)) return true;
        image.SetLastError(failure.c_str());
        return false;
    }
    const long start = file->Tell();
    BYTE head[kSignatureBytes];
    const std::size_t headBytes = file->Read(head, 1, sizeof(head));
    file->Seek(start, 0);
    // The reason given is that of the codec the data looked like (the last one, should
    // several signatures match): a damaged PNG says what is wrong with it.
    std::string reason = kUnknownFormat;
    for (DWORD candidate : kDetectionOrder) {
        const CodecEntry* codec = Find(candidate);
        if (!codec || !codec->CanDecode()) continue;
        std::string failure;
        if (DecodeWith(*codec, image, file, failure)) return true;
        if (codec->recognise && codec->recognise(head, headBytes)) reason = failure;
        file->Seek(start, 0);
    }
    image.SetLastError(reason.c_str());
    return false;
}

bool FormatDispatcher::Load(CRaster& image, const WCHAR* name, DWORD type) const {
    if (CRaster::SlotOfTypeId(type) != 0) {
        CRasterIOFile file;
        if (!file.Open(name, u"rb")) return false;
        if (Decode(image, &file, type)) return true;
    }
    char typedMessage[sizeof(image.info.last_error)];
    std::memcpy(typedMessage, image.info.last_error, sizeof(typedMessage));
    CRasterIOFile file;
    if (!file.Open(name, u"rb")) return false;
    const bool ok = Decode(image, &file, kRasterTypeNone);
    // The typed attempt's reason says more than "unknown format".
    if (!ok && type != kRasterTypeNone) image.SetLastError(typedMessage);
    return ok;
}

bool FormatDispatcher::ProbeFormat(CRaster& image, CRasterFile* file, DWORD type) const {
    const LONG escape = image.info.escape;
    const DWORD oldType = image.info.type;
    image.info.type = kRasterTypeNone;
    image.info.escape = -1;
    const bool decoded = Decode(image, file, kRasterTypeNone);
    // The escape word goes back, so a later decode on this image reads pixels again.
    image.info.escape = escape;
    if (!decoded) image.info.type = oldType;
    return decoded && image.info.type != kRasterTypeNone && image.info.type == type;
}

template <class Write>
bool FormatDispatcher::EncodeWith(const CodecEntry& codec, CRaster& image, Write write) const {
    try {
        std::unique_ptr<CRaster> object = codec.make();
        if (!object) return false;
        object->ShareFrom(image);
        if (write(*object)) return true;
        image.SetLastError(object->GetLastError());
    } catch (...) {
        image.SetLastError(kUnknownEncodeFormat);
    }
    return false;
}

bool FormatDispatcher::Encode(CRaster& image, CRasterFile* file, DWORD type) const {
    const CodecEntry* codec = Find(type);
    if (!codec || !codec->CanEncode()) {
        image.SetLastError(kUnknownEncodeFormat);
        return false;
    }
    return EncodeWith(*codec, image, [&](CRaster& object) { return codec->encode(object, file); });
}

bool FormatDispatcher::EncodeAnimation(CRaster& image, CRasterFile* file, CRaster** images, int count,
                                       DWORD type) const {
    if (type != kRasterTypeGif) {
        image.SetLastError("Multipage Encode, Unsupported operation for this format");
        return false;
    }
    const CodecEntry* codec = Find(type);
    if (!codec || !codec->make || !codec->encode_animation) {
        image.SetLastError(kUnknownEncodeFormat);
        return false;
    }
    return EncodeWith(*codec, image,
                      [&](CRaster& object) { return codec->encode_animation(object, file, images, count); });
}

bool FormatDispatcher::Save(CRaster& image, const WCHAR* name, DWORD type) const {
    CRasterIOFile file;
    if (!file.Open(name, u"wb")) return false;
    const bool ok = Encode(image, &file, type);
    // A close that fails may have lost buffered bytes: the file is not written.
    const bool closed = file.Close();
    return ok && closed;
}

}  // namespace lumi::image
