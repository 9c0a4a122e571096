#pragma once
// The byte stream every codec reads and writes through, so that one decoder serves disk
// files and memory alike. Origins of Seek: 0 start, 1 current position, 2 end.
#include "image/image_export.h"

class LUMI_IMAGE_API CRasterFile {
public:
    CRasterFile() = default;
    CRasterFile(const CRasterFile&) {}
    CRasterFile& operator=(const CRasterFile&) { return *this; }
    virtual ~CRasterFile();

    virtual bool Close() = 0;
    // Whole items of size bytes read or written.
    virtual unsigned Read(void* buffer, unsigned size, unsigned count) = 0;
    virtual unsigned Write(const void* buffer, unsigned size, unsigned count) = 0;
    virtual bool Seek(long offset, int origin) = 0;
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual long Error() = 0;
    virtual bool PutC(unsigned char c);  // Write(&c, 1, 1) == 1
    virtual long GetC() = 0;             // the byte, or -1
    virtual char* GetS(char* buffer, int n) = 0;
    virtual long Scanf(const char* format, void* output) = 0;
};
