#pragma once
// CRasterMemFile: a CRasterFile over a growable memory buffer.
//
// Ownership: a buffer given to the constructor stays the caller's and is never freed or
// reallocated; when a write needs more room the stream copies the data into a buffer of its
// own. Open() starts an owned, empty buffer. GetBuffer(true) hands an owned buffer to the
// caller, who frees it with free(). Copies share the buffer but never own it, so the copy
// must not outlive the original.
//
// Capacity grows to the next multiple of 64 KB strictly above the bytes needed rounded down
// to 64 KB. Positions stay below 2 GiB; a seek past the data is allowed and a later write
// fills the gap with zeros.
#include <cstddef>

#include "image/raster_file.h"

class LUMI_IMAGE_API CRasterMemFile : public CRasterFile {
public:
    explicit CRasterMemFile(unsigned char* buffer = nullptr, unsigned size = 0);
    CRasterMemFile(const CRasterMemFile& other);
    CRasterMemFile& operator=(const CRasterMemFile& other);
    ~CRasterMemFile() override;

    bool Open();  // false when a buffer is already held
    unsigned char* GetBuffer(bool detach = false);
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

    std::size_t Capacity() const { return capacity_; }

protected:
    // Makes room for needed bytes; false (data kept) when that fails.
    bool Alloc(std::size_t needed);

private:
    unsigned char* buffer_ = nullptr;
    std::size_t size_ = 0;      // bytes of valid data
    bool owns_ = false;
    std::size_t position_ = 0;
    std::size_t capacity_ = 0;  // bytes allocated (or given)
};
