#include "image/raster_io_file.h"

#include <cstddef>

#include "platform/win32/files.h"

CRasterIOFile::CRasterIOFile(FILE* stream) : stream_(stream), owns_(stream == nullptr) {}

// A copy refers to the same stream but never closes it: two owners would close it twice.
CRasterIOFile::CRasterIOFile(const CRasterIOFile& other) : CRasterFile(other), stream_(other.stream_), owns_(false) {}

CRasterIOFile& CRasterIOFile::operator=(const CRasterIOFile& other) {
    if (this != &other) {
        Close();
        stream_ = other.stream_;
        owns_ = false;
    }
    return *this;
}

CRasterIOFile::~CRasterIOFile() {
    if (stream_ && owns_) std::fclose(stream_);
}

bool CRasterIOFile::Open(const WCHAR* name, const WCHAR* mode) {
    if (stream_) return false;
    if (!name || !mode) return false;
    FILE* f = _wfopen(name, mode);
    if (!f) return false;
    stream_ = f;
    owns_ = true;
    return true;
}

bool CRasterIOFile::Close() {
    if (stream_ && owns_) {
        const int result = std::fclose(stream_);
        stream_ = nullptr;
        return result == 0;
    }
    return true;
}

unsigned CRasterIOFile::Read(void* buffer, unsigned size, unsigned count) {
    if (!stream_ || !buffer) return 0;
    return static_cast<unsigned>(std::fread(buffer, size, count, stream_));
}

unsigned CRasterIOFile::Write(const void* buffer, unsigned size, unsigned count) {
    if (!stream_ || !buffer) return 0;
    return static_cast<unsigned>(std::fwrite(buffer, size, count, stream_));
}

bool CRasterIOFile::Seek(long offset, int origin) {
    return stream_ && std::fseek(stream_, offset, origin) == 0;
}

long CRasterIOFile::Tell() { return stream_ ? std::ftell(stream_) : 0; }

long CRasterIOFile::Size() {
    if (!stream_) return -1;
    const long here = std::ftell(stream_);
    std::fseek(stream_, 0, SEEK_END);
    const long end = std::ftell(stream_);
    std::fseek(stream_, here, SEEK_SET);
    return end;
}

bool CRasterIOFile::Flush() { return stream_ && std::fflush(stream_) == 0; }
bool CRasterIOFile::Eof() { return !stream_ || std::feof(stream_) != 0; }
long CRasterIOFile::Error() { return stream_ ? std::ferror(stream_) : -1; }

bool CRasterIOFile::PutC(unsigned char c) { return stream_ && std::fputc(c, stream_) == c; }
long CRasterIOFile::GetC() { return stream_ ? std::getc(stream_) : -1; }

char* CRasterIOFile::GetS(char* buffer, int n) {
    if (!stream_ || !buffer || n <= 0) return nullptr;
    return std::fgets(buffer, n, stream_);
}

long CRasterIOFile::Scanf(const char* format, void* output) {
    if (!stream_ || !format) return -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    return std::fscanf(stream_, format, output);
#pragma GCC diagnostic pop
}
