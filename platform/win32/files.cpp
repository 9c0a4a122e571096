// Wide file opening with case-insensitive path resolution.
#include "platform/win32/files.h"

#include <sys/stat.h>

#include <atomic>
#include <limits>
#include <filesystem>
#include <system_error>

#include "platform/win32/text.h"

namespace {

std::atomic<int> g_failingOpens{0};

bool TakeOpenFailure() {
    int left = g_failingOpens.load();
    while (left > 0) {
        if (g_failingOpens.compare_exchange_weak(left, left - 1)) return true;
    }
    return false;
}

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `directory` whose name matches `name` without ASCII case, or "".
std::string FindEntry(const std::string& directory, const std::string& name) {
    std::error_code error;
    std::filesystem::directory_iterator it(directory.empty() ? "." : directory, error);
    if (error) return {};
    for (const auto& entry : it) {
        std::string candidate = entry.path().filename().string();
        if (EqualsIgnoringAsciiCase(candidate, name)) return candidate;
    }
    return {};
}

bool ValidMode(const std::string& mode) {
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
    for (std::size_t i = 1; i < mode.size(); ++i) {
        if (mode[i] != '+' && mode[i] != 'b' && mode[i] != 't') return false;
    }
    return true;
}

}  // namespace

namespace win32 {

std::string ResolvePathCaseInsensitive(const std::string& path) {
    std::string normal = path;
    for (char& c : normal) {
        if (c == '\\') c = '/';
    }
    if (normal.empty() || Exists(normal)) return normal;

    std::string resolved;
    std::size_t start = 0;
    if (normal[0] == '/') {
        resolved = "/";
        start = 1;
    }
    bool matching = true;
    while (start <= normal.size()) {
        std::size_t end = normal.find('/', start);
        if (end == std::string::npos) end = normal.size();
        std::string component = normal.substr(start, end - start);
        if (!component.empty()) {
            if (!resolved.empty() && resolved.back() != '/') resolved += '/';
            if (matching && component != "." && component != ".." && !Exists(resolved + component)) {
                std::string found = FindEntry(resolved, component);
                if (found.empty()) {
                    matching = false;
                } else {
                    component = found;
                }
            }
            resolved += component;
        }
        if (end < normal.size() && end + 1 == normal.size()) resolved += '/';  // trailing separator
        start = end + 1;
    }
    return resolved;
}

void FailNextFileOpens(int count) { g_failingOpens.store(count > 0 ? count : 0); }

}  // namespace win32

FILE* _wfopen(const char16_t* path, const char16_t* mode) {
    if (path == nullptr || mode == nullptr || path[0] == 0) return nullptr;
    std::string narrowMode = win32::Utf16ToUtf8(mode);
    if (!ValidMode(narrowMode)) return nullptr;
    if (TakeOpenFailure()) return nullptr;
    // Linux has no text mode: 't' would be rejected by some C libraries, 'b' is harmless.
    std::string cMode;
    for (char c : narrowMode) {
        if (c != 't') cMode += c;
    }
    std::string narrowPath = win32::ResolvePathCaseInsensitive(win32::Utf16ToUtf8(path));
    return std::fopen(narrowPath.c_str(), cMode.c_str());
}

int _fileno(FILE* stream) { return stream == nullptr ? -1 : ::fileno(stream); }

LONG _filelength(int descriptor) {
    if (descriptor < 0) return -1;
    struct stat info;
    if (::fstat(descriptor, &info) != 0) return -1;
    if (info.st_size < 0 || info.st_size > std::numeric_limits<LONG>::max()) return -1;
    return static_cast<LONG>(info.st_size);
}
