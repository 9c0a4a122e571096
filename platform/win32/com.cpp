#include "platform/win32/com.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <tuple>

namespace {

struct ClsidLess {
    bool operator()(const CLSID& a, const CLSID& b) const {
        return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3) ||
               (std::tie(a.Data1, a.Data2, a.Data3) == std::tie(b.Data1, b.Data2, b.Data3) &&
                std::memcmp(a.Data4, b.Data4, sizeof a.Data4) < 0);
    }
};

struct ComState {
    std::mutex mutex;
    std::map<CLSID, win32::ComClassFactory, ClsidLess> classes;
    std::optional<HRESULT> nextInitFailure;
    int guidFailures = 0;
    bool deterministic = false;
    std::uint64_t guidCounter = 0;
};

ComState& State() {
    static ComState state;
    return state;
}

thread_local int t_initCount = 0;
std::atomic<int> g_liveBstrs{0};

// splitmix64: a well-mixed value from a counter, for reproducible GUIDs.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

GUID GuidFromBits(std::uint64_t high, std::uint64_t low) {
    GUID guid{};
    guid.Data1 = static_cast<DWORD>(high >> 32);
    guid.Data2 = static_cast<WORD>(high >> 16);
    guid.Data3 = static_cast<WORD>((high & 0x0FFF) | 0x4000);  // version 4
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<BYTE>(low >> (56 - 8 * i));
    guid.Data4[0] = static_cast<BYTE>((guid.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
    return guid;
}

constexpr std::size_t kBstrHeader = sizeof(std::uint32_t);

}  // namespace

HRESULT CoInitialize(LPVOID) {
    ComState& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (state.nextInitFailure) {
            const HRESULT result = *state.nextInitFailure;
            state.nextInitFailure.reset();
            return result;
        }
    }
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_initCount > 0) --t_initCount;
}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid) return E_INVALIDARG;
    ComState& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (state.guidFailures > 0) {
            --state.guidFailures;
            return E_FAIL;
        }
        if (state.deterministic) {
            const std::uint64_t n = state.guidCounter++;
            *guid = GuidFromBits(Mix(2 * n), Mix(2 * n + 1));
            return S_OK;
        }
    }
    thread_local std::mt19937_64 engine{std::random_device{}()};
    const std::uint64_t high = engine();
    *guid = GuidFromBits(high, engine());
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int bufferLength) {
    constexpr int kLength = 39;  // 38 characters and the terminator
    if (!buffer || bufferLength < kLength) return 0;
    char text[kLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    for (int i = 0; i < kLength; ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
    return kLength;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (t_initCount == 0) return CO_E_NOTINITIALIZED;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    win32::ComClassFactory factory;
    {
        ComState& state = State();
        std::lock_guard lock(state.mutex);
        const auto found = state.classes.find(clsid);
        if (found == state.classes.end()) return REGDB_E_CLASSNOTREG;
        factory = found->second;  // called outside the lock: it may use COM itself
    }
    const HRESULT result = factory(iid, object);
    if (FAILED(result)) *object = nullptr;
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // The byte length must fit the 32-bit prefix.
    if (length > (0xFFFFFFFFu - kBstrHeader) / sizeof(OLECHAR) - 1) return nullptr;
    const std::size_t bytes = std::size_t(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kBstrHeader + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kBstrHeader);
    auto* chars = reinterpret_cast<BSTR>(block + kBstrHeader);
    if (text) std::memcpy(chars, text, bytes);
    else std::memset(chars, 0, bytes);
    chars[length] = 0;
    ++g_liveBstrs;
    return chars;
}

void SysFreeString(BSTR text) {
    if (!text) return;
    --g_liveBstrs;
    std::free(reinterpret_cast<unsigned char*>(text) - kBstrHeader);
}

UINT SysStringLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t byteLength = 0;
    std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - kBstrHeader, kBstrHeader);
    return byteLength / sizeof(OLECHAR);
}

void VariantInit(VARIANT* value) {
    if (!value) return;
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->ullVal = 0;
}

HRESULT VariantClear(VARIANT* value) {
    if (!value) return E_INVALIDARG;
    switch (value->vt) {
        case VT_BSTR: SysFreeString(value->bstrVal); break;
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
        case VT_UI1:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT: break;
        default: return DISP_E_BADVARTYPE;
    }
    VariantInit(value);
    return S_OK;
}

namespace win32 {

void RegisterComClass(const CLSID& clsid, ComClassFactory factory) {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    if (factory) state.classes[clsid] = std::move(factory);
    else state.classes.erase(clsid);
}

void UnregisterComClass(const CLSID& clsid) { RegisterComClass(clsid, nullptr); }

int ComInitCount() { return t_initCount; }

void FailNextCoInitialize(HRESULT result) {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    state.nextInitFailure = result;
}

void FailNextCoCreateGuid(int count) {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    state.guidFailures = count > 0 ? count : 0;
}

void UseDeterministicGuids(std::uint64_t seed) {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    state.deterministic = true;
    state.guidCounter = Mix(seed);
}

void UseRandomGuids() {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    state.deterministic = false;
}

int LiveBstrCount() { return g_liveBstrs.load(); }

void ResetCom() {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    state.classes.clear();
    state.nextInitFailure.reset();
    state.guidFailures = 0;
    state.deterministic = false;
    t_initCount = 0;
}

}  // namespace win32
