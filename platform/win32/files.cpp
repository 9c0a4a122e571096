// Wide file opening with case-insensitive path resolution.
#include "platform/win32/files.h"

#include <sys/stat.h>

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/win32/crt_invalid_parameter.h"
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

// What a valid mode asks for.
struct Mode {
    char access = 0;  // 'r', 'w' or 'a'
    bool update = false;
    bool text = true;
};

// Windows' rules: the access letter first, then at most one '+' and one of 't' and 'b'.
bool ParseMode(const std::string& text, Mode* mode) {
    if (text.empty() || (text[0] != 'r' && text[0] != 'w' && text[0] != 'a')) return false;
    mode->access = text[0];
    bool plus = false, translation = false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+' && !plus) {
            plus = true;
        } else if ((c == 't' || c == 'b') && !translation) {
            translation = true;
            mode->text = c == 't';
        } else {
            return false;
        }
    }
    mode->update = plus;
    return true;
}

// Windows' name rules, component by component: a single trailing '.' goes ("." and "..", and
// runs of three or more dots, are names of their own), and the last component loses every
// trailing dot and space unless the path ends in a separator.
std::string ApplyNameRules(const std::string& path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        const bool last = end == std::string::npos;
        if (last) end = path.size();
        std::string part = path.substr(start, end - start);
        const bool relative = part == "." || part == "..";
        if (!relative && part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.') part.pop_back();
        if (last && !relative) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        }
        out += part;
        if (last) break;
        out += '/';
        start = end + 1;
    }
    return out;
}

// ---- Text streams -------------------------------------------------------------------------
// A text stream is a stream of our own (fopencookie) over the file opened in binary; it is
// unbuffered, so that every read, write and position goes straight to the file.

constexpr char kCtrlZ = 0x1A;

struct TextFile {
    FILE* raw;
    FILE* stream = nullptr;  // the text stream over it
    bool ended = false;      // met a Ctrl+Z
};

std::mutex g_textFilesMutex;
std::map<FILE*, FILE*> g_textFiles;  // text stream -> its file

ssize_t ReadText(void* cookie, char* buffer, std::size_t size) {
    auto* file = static_cast<TextFile*>(cookie);
    std::size_t out = 0;
    while (out < size && !file->ended) {
        const int c = std::fgetc(file->raw);
        if (c == EOF) break;
        if (c == kCtrlZ) {
            std::ungetc(c, file->raw);
            file->ended = true;
            break;
        }
        if (c == '\r') {
            const int next = std::fgetc(file->raw);
            if (next == '\n') {
                buffer[out++] = '\n';
                continue;
            }
            if (next != EOF) std::ungetc(next, file->raw);
        }
        buffer[out++] = static_cast<char>(c);
    }
    return std::ferror(file->raw) ? -1 : static_cast<ssize_t>(out);
}

ssize_t WriteText(void* cookie, const char* buffer, std::size_t size) {
    auto* file = static_cast<TextFile*>(cookie);
    for (std::size_t i = 0; i < size; ++i) {
        if (buffer[i] == '\n' && std::fputc('\r', file->raw) == EOF) return -1;
        if (std::fputc(buffer[i], file->raw) == EOF) return -1;
    }
    return static_cast<ssize_t>(size);
}

int SeekText(void* cookie, off64_t* offset, int whence) {
    auto* file = static_cast<TextFile*>(cookie);
    if (fseeko(file->raw, static_cast<off_t>(*offset), whence) != 0) return -1;
    file->ended = false;
    *offset = static_cast<off64_t>(ftello(file->raw));
    return 0;
}

int CloseText(void* cookie) {
    auto* file = static_cast<TextFile*>(cookie);
    {
        std::lock_guard<std::mutex> lock(g_textFilesMutex);
        g_textFiles.erase(file->stream);
    }
    const int result = std::fclose(file->raw);
    delete file;
    return result;
}

FILE* OpenText(FILE* raw, const Mode& mode, const std::string& cMode) {
    if (mode.access == 'a') {
        // Appending to text drops the Ctrl+Z that may end the file.
        if (std::fseek(raw, -1, SEEK_END) == 0 && std::fgetc(raw) == kCtrlZ)
            (void)::ftruncate(::fileno(raw), static_cast<off_t>(std::ftell(raw)) - 1);
        std::fseek(raw, 0, SEEK_END);
    }
    auto* file = new TextFile{raw};
    const cookie_io_functions_t functions{ReadText, WriteText, SeekText, CloseText};
    FILE* stream = fopencookie(file, cMode.c_str(), functions);
    if (stream == nullptr) {
        std::fclose(raw);
        delete file;
        return nullptr;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    file->stream = stream;
    std::lock_guard<std::mutex> lock(g_textFilesMutex);
    g_textFiles[stream] = raw;
    return stream;
}

}  // namespace

namespace win32 {

std::string ResolvePathCaseInsensitive(const std::string& path) {
    std::string normal = path;
    for (char& c : normal) {
        if (c == '\\') c = '/';
    }
    normal = ApplyNameRules(normal);
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
    Mode parsed;
    if (path == nullptr || mode == nullptr || !ParseMode(win32::Utf16ToUtf8(mode), &parsed)) {
        win32::InvalidParameter("_wfopen", EINVAL);
        return nullptr;
    }
    if (path[0] == 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (TakeOpenFailure()) return nullptr;
    std::string cMode(1, parsed.access);
    if (parsed.update) cMode += '+';
    const std::string narrowPath = win32::ResolvePathCaseInsensitive(win32::Utf16ToUtf8(path));
    // Text appending reads the file's last byte first.
    const std::string rawMode = parsed.text && parsed.access == 'a' ? std::string("a+b") : cMode + 'b';
    FILE* raw = std::fopen(narrowPath.c_str(), rawMode.c_str());
    if (raw == nullptr || !parsed.text) return raw;
    return OpenText(raw, parsed, cMode);
}

int _fileno(FILE* stream) {
    if (stream == nullptr) return -1;
    {
        std::lock_guard<std::mutex> lock(g_textFilesMutex);
        const auto text = g_textFiles.find(stream);
        if (text != g_textFiles.end()) return ::fileno(text->second);
    }
    return ::fileno(stream);
}

LONG _filelength(int descriptor) {
    if (descriptor < 0) return -1;
    struct stat info;
    if (::fstat(descriptor, &info) != 0) return -1;
    if (info.st_size < 0 || info.st_size > std::numeric_limits<LONG>::max()) return -1;
    return static_cast<LONG>(info.st_size);
}
