#include "core/directx_version.h"

#include <memory>
#include <new>
#include <string>

#include "platform/dxdiag/dxdiag.h"
#include "platform/win32/com.h"
#include "platform/win32/modules.h"

namespace {

struct DirectXVersion {
    DWORD major;
    DWORD minor;
    char16_t letter;
};

// A file row matches when the file's version is at least `atLeast`, or, for files whose
// numbering restarted with major 5, at least `atLeast5` when the file's major is 5.
struct FileRule {
    const char16_t* file;
    std::uint64_t atLeast;
    std::uint64_t atLeast5;  // 0: one threshold for every major
    DirectXVersion result;
};

// In this order; each hit overwrites the result, so the last hit wins.
const FileRule kFileRules[] = {
    {u"\\ddraw.dll", MakeFileVersion(4, 2, 0, 95), 0, {1, 0, u' '}},
    {u"\\ddraw.dll", MakeFileVersion(4, 3, 0, 1096), 0, {2, 0, u' '}},
    {u"\\ddraw.dll", MakeFileVersion(4, 4, 0, 68), 0, {3, 0, u' '}},
    {u"\\d3drg8x.dll", MakeFileVersion(4, 4, 0, 70), 0, {3, 0, u'a'}},
    {u"\\ddraw.dll", MakeFileVersion(4, 5, 0, 155), 0, {5, 0, u' '}},
    {u"\\ddraw.dll", MakeFileVersion(4, 6, 0, 318), 0, {6, 0, u' '}},
    {u"\\ddraw.dll", MakeFileVersion(4, 6, 0, 436), 0, {6, 1, u' '}},
    {u"\\dplayx.dll", MakeFileVersion(4, 6, 3, 518), 0, {6, 1, u'a'}},
    {u"\\ddraw.dll", MakeFileVersion(4, 7, 0, 700), 0, {7, 0, u' '}},
    {u"\\dinput.dll", MakeFileVersion(4, 7, 0, 716), 0, {7, 0, u'a'}},
    {u"\\ddraw.dll", MakeFileVersion(4, 8, 0, 400), MakeFileVersion(5, 1, 2258, 400), {8, 0, u' '}},
    {u"\\d3d8.dll", MakeFileVersion(4, 8, 1, 881), MakeFileVersion(5, 1, 2600, 881), {8, 1, u' '}},
    {u"\\d3d8.dll", MakeFileVersion(4, 8, 1, 901), MakeFileVersion(5, 1, 2600, 901), {8, 1, u'a'}},
    {u"\\mpg2splt.ax", MakeFileVersion(6, 3, 1, 885), 0, {8, 1, u'b'}},
    {u"\\dpnet.dll", MakeFileVersion(4, 9, 0, 134), MakeFileVersion(5, 2, 3677, 134), {8, 2, u' '}},
};

bool RuleMatches(const FileRule& rule, std::uint64_t version) {
    if (rule.atLeast5 == 0) return CompareFileVersions(version, rule.atLeast) >= 0;
    switch (version >> 48) {
    case 4: return CompareFileVersions(version, rule.atLeast) >= 0;
    case 5: return CompareFileVersions(version, rule.atLeast5) >= 0;
    default: return false;
    }
}

struct ReleaseComObject {
    void operator()(IUnknown* object) const { object->Release(); }
};

HRESULT ReadVersionFromProvider(IDxDiagProvider* provider, DirectXVersion* out) {
    DXDIAG_INIT_PARAMS params{};
    params.dwSize = sizeof(DXDIAG_INIT_PARAMS);
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    params.bAllowWHQLChecks = 0;
    HRESULT hr = provider->Initialize(&params);
    if (FAILED(hr)) return hr;
    IDxDiagContainer* rootRaw = nullptr;
    hr = provider->GetRootContainer(&rootRaw);
    if (FAILED(hr) || rootRaw == nullptr) return FAILED(hr) ? hr : E_FAIL;
    std::unique_ptr<IDxDiagContainer, ReleaseComObject> root(rootRaw);
    IDxDiagContainer* infoRaw = nullptr;
    hr = root->GetChildContainer(u"DxDiag_SystemInfo", &infoRaw);
    if (FAILED(hr) || infoRaw == nullptr) return FAILED(hr) ? hr : E_FAIL;
    std::unique_ptr<IDxDiagContainer, ReleaseComObject> info(infoRaw);

    bool gotMajor = false, gotMinor = false, gotLetter = false;
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(info->GetProp(u"dwDirectXVersionMajor", &value)) && value.vt == VT_UI4) {
        out->major = value.ulVal;
        gotMajor = true;
    }
    VariantClear(&value);
    if (SUCCEEDED(info->GetProp(u"dwDirectXVersionMinor", &value)) && value.vt == VT_UI4) {
        out->minor = value.ulVal;
        gotMinor = true;
    }
    VariantClear(&value);
    if (SUCCEEDED(info->GetProp(u"szDirectXVersionLetter", &value)) && value.vt == VT_BSTR &&
        SysStringLen(value.bstrVal) > 0) {
        out->letter = value.bstrVal[0];
        gotLetter = true;
    }
    VariantClear(&value);
    // Read as the provider's long form too; the three values above are what counts.
    info->GetProp(u"szDirectXVersionLongEnglish", &value);
    VariantClear(&value);
    return gotMajor && gotMinor && gotLetter ? S_OK : E_FAIL;
}

}  // namespace

