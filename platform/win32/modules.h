#pragma once
// Dynamic libraries and their version resources. The library loads a few system and
// neighbour DLLs by name (ovelder.dll, ddraw.dll) and reads file versions of DirectX files.
// Here those DLLs are in-process modules that tests and other stand-ins register: a file
// name and a table of exported functions. Names match without case and on the last path
// component, so u"C:\\Windows\\system32\\ddraw.dll" finds a module registered as
// u"ddraw.dll". A name nobody registered goes to dlopen/dlsym (path as UTF-8).
// All functions are thread-safe.
#include <cstdint>
#include <map>
#include <string>

#include "platform/win32/win32_types.h"

// Null when the module is missing (or marked missing) or the name is null. Each successful
// load of a registered module counts one reference.
HMODULE LoadLibraryW(const char16_t* fileName);
// Null for an unknown handle or name, a null name, or a module not loaded any more.
FARPROC GetProcAddress(HMODULE module, const char* procName);
// Drops one reference. FALSE for a null or unknown handle, or one no longer loaded.
BOOL FreeLibrary(HMODULE module);

// Writes u"C:\\Windows\\system32" (19 units) and its terminator. Returns the length without
// terminator when it fits, else the size needed including the terminator (nothing written).
UINT GetSystemDirectoryW(char16_t* buffer, UINT size);

// The fixed part of a version resource, with the platform's field order.
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;  // major << 16 | minor
    DWORD dwFileVersionLS;  // build << 16 | revision
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// Version resources of scripted files (matched like module names). A file without a
// scripted version has none: size 0, GetFileVersionInfoW FALSE.
// `handle` is set to 0 when given. The block GetFileVersionInfoW copies is opaque; read it
// with VerQueryValueW(block, u"\\", ...), which points into the block at its
// VS_FIXEDFILEINFO. Any other sub-block, a null argument, or a file scripted without fixed
// information gives FALSE; `block` must be one that GetFileVersionInfoW filled.
DWORD GetFileVersionInfoSizeW(const char16_t* fileName, DWORD* handle);
BOOL GetFileVersionInfoW(const char16_t* fileName, DWORD handle, DWORD size, void* data);
BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** value, UINT* length);

namespace win32 {

// Registers (or replaces) an in-process module under its file name, with its exports
// (name -> function). Replacing keeps the load count.
void RegisterModule(const std::u16string& fileName, std::map<std::string, FARPROC> exports);
void UnregisterModule(const std::u16string& fileName);
// A registered module that LoadLibraryW does not find (true) or finds again (false).
void SetModuleMissing(const std::u16string& fileName, bool missing);
// References held on a registered module (LoadLibraryW minus FreeLibrary); 0 when unknown.
int ModuleLoadCount(const std::u16string& fileName);
// LoadLibraryW calls that found a registered module, in total since the last reset.
int ModuleLoadCalls(const std::u16string& fileName);
// Forgets every registered module (handles already given out become unknown).
void ClearModules();

// Scripts the version of a file: ms = major << 16 | minor, ls = build << 16 | revision.
void SetFileVersion(const std::u16string& fileName, DWORD ms, DWORD ls);
// A file that has a version resource without fixed information ("\\" cannot be read).
void SetFileVersionWithoutFixedInfo(const std::u16string& fileName);
void ClearFileVersions();

// The last path component of a file name, ASCII-lower-cased: the key both registries use.
std::u16string ModuleKey(const std::u16string& fileName);

}  // namespace win32
