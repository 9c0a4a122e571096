// The small system services: rand, critical sections, debug output, COM, modules and file
// versions, message boxes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/critical_section.h"
#include "platform/win32/crt_rand.h"
#include "platform/win32/debug_output.h"
#include "platform/win32/message_box.h"
#include "platform/win32/modules.h"

namespace {

TEST(CrtRand, ReproducesTheWindowsSequence) {
    win32::srand(1);
    const std::vector<int> expected = {41, 18467, 6334, 26500, 19169};
    std::vector<int> drawn;
    for (int i = 0; i < 5; ++i) drawn.push_back(win32::rand());
    EXPECT_EQ(drawn, expected);

    win32::srand(1);
    EXPECT_EQ(win32::rand(), 41) << "srand restarts the sequence";
}

TEST(CrtRand, KeepsOneSequencePerThreadStartingAtSeedOne) {
    win32::srand(12345);
    win32::rand();
    int first = -1;
    std::thread([&] { first = win32::rand(); }).join();
    EXPECT_EQ(first, 41) << "a new thread starts as if seeded with 1";

    win32::srand(7);
    const int a = win32::rand();
    std::thread([] { win32::srand(99); win32::rand(); }).join();
    win32::srand(7);
    EXPECT_EQ(win32::rand(), a) << "another thread's srand leaves this one alone";
    for (int i = 0; i < 1000; ++i) {
        const int value = win32::rand();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, win32::kRandMax);
    }
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // the owner may enter again
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    long counter = 0;  // plain: only the section protects it
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&section);
            ++counter;
            LeaveCriticalSection(&section);
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, MisuseFailsLoudly) {
    CRITICAL_SECTION section;
    EXPECT_THROW(EnterCriticalSection(&section), std::logic_error) << "not initialised";
    EXPECT_THROW(EnterCriticalSection(nullptr), std::logic_error);
    DeleteCriticalSection(&section);  // nothing to delete: no effect
    DeleteCriticalSection(nullptr);

    InitializeCriticalSection(&section);
    EXPECT_THROW(InitializeCriticalSection(&section), std::logic_error);
    EXPECT_THROW(LeaveCriticalSection(&section), std::logic_error) << "leaving without entering";

    EnterCriticalSection(&section);
    bool threw = false;
    std::thread([&] {
        try {
            LeaveCriticalSection(&section);
        } catch (const std::logic_error&) {
            threw = true;
        }
    }).join();
    EXPECT_TRUE(threw) << "only the owner may leave";

    EnterCriticalSection(&section);
    DeleteCriticalSection(&section);  // held by this thread: released, then deleted
    EXPECT_EQ(section.mutex, nullptr);
}

TEST(DebugOutput, GoesToTheInstalledSink) {
    std::vector<std::string> lines;
    win32::SetDebugOutputSink([&](const std::string& text) { lines.push_back(text); });
    OutputDebugStringA("[x]CD3DBitmap\t192\n");
    OutputDebugStringW(u"警告");
    OutputDebugStringA(nullptr);
    OutputDebugStringW(nullptr);
    win32::SetDebugOutputSink(nullptr);
    OutputDebugStringA("dropped");
    EXPECT_EQ(lines, (std::vector<std::string>{"[x]CD3DBitmap\t192\n", "警告"}));
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { win32::ResetCom(); }
    void TearDown() override { win32::ResetCom(); }
};

// CLSID_DxDiagProvider, as the library writes it.
constexpr CLSID kDxDiagProvider = {0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
constexpr IID kDxDiagProviderInterface = {0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};

TEST_F(ComTest, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(win32::ComInitCount(), 2);
    int otherThread = -1;
    std::thread([&] { otherThread = win32::ComInitCount(); }).join();
    EXPECT_EQ(otherThread, 0);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // unbalanced: ignored
    EXPECT_EQ(win32::ComInitCount(), 0);

    win32::FailNextCoInitialize(RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
    EXPECT_EQ(win32::ComInitCount(), 0);
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "the failure is used once";
}

TEST_F(ComTest, CreatesRegisteredClassesOnly) {
    struct Unknown : IUnknown {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
    } object;
    IID askedFor{};
    win32::RegisterComClass(kDxDiagProvider, [&](REFIID iid, void** out) {
        askedFor = iid;
        *out = static_cast<IUnknown*>(&object);
        return S_OK;
    });

    void* created = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(created, nullptr);

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              S_OK);
    EXPECT_EQ(created, static_cast<IUnknown*>(&object));
    EXPECT_TRUE(askedFor == kDxDiagProviderInterface);

    const CLSID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, 0x4, kDxDiagProviderInterface, &created),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, &object, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, nullptr),
              E_POINTER);

    win32::RegisterComClass(kDxDiagProvider, [](REFIID, void** out) {
        *out = reinterpret_cast<void*>(8);  // a factory that fails must not leak a pointer
        return E_OUTOFMEMORY;
    });
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              E_OUTOFMEMORY);
    EXPECT_EQ(created, nullptr);
    win32::UnregisterComClass(kDxDiagProvider);
    EXPECT_EQ(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kDxDiagProviderInterface, &created),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

