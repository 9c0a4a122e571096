#pragma once
// Which DirectX version is installed, as a major number, a minor number and a letter (8, 1,
// 'b' for 8.1b; ' ' when the version has no letter). The DirectX diagnostic provider is
// asked first; without it the versions of DirectX system files decide. Nothing in the
// renderer calls this: the system information report prints the provider's own fields.
#include <cstdint>

#include "platform/win32/win32_types.h"

// S_OK with the version (letter in lower case), or E_FAIL when neither way works (the
// outputs are then 0, 0, ' '). E_INVALIDARG for a null output.
HRESULT DetectDirectXVersion(DWORD* major, DWORD* minor, char16_t* letter);

// Succeeds only when the provider gave all three values; the outputs are written only then.
HRESULT DetectDirectXVersionByDxDiag(DWORD* major, DWORD* minor, char16_t* letter);

// Succeeds whenever the system directory is known; 0, 0, ' ' when no file tells a version.
HRESULT DetectDirectXVersionByFiles(DWORD* major, DWORD* minor, char16_t* letter);

// The fixed file version of `path` as major, minor, build and revision, 16 bits each from the
// top. E_INVALIDARG for a null argument, E_FAIL when the file has no version information,
// E_OUTOFMEMORY when the version block cannot be held.
HRESULT GetFileVersion(const char16_t* path, std::uint64_t* version);

// The four parts as one version value.
constexpr std::uint64_t MakeFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                        std::uint16_t revision) {
    return (std::uint64_t{major} << 48) | (std::uint64_t{minor} << 32) | (std::uint64_t{build} << 16) | revision;
}

// -1, 0 or 1 for `a` older than, equal to or newer than `b`.
int CompareFileVersions(std::uint64_t a, std::uint64_t b);
