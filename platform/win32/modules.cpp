#include "platform/win32/modules.h"

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/win32/text.h"

namespace {

struct Module {
    std::map<std::string, FARPROC> exports;
    bool missing = false;
    int references = 0;
    int loadCalls = 0;
};

struct ModuleState {
    std::mutex mutex;
    // The handle of a registered module is the address of its record, so records live on
    // the heap and are never moved.
    std::map<std::u16string, std::unique_ptr<Module>> modules;
    std::map<void*, int> dlopenReferences;  // handles dlopen gave, so foreign ones are refused
    std::map<std::u16string, std::optional<VS_FIXEDFILEINFO>> versions;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

Module* FindByHandle(ModuleState& state, HMODULE handle) {
    for (auto& [key, module] : state.modules)
        if (reinterpret_cast<HMODULE>(module.get()) == handle) return module.get();
    return nullptr;
}

// The version block: a tag, whether the fixed part exists, and the fixed part.
struct VersionBlock {
    char tag[8];
    DWORD hasFixedInfo;
    VS_FIXEDFILEINFO fixedInfo;
};
constexpr char kVersionTag[8] = {'L', 'u', 'm', 'i', 'V', 'e', 'r', '1'};

constexpr char16_t kSystemDirectory[] = u"C:\\Windows\\system32";

}  // namespace

namespace win32 {

std::u16string ModuleKey(const std::u16string& fileName) {
    const std::size_t slash = fileName.find_last_of(u"\\/");
    std::u16string key = slash == std::u16string::npos ? fileName : fileName.substr(slash + 1);
    for (char16_t& c : key)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return key;
}

void RegisterModule(const std::u16string& fileName, std::map<std::string, FARPROC> exports) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    auto& module = state.modules[ModuleKey(fileName)];
    if (!module) module = std::make_unique<Module>();
    module->exports = std::move(exports);
}

void UnregisterModule(const std::u16string& fileName) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.modules.erase(ModuleKey(fileName));
}

void SetModuleMissing(const std::u16string& fileName, bool missing) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.modules.find(ModuleKey(fileName));
    if (found != state.modules.end()) found->second->missing = missing;
}

int ModuleLoadCount(const std::u16string& fileName) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.modules.find(ModuleKey(fileName));
    return found == state.modules.end() ? 0 : found->second->references;
}

int ModuleLoadCalls(const std::u16string& fileName) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.modules.find(ModuleKey(fileName));
    return found == state.modules.end() ? 0 : found->second->loadCalls;
}

void ClearModules() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.modules.clear();
}

void SetFileVersion(const std::u16string& fileName, DWORD ms, DWORD ls) {
    VS_FIXEDFILEINFO info{};
    info.dwSignature = 0xFEEF04BD;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = info.dwProductVersionMS = ms;
    info.dwFileVersionLS = info.dwProductVersionLS = ls;
    info.dwFileFlagsMask = 0x3F;
    info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    info.dwFileType = 0x2;       // VFT_DLL
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.versions[ModuleKey(fileName)] = info;
}

void SetFileVersionWithoutFixedInfo(const std::u16string& fileName) {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.versions[ModuleKey(fileName)] = std::nullopt;
}

void ClearFileVersions() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.versions.clear();
}

}  // namespace win32

HMODULE LoadLibraryW(const char16_t* fileName) {
    if (!fileName || *fileName == 0) return nullptr;
    const std::u16string name(fileName);
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.modules.find(win32::ModuleKey(name));
    if (found != state.modules.end()) {
        Module& module = *found->second;
        if (module.missing) return nullptr;
        ++module.references;
        ++module.loadCalls;
        return reinterpret_cast<HMODULE>(&module);
    }
    void* handle = dlopen(win32::Utf16ToUtf8(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    ++state.dlopenReferences[handle];
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE handle, const char* procName) {
    if (!handle || !procName) return nullptr;
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    if (Module* module = FindByHandle(state, handle)) {
        if (module->references == 0) return nullptr;
        const auto found = module->exports.find(procName);
        return found == module->exports.end() ? nullptr : found->second;
    }
    if (state.dlopenReferences.count(handle) == 0) return nullptr;
    void* symbol = dlsym(handle, procName);
    FARPROC proc = nullptr;
    static_assert(sizeof proc == sizeof symbol);
    std::memcpy(&proc, &symbol, sizeof proc);  // object to function pointer, as POSIX allows
    return proc;
}

BOOL FreeLibrary(HMODULE handle) {
    if (!handle) return FALSE;
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    if (Module* module = FindByHandle(state, handle)) {
        if (module->references == 0) return FALSE;
        --module->references;
        return TRUE;
    }
    // dlopen gives the same handle for the same library, so the handle stays known until
    // its last reference is gone.
    const auto found = state.dlopenReferences.find(handle);
    if (found == state.dlopenReferences.end()) return FALSE;
    if (--found->second == 0) state.dlopenReferences.erase(found);
    return dlclose(handle) == 0 ? TRUE : FALSE;
}

UINT GetSystemDirectoryW(char16_t* buffer, UINT size) {
    constexpr UINT kLength = sizeof kSystemDirectory / sizeof(char16_t) - 1;
    if (!buffer || size <= kLength) return kLength + 1;
    std::memcpy(buffer, kSystemDirectory, sizeof kSystemDirectory);
    return kLength;
}

DWORD GetFileVersionInfoSizeW(const char16_t* fileName, DWORD* handle) {
    if (handle) *handle = 0;
    if (!fileName) return 0;
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    return state.versions.count(win32::ModuleKey(fileName)) ? sizeof(VersionBlock) : 0;
}

BOOL GetFileVersionInfoW(const char16_t* fileName, DWORD, DWORD size, void* data) {
    if (!fileName || !data || size < sizeof(VersionBlock)) return FALSE;
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.versions.find(win32::ModuleKey(fileName));
    if (found == state.versions.end()) return FALSE;
    VersionBlock block{};
    std::memcpy(block.tag, kVersionTag, sizeof kVersionTag);
    block.hasFixedInfo = found->second.has_value() ? 1 : 0;
    if (found->second) block.fixedInfo = *found->second;
    std::memcpy(data, &block, sizeof block);
    return TRUE;
}

BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** value, UINT* length) {
    if (!block || !subBlock || !value || !length) return FALSE;
    if (std::u16string_view(subBlock) != u"\\") return FALSE;
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(block));
    if (std::memcmp(bytes, kVersionTag, sizeof kVersionTag) != 0) return FALSE;
    DWORD hasFixedInfo = 0;
    std::memcpy(&hasFixedInfo, bytes + offsetof(VersionBlock, hasFixedInfo), sizeof hasFixedInfo);
    if (!hasFixedInfo) return FALSE;
    *value = bytes + offsetof(VersionBlock, fixedInfo);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
