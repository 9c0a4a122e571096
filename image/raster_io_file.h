#pragma once
// CRasterIOFile: a CRasterFile over a C stdio stream.
//
// Ownership: a stream given to the constructor stays the caller's (Close and the destructor
// leave it open); a stream opened by Open belongs to the object. Copies share the stream
// but never own it, so only the original closes it: the copy must not outlive it.
#include <cstdio>

#include "image/raster_file.h"
#include "platform/win32/win32_types.h"

class LUMI_IMAGE_API CRasterIOFile : public CRasterFile {
public:
    explicit CRasterIOFile(FILE* stream = nullptr);
    CRasterIOFile(const CRasterIOFile& other);
    CRasterIOFile& operator=(const CRasterIOFile& other);
    ~CRasterIOFile() override;

    // Opens a file by wide name and mode; false when a stream is already held.
    bool Open(const WCHAR* name, const WCHAR* mode);
    bool Close() override;
    unsigned Read(void* buffer, unsigned size, unsigned count) override;
    unsigned Write(const void* buffer, unsigned size, unsigned count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;
    char* GetS(char* buffer, int n) override;
    long Scanf(const char* format, void* output) override;

private:
    FILE* stream_ = nullptr;
    bool owns_ = false;
};