TEST_F(ComTest, GuidTextIsBracedUpperCaseHex) {
    char16_t buffer[64];
    ASSERT_EQ(StringFromGUID2(kDxDiagProvider, buffer, 64), 39);
    EXPECT_EQ(std::u16string(buffer), u"{A65B8071-3BFE-4213-9A5B-491DA4461CA7}");

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(StringFromGUID2(kDxDiagProvider, buffer, 38), 0);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(StringFromGUID2(kDxDiagProvider, nullptr, 64), 0);
}

TEST_F(ComTest, NewGuidsAreVersionFourAndScriptable) {
    GUID a{}, b{};
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);

    win32::UseDeterministicGuids(5);
    GUID first{}, second{};
    CoCreateGuid(&first);
    CoCreateGuid(&second);
    win32::UseDeterministicGuids(5);
    GUID again{};
    CoCreateGuid(&again);
    EXPECT_TRUE(first == again);
    EXPECT_FALSE(first == second);

    win32::FailNextCoCreateGuid(2);
    EXPECT_EQ(CoCreateGuid(&a), E_FAIL);
    EXPECT_EQ(CoCreateGuid(&a), E_FAIL);
    EXPECT_EQ(CoCreateGuid(&a), S_OK);
}

TEST_F(ComTest, BstrAndVariantOwnTheirText) {
    const int live = win32::LiveBstrCount();
    BSTR text = SysAllocString(u"NVIDIA GeForce");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 14u);
    EXPECT_EQ(std::u16string(text), u"NVIDIA GeForce");
    BSTR withZero = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(withZero), 3u) << "the length is stored, not searched";
    SysFreeString(withZero);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);

    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    EXPECT_EQ(win32::LiveBstrCount(), live + 1);
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(win32::LiveBstrCount(), live) << "VariantClear frees the string";

    value.vt = VT_UI8;
    value.ullVal = 8589934592ull;
    EXPECT_EQ(VariantClear(&value), S_OK);
    value.vt = 9;  // VT_DISPATCH: no such objects here
    EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
    EXPECT_EQ(value.vt, 9);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

class ModulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32::ClearModules();
        win32::ClearFileVersions();
        uploadedPath.clear();
    }
    void TearDown() override {
        win32::ClearModules();
        win32::ClearFileVersions();
    }
    static int UploadEnginLog(const char* path) {
        uploadedPath = path;
        return 1;
    }
    static inline std::string uploadedPath;
};

TEST_F(ModulesTest, LoadsRegisteredModulesByFileName) {
    win32::RegisterModule(u"ovelder.dll", {{"UploadEnginLog", reinterpret_cast<FARPROC>(&UploadEnginLog)}});
    HMODULE module = LoadLibraryW(u"OVELDER.DLL");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LoadLibraryW(u"D:\\Game\\bin/Ovelder.dll"), module) << "matched on the last path component";
    EXPECT_EQ(win32::ModuleLoadCount(u"ovelder.dll"), 2);

    auto upload = reinterpret_cast<int (*)(const char*)>(GetProcAddress(module, "UploadEnginLog"));
    ASSERT_NE(upload, nullptr);
    upload("logs/lumiscriber.log");
    EXPECT_EQ(uploadedPath, "logs/lumiscriber.log");
    EXPECT_EQ(GetProcAddress(module, "Missing"), nullptr);
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);

    EXPECT_EQ(FreeLibrary(module), TRUE);
    EXPECT_EQ(FreeLibrary(module), TRUE);
    EXPECT_EQ(win32::ModuleLoadCount(u"ovelder.dll"), 0);
    EXPECT_EQ(FreeLibrary(module), FALSE) << "no reference left";
    EXPECT_EQ(GetProcAddress(module, "UploadEnginLog"), nullptr) << "not loaded any more";
    EXPECT_EQ(win32::ModuleLoadCalls(u"ovelder.dll"), 2);
}

