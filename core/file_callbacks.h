#pragma once
// The C-runtime file callbacks every renderer starts with (both sets), until the host
// replaces them with SetFileSystem. Safe to call from any thread; a handle is a FILE*.
#include "core/renderer_interface.h"

// _wfopen(path, "rb"): 0 with the size and handle stored, -1 (size 0) when it cannot be
// opened. A caller that passes no handle pointer gets the size and the file closed again.
std::int32_t DefaultFileOpen(const WCHAR* path, std::int32_t* size, LumiFileHandle* file);
// fclose when the handle is not null; always 0.
std::int32_t DefaultFileClose(LumiFileHandle file);
// fread; a short read is not an error. -1 for a null handle.
std::int32_t DefaultFileRead(LumiFileHandle file, void* buffer, std::int32_t length, std::int32_t* count);
// fseek with origin 0 (start), 1 (current) or 2 (end); any other origin counts from the
// start. -1 for a null handle, else fseek's result.
std::int32_t DefaultFileSeek(LumiFileHandle file, std::int32_t offset, std::int32_t origin);

STRU_FILE_CALLBACKS DefaultFileCallbacks();
