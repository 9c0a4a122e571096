#include "core/file_callbacks.h"

#include <cstdio>

#include "platform/win32/files.h"

std::int32_t DefaultFileOpen(const WCHAR* path, std::int32_t* size, LumiFileHandle* file) {
    FILE* stream = _wfopen(path, u"rb");
    if (stream == nullptr) {
        if (size != nullptr) *size = 0;
        return -1;
    }
    if (size != nullptr) *size = _filelength(_fileno(stream));
    if (file != nullptr) {
        *file = stream;
    } else {
        std::fclose(stream);  // nobody could ever close it
    }
    return 0;
}

std::int32_t DefaultFileClose(LumiFileHandle file) {
    if (file != nullptr) std::fclose(static_cast<FILE*>(file));
    return 0;
}

std::int32_t DefaultFileRead(LumiFileHandle file, void* buffer, std::int32_t length, std::int32_t* count) {
    if (file == nullptr) return -1;
    std::size_t read = 0;
    if (length > 0 && buffer != nullptr) read = std::fread(buffer, 1, static_cast<std::size_t>(length), static_cast<FILE*>(file));
    if (count != nullptr) *count = static_cast<std::int32_t>(read);
    return 0;
}

std::int32_t DefaultFileSeek(LumiFileHandle file, std::int32_t offset, std::int32_t origin) {
    if (file == nullptr) return -1;
    int whence = SEEK_SET;
    if (origin == 1) whence = SEEK_CUR;
    if (origin == 2) whence = SEEK_END;
    return std::fseek(static_cast<FILE*>(file), offset, whence);
}

STRU_FILE_CALLBACKS DefaultFileCallbacks() {
    return STRU_FILE_CALLBACKS{DefaultFileOpen, DefaultFileClose, DefaultFileRead, DefaultFileSeek};
}