TEST_F(ModulesTest, MissingAndUnknownModulesGiveNull) {
    win32::RegisterModule(u"ddraw.dll", {});
    win32::SetModuleMissing(u"DDRAW.dll", true);
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32\\ddraw.dll"), nullptr);
    win32::SetModuleMissing(u"ddraw.dll", false);
    HMODULE module = LoadLibraryW(u"C:\\Windows\\system32\\ddraw.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "DirectDrawCreateEx"), nullptr);

    EXPECT_EQ(LoadLibraryW(u"no_such_library_here.dll"), nullptr);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryW(u""), nullptr);

    int local = 0;
    const auto foreign = reinterpret_cast<HMODULE>(&local);
    EXPECT_EQ(GetProcAddress(foreign, "x"), nullptr) << "a handle we never gave out";
    EXPECT_EQ(FreeLibrary(foreign), FALSE);
    EXPECT_EQ(FreeLibrary(nullptr), FALSE);

    win32::ClearModules();
    EXPECT_EQ(GetProcAddress(module, "DirectDrawCreateEx"), nullptr) << "stale handle after clearing";
    EXPECT_EQ(FreeLibrary(module), FALSE);
}

TEST_F(ModulesTest, FallsBackToTheDynamicLoader) {
    HMODULE math = LoadLibraryW(u"libm.so.6");
    ASSERT_NE(math, nullptr);
    auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(math, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(FreeLibrary(math), TRUE);
    EXPECT_EQ(FreeLibrary(math), FALSE) << "closed: the handle is unknown again";
}

TEST_F(ModulesTest, SystemDirectoryFollowsTheBufferSizeConvention) {
    char16_t buffer[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), 20u);
    buffer[0] = u'#';
    EXPECT_EQ(GetSystemDirectoryW(buffer, 19), 20u) << "no room for the terminator";
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(GetSystemDirectoryW(buffer, 20), 19u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\Windows\\system32");
}

TEST_F(ModulesTest, FileVersionsAreReadThroughTheFixedInfo) {
    win32::SetFileVersion(u"ddraw.dll", 0x00040005, 0x0A280C65);
    const std::u16string path = u"C:\\Windows\\system32\\DDRAW.DLL";
    DWORD handle = 99;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<unsigned char> block(size);
    EXPECT_EQ(GetFileVersionInfoW(path.c_str(), 0, size - 1, block.data()), FALSE) << "buffer too small";
    ASSERT_EQ(GetFileVersionInfoW(path.c_str(), 0, size, block.data()), TRUE);

    void* value = nullptr;
    UINT length = 0;
    ASSERT_EQ(VerQueryValueW(block.data(), u"\\", &value, &length), TRUE);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00040005u);
    EXPECT_EQ(info->dwFileVersionLS, 0x0A280C65u);
    EXPECT_EQ(VerQueryValueW(block.data(), u"\\StringFileInfo", &value, &length), FALSE);
    EXPECT_EQ(VerQueryValueW(block.data(), u"\\", nullptr, &length), FALSE);

    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\Windows\\system32\\d3d8.dll", &handle), 0u) << "not scripted";
    EXPECT_EQ(GetFileVersionInfoW(u"d3d8.dll", 0, size, block.data()), FALSE);
    EXPECT_EQ(GetFileVersionInfoSizeW(nullptr, nullptr), 0u);

    win32::SetFileVersionWithoutFixedInfo(u"d3d8.dll");
    const DWORD bareSize = GetFileVersionInfoSizeW(u"d3d8.dll", nullptr);
    ASSERT_GT(bareSize, 0u);
    std::vector<unsigned char> bare(bareSize);
    ASSERT_EQ(GetFileVersionInfoW(u"d3d8.dll", 0, bareSize, bare.data()), TRUE);
    EXPECT_EQ(VerQueryValueW(bare.data(), u"\\", &value, &length), FALSE);

    win32::ClearFileVersions();
    EXPECT_EQ(GetFileVersionInfoSizeW(path.c_str(), nullptr), 0u);
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { win32::ResetMessageBoxes(); }
    void TearDown() override { win32::ResetMessageBoxes(); }
};

TEST_F(MessageBoxTest, AnswersFromTheQueueThenSaysNo) {
    win32::QueueMessageBoxAnswer(IDYES);
    const HWND owner = reinterpret_cast<HWND>(std::uintptr_t{0x1000});
    EXPECT_EQ(MessageBoxW(owner, u"当前显存小于16M", u"警告", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxW(owner, u"again", u"警告", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK | MB_ICONWARNING), IDOK);

    const auto calls = win32::MessageBoxCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].owner, owner);
    EXPECT_EQ(calls[0].text, u"当前显存小于16M");
    EXPECT_EQ(calls[0].caption, u"警告");
    EXPECT_EQ(calls[0].type, MB_YESNO);
    EXPECT_EQ(calls[2].text, u"");
    EXPECT_EQ(calls[2].type, MB_OK | MB_ICONWARNING);
}

}  // namespace