HRESULT DetectDirectXVersion(DWORD* major, DWORD* minor, char16_t* letter) {
    if (major == nullptr || minor == nullptr || letter == nullptr) return E_INVALIDARG;
    *major = 0;
    *minor = 0;
    *letter = u' ';
    HRESULT hr = DetectDirectXVersionByDxDiag(major, minor, letter);
    if (FAILED(hr)) hr = DetectDirectXVersionByFiles(major, minor, letter);
    if (FAILED(hr)) return E_FAIL;
    if (*letter >= u'A' && *letter <= u'Z') *letter = static_cast<char16_t>(*letter - u'A' + u'a');
    return S_OK;
}

HRESULT DetectDirectXVersionByDxDiag(DWORD* major, DWORD* minor, char16_t* letter) {
    if (major == nullptr || minor == nullptr || letter == nullptr) return E_INVALIDARG;
    const bool comInitialized = SUCCEEDED(CoInitialize(nullptr));
    IDxDiagProvider* provider = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                  reinterpret_cast<void**>(&provider));
    DirectXVersion version{0, 0, u' '};
    if (SUCCEEDED(hr) && provider != nullptr) {
        hr = ReadVersionFromProvider(provider, &version);
        provider->Release();
    } else if (SUCCEEDED(hr)) {
        hr = E_POINTER;
    }
    if (comInitialized) CoUninitialize();
    if (FAILED(hr)) return hr;
    *major = version.major;
    *minor = version.minor;
    *letter = version.letter;
    return S_OK;
}

HRESULT DetectDirectXVersionByFiles(DWORD* major, DWORD* minor, char16_t* letter) {
    if (major == nullptr || minor == nullptr || letter == nullptr) return E_INVALIDARG;
    char16_t directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    const std::u16string systemDirectory(directory, length);

    DirectXVersion result{0, 0, u' '};
    std::uint64_t version = 0;
    for (const FileRule& rule : kFileRules) {
        if (SUCCEEDED(GetFileVersion((systemDirectory + rule.file).c_str(), &version)) && RuleMatches(rule, version))
            result = rule.result;
    }
    if (SUCCEEDED(GetFileVersion((systemDirectory + u"\\d3d9.dll").c_str(), &version))) result = {9, 0, u' '};
    *major = result.major;
    *minor = result.minor;
    *letter = result.letter;
    return S_OK;
}

HRESULT GetFileVersion(const char16_t* path, std::uint64_t* version) {
    if (path == nullptr || version == nullptr) return E_INVALIDARG;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return E_FAIL;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
    if (!block) return E_OUTOFMEMORY;
    if (!GetFileVersionInfoW(path, handle, size, block.get())) return E_FAIL;
    void* value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueW(block.get(), u"\\", &value, &valueLength) || value == nullptr ||
        valueLength < sizeof(VS_FIXEDFILEINFO))
        return E_FAIL;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    *version = (std::uint64_t{fixed->dwFileVersionMS} << 32) | fixed->dwFileVersionLS;
    return S_OK;
}

int CompareFileVersions(std::uint64_t a, std::uint64_t b) {
    if (a < b) return -1;
    return a > b ? 1 : 0;
}
