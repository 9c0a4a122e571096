#pragma once
// CRasterJPG::CRasterExif: reads the segments of a JPEG file ahead of its image data, takes
// the camera data of the EXIF block and the comment into an exif_info_t, and writes a file
// again from kept segments (how the JPEG encoder carries EXIF data into a new file).
//
// Every value of the file is checked before use: segment lengths, directory sizes, value
// offsets and counts, thumbnail bounds; directory links are followed at most five levels deep
// and never into a directory already read, so lying offsets and loops end the read. Problems
// are kept in GetLastError() (they never reach the image); nothing is printed.
//
// Ownership: the reader owns its segments' memory; the record's thumbnail points into it and
// is cleared when the reader goes. A record given to the constructor stays the caller's and
// must outlive the reader; the default constructor makes and owns a zeroed one. Copies are
// deep.
#include <cstdint>
#include <vector>

#include "image/raster_jpg.h"

class LUMI_IMAGE_API CRasterJPG::CRasterExif {
public:
    // Mode bits of ReadJpegSections.
    static constexpr int kReadExif = 1;       // parse the EXIF block and take the comment
    static constexpr int kReadImageData = 2;  // keep the rest of the file as a last segment
    static constexpr int kMaxSections = 20;
    static constexpr int kImageDataMarker = 0x123;  // marker of that last segment

    CRasterExif();
    explicit CRasterExif(exif_info_t* record);
    // Copies the segments and the record's contents; the copy uses record (or a record of
    // its own when null), with the thumbnail aimed into the copied block.
    CRasterExif(const CRasterExif& other, exif_info_t* record = nullptr);
    // Copies the segments and the record's contents into this reader's own record.
    CRasterExif& operator=(const CRasterExif& other);
    ~CRasterExif();

    // Reads segments from the start of a JPEG stream up to the start of scan (which ends the
    // read with true). Fills the record's frame fields from the start-of-frame segment. With
    // kReadExif an "Exif" APP1 segment is parsed (is_exif = the result) and kept, and the
    // first comment is read and kept; other APP1 and comment segments and every APP0 are
    // dropped. False for a stream that is no JPEG or ends, lies or has more than 20 segments.
    bool ReadJpegSections(CRasterFile* file, int mode);
    // Parses an EXIF block: data starts with "Exif\0\0", then the TIFF header and directories.
    bool ParseExifBlock(const BYTE* data, std::size_t length);
    // Reads a comment segment's payload into the record: at most 999 characters, a carriage
    // return before a line feed dropped, other control bytes but tab and line feed as '?'.
    void ReadComment(const BYTE* data, std::size_t length);
    // Writes a JPEG: start of image, a JFIF segment (300 dpi) unless the first kept segment
    // is APP0 or APP1, the kept segments, then the image data segment as it is. Needs a
    // start-of-scan segment. False on a write failure.
    bool WriteSections(CRasterFile* file);
    // Keeps the first APP1 and the first comment segment (in that order), frees the others.
    void KeepExifAndComment();
    // The index of the start-of-scan segment among all but the last, or -1.
    int FindScanSection() const;

    const char* GetLastError() const { return error; }
    int GetSectionCount() const { return section_count; }
    int GetSectionMarker(int index) const { return index >= 0 && index < section_count ? sections[index].marker : 0; }
    const exif_info_t* GetInfo() const { return record; }

private:
    struct Section {
        BYTE* data;    // the segment from its two length bytes on (malloc'ed)
        int marker;
        std::size_t size;
    };

    void ParseDirectory(const BYTE* directory, const BYTE* base, std::size_t length, int nesting);
    void ReadTag(unsigned tag, unsigned format, const BYTE* value, std::size_t bytes, const BYTE* base,
                 std::size_t length, int nesting);
    double ReadTagValue(unsigned format, const BYTE* value) const;
    void ReadFrameHeader(const BYTE* data, std::size_t size, int marker);
    void CopyString(char* target, std::size_t capacity, const BYTE* value, std::size_t bytes) const;
    unsigned Get16(const BYTE* p) const;
    std::uint32_t Get32(const BYTE* p) const;
    bool FollowLink(std::uint32_t offset, const BYTE* base, std::size_t length, int nesting);
    void SetError(const char* message);
    void FreeSections();
    void CopySectionsFrom(const CRasterExif& other);
    bool AddSection(BYTE* data, int marker, std::size_t size);

    exif_info_t* record = nullptr;
    char error[256] = {};
    LONG largest_dimension = 0;  // of the EXIF pixel dimension tags
    bool motorola_order = false;
    Section sections[kMaxSections] = {};
    int section_count = 0;
    bool owns_record = false;

    // State of one ParseExifBlock.
    std::vector<std::uint32_t> visited_directories;  // offsets from the TIFF header
    std::uint32_t thumbnail_offset = 0;
    std::uint32_t thumbnail_size = 0;
};
