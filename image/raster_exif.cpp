#include "image/raster_exif.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/checked_size.h"
#include "image/raster_file.h"

using lumi::image::CheckedMul;
using lumi::image::RangeInside;
using Exif = CRasterJPG::CRasterExif;

namespace {

constexpr int kMarkerSof0 = 0xC0;
constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerCom = 0xFE;

constexpr int kMaxPaddingBytes = 6;       // 0xFF bytes before a marker
constexpr int kMaxDirectoryNesting = 5;
// Real blocks hold four or five directories; the cap keeps a block of many links cheap.
constexpr std::size_t kMaxDirectories = 32;
constexpr std::size_t kDirectoryEntryBytes = 12;
constexpr std::size_t kCommentChars = sizeof(exif_info_t::comment) - 1;
constexpr std::size_t kUserCommentChars = 199;

// Bytes of one component of EXIF formats 0 to 12 (0: a value of no bytes).
constexpr unsigned kFormatBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// The 18-byte JFIF segment written ahead of files that have none: version 1.01, 300 dpi.
constexpr BYTE kJfifSegment[18] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00,
                                   0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

bool IsStartOfFrame(int marker) {
    return marker >= kMarkerSof0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// File values become record numbers without undefined conversions.
LONG ToLong(double v) {
    if (!(v >= -2147483648.0 && v <= 2147483647.0)) return 0;
    return static_cast<LONG>(v);
}
std::uint32_t ToOffset(double v) {
    if (!(v >= 0.0 && v <= 4294967295.0)) return 0;
    return static_cast<std::uint32_t>(v);
}
float ToFloat(double v) { return std::isfinite(v) && std::fabs(v) <= 3.0e38 ? static_cast<float>(v) : 0.0f; }

// Inches per resolution unit of tags 296 and 41488; 0 for units the reader does not know.
float UnitFactor(LONG unit) {
    switch (unit) {
        case 1:
        case 2: return 1.0f;
        case 3: return static_cast<float>(1.0 / 2.54);
        case 4: return static_cast<float>(1.0 / 25.4);
        case 5: return static_cast<float>(1.0 / 25400.0);
        default: return 0.0f;
    }
}

bool Inside(const BYTE* p, const BYTE* block, std::size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    return block && at >= start && at - start < size;
}

}  // namespace

// ---- lifetime -------------------------------------------------------------------------

Exif::CRasterExif() : record(new exif_info_t{}), owns_record(true) {}

Exif::CRasterExif(exif_info_t* caller_record) : record(caller_record) {
    if (!record) {
        record = new exif_info_t{};
        owns_record = true;
    }
}

Exif::CRasterExif(const CRasterExif& other, exif_info_t* caller_record) : record(caller_record) {
    if (!record) {
        record = new exif_info_t{};
        owns_record = true;
    }
    *this = other;
}

Exif& Exif::operator=(const CRasterExif& other) {
    if (&other == this) return *this;
    FreeSections();
    if (other.record && other.record != record) *record = *other.record;
    std::memcpy(error, other.error, sizeof(error));
    largest_dimension = other.largest_dimension;
    motorola_order = other.motorola_order;
    CopySectionsFrom(other);
    return *this;
}

Exif::~CRasterExif() {
    FreeSections();
    if (owns_record) delete record;
}

void Exif::FreeSections() {
    for (int i = 0; i < section_count; ++i) {
        // The thumbnail must not outlive the block it lies in.
        if (record && Inside(record->thumbnail, sections[i].data, sections[i].size)) {
            record->thumbnail = nullptr;
            record->thumbnail_size = 0;
        }
        std::free(sections[i].data);
        sections[i] = Section{};
    }
    section_count = 0;
}

void Exif::CopySectionsFrom(const CRasterExif& other) {
    const BYTE* otherThumbnail = other.record ? other.record->thumbnail : nullptr;
    record->thumbnail = nullptr;
    bool thumbnailCopied = false;
    for (int i = 0; i < other.section_count; ++i) {
        const Section& s = other.sections[i];
        BYTE* copy = static_cast<BYTE*>(std::malloc(std::max<std::size_t>(s.size, 1)));
        if (!copy) continue;  // a section that cannot be copied is left out
        std::memcpy(copy, s.data, s.size);
        if (Inside(otherThumbnail, s.data, s.size)) {
            record->thumbnail = copy + (otherThumbnail - s.data);
            thumbnailCopied = true;
        }
        sections[section_count++] = Section{copy, s.marker, s.size};
    }
    if (!thumbnailCopied) {
        record->thumbnail = nullptr;
        record->thumbnail_size = 0;
    }
}

bool Exif::AddSection(BYTE* data, int marker, std::size_t size) {
    if (section_count >= kMaxSections) {
        std::free(data);
        SetError("Too many sections in jpg file");
        return false;
    }
    sections[section_count++] = Section{data, marker, size};
    return true;
}

void Exif::SetError(const char* message) {
    std::strncpy(error, message, sizeof(error) - 1);
    error[sizeof(error) - 1] = '\0';
}

// ---- segments -------------------------------------------------------------------------

bool Exif::ReadJpegSections(CRasterFile* file, int mode) {
    if (!file) return false;
    BYTE start[2];
    if (file->Read(start, 1, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) {
        SetError("Not a JPEG file");
        return false;
    }
    bool commentRead = false;

    while (section_count < kMaxSections) {
        long c = file->GetC();
        if (c != 0xFF) {
            SetError(c < 0 ? "Premature end of file?" : "invalid marker");
            return false;
        }
        int padding = 1;
        while ((c = file->GetC()) == 0xFF) {
            if (++padding > kMaxPaddingBytes) {
                SetError("too many padding bytes");
                return false;
            }
        }
        if (c < 0) {
            SetError("Premature end of file?");
            return false;
        }
        const int marker = static_cast<int>(c);

        BYTE lengthBytes[2];
        if (file->Read(lengthBytes, 1, 2) != 2) {
            SetError("Premature end of file?");
            return false;
        }
        const std::size_t length = (static_cast<std::size_t>(lengthBytes[0]) << 8) | lengthBytes[1];
        if (length < 2) {
            SetError("invalid marker");
            return false;
        }
        BYTE* data = static_cast<BYTE*>(std::malloc(length));
        if (!data) {
            SetError("Could not allocate memory");
            return false;
        }
        data[0] = lengthBytes[0];
        data[1] = lengthBytes[1];
        if (length > 2 && file->Read(data + 2, 1, static_cast<unsigned>(length - 2)) != length - 2) {
            std::free(data);
            SetError("Premature end of file?");
            return false;
        }

        if (IsStartOfFrame(marker)) {
            ReadFrameHeader(data, length, marker);
            if (!AddSection(data, marker, length)) return false;
            continue;
        }
        switch (marker) {
            case kMarkerEoi:
                std::free(data);
                SetError("No image in jpeg!");
                return false;
            case kMarkerSos: {
                if (!AddSection(data, marker, length)) return false;
                if (!(mode & kReadImageData)) return true;
                const long here = file->Tell();
                const long end = file->Size();
                if (here < 0 || end <= here) {
                    SetError("could not read the rest of the image");
                    return false;
                }
                const std::size_t rest = static_cast<std::size_t>(end - here);
                BYTE* image = static_cast<BYTE*>(std::malloc(rest));
                if (!image) {
                    SetError("could not allocate data for entire image");
                    return false;
                }
                if (file->Read(image, 1, static_cast<unsigned>(rest)) != rest) {
                    std::free(image);
                    SetError("could not read the rest of the image");
                    return false;
                }
                return AddSection(image, kImageDataMarker, rest);
            }
            case kMarkerApp0:
                std::free(data);
                break;
            case kMarkerApp1:
                if ((mode & kReadExif) && length >= 8 && std::memcmp(data + 2, "Exif", 4) == 0) {
                    record->is_exif = ParseExifBlock(data + 2, length - 2) ? 1 : 0;
                    if (!AddSection(data, marker, length)) return false;
                } else {
                    std::free(data);
                }
                break;
            case kMarkerCom:
                if ((mode & kReadExif) && !commentRead) {
                    commentRead = true;
                    ReadComment(data + 2, length - 2);
                    if (!AddSection(data, marker, length)) return false;
                } else {
                    std::free(data);
                }
                break;
            default:
                if (!AddSection(data, marker, length)) return false;
                break;
        }
    }
    SetError("Too many sections in jpg file");
    return false;
}

void Exif::ReadFrameHeader(const BYTE* data, std::size_t size, int marker) {
    // length (2), precision (1), height (2), width (2), components (1)
    if (size < 8) return;
    record->height = (data[3] << 8) | data[4];
    record->width = (data[5] << 8) | data[6];
    record->is_color = data[7] == 3 ? 1 : 0;
    record->process = marker;
}

void Exif::ReadComment(const BYTE* data, std::size_t length) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < length && out < kCommentChars; ++i) {
        const BYTE c = data[i];
        if (c == '\r' && i + 1 < length && data[i + 1] == '\n') continue;
        const bool keep = (c >= 32 && c != 127) || c == '\n' || c == '\t';
        record->comment[out++] = keep ? static_cast<char>(c) : '?';
    }
    record->comment[out] = '\0';
}

bool Exif::WriteSections(CRasterFile* file) {
    if (FindScanSection() < 0) {
        SetError("Can't write exif : didn't read all");
        return false;
    }
    auto write = [file](const void* bytes, std::size_t n) {
        return n == 0 || file->Write(bytes, 1, static_cast<unsigned>(n)) == n;
    };
    static constexpr BYTE kStart[2] = {0xFF, 0xD8};
    bool ok = write(kStart, 2);
    if (sections[0].marker != kMarkerApp0 && sections[0].marker != kMarkerApp1)
        ok = ok && write(kJfifSegment, sizeof(kJfifSegment));
    for (int i = 0; ok && i < section_count - 1; ++i) {
        const BYTE head[2] = {0xFF, static_cast<BYTE>(sections[i].marker)};
        ok = write(head, 2) && write(sections[i].data, sections[i].size);
    }
    const Section& last = sections[section_count - 1];
    return ok && write(last.data, last.size);
}

void Exif::KeepExifAndComment() {
    int app1 = -1, comment = -1;
    for (int i = 0; i < section_count; ++i) {
        if (sections[i].marker == kMarkerApp1 && app1 < 0) app1 = i;
        if (sections[i].marker == kMarkerCom && comment < 0) comment = i;
    }
    Section kept[2];
    int keptCount = 0;
    if (app1 >= 0) kept[keptCount++] = sections[app1];
    if (comment >= 0) kept[keptCount++] = sections[comment];
    for (int i = 0; i < section_count; ++i) {
        if (i == app1 || i == comment) continue;
        if (record && Inside(record->thumbnail, sections[i].data, sections[i].size)) {
            record->thumbnail = nullptr;
            record->thumbnail_size = 0;
        }
        std::free(sections[i].data);
    }
    for (int i = 0; i < kMaxSections; ++i) sections[i] = i < keptCount ? kept[i] : Section{};
    section_count = keptCount;
}

int Exif::FindScanSection() const {
    for (int i = 0; i + 1 < section_count; ++i)
        if (sections[i].marker == kMarkerSos) return i;
    return -1;
}

// ---- the EXIF block -------------------------------------------------------------------

unsigned Exif::Get16(const BYTE* p) const {
    return motorola_order ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
}

std::uint32_t Exif::Get32(const BYTE* p) const {
    if (motorola_order)
        return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
               (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
    return (static_cast<std::uint32_t>(p[3]) << 24) | (static_cast<std::uint32_t>(p[2]) << 16) |
           (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
}

bool Exif::ParseExifBlock(const BYTE* data, std::size_t length) {
    if (!data || length < 6 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    const BYTE* base = data + 6;  // the TIFF header: offsets count from here
    const std::size_t tiffLength = length - 6;
    if (tiffLength >= 2 && base[0] == 'I' && base[1] == 'I') {
        motorola_order = false;
    } else if (tiffLength >= 2 && base[0] == 'M' && base[1] == 'M') {
        motorola_order = true;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (tiffLength < 8 || Get16(base + 2) != 42) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    const std::uint32_t firstOffset = Get32(base + 4);

    visited_directories.clear();
    thumbnail_offset = 0;
    thumbnail_size = 0;
    largest_dimension = 0;
    record->thumbnail = nullptr;
    record->thumbnail_size = 0;

    visited_directories.push_back(8);
    ParseDirectory(base + 8, base, tiffLength, 0);
    if (firstOffset >= 9) FollowLink(firstOffset, base, tiffLength, 0);

    if (record->focal_plane_x_resolution != 0.0f)
        record->ccd_width = ToFloat(static_cast<double>(largest_dimension) * record->focal_plane_unit_factor /
                                    record->focal_plane_x_resolution);
    return true;
}

bool Exif::FollowLink(std::uint32_t offset, const BYTE* base, std::size_t length, int nesting) {
    if (offset < 9) return false;
    if (offset >= length) {
        SetError("Illegal subdirectory link");
        return false;
    }
    // A directory read once is not read again: links that loop end here.
    if (std::find(visited_directories.begin(), visited_directories.end(), offset) != visited_directories.end())
        return false;
    if (visited_directories.size() >= kMaxDirectories) return false;
    visited_directories.push_back(offset);
    ParseDirectory(base + offset, base, length, nesting);
    return true;
}

void Exif::ParseDirectory(const BYTE* directory, const BYTE* base, std::size_t length, int nesting) {
    if (nesting >= kMaxDirectoryNesting) {
        SetError("Maximum directory nesting exceeded (corrupt exif header)");
        return;
    }
    const std::size_t start = static_cast<std::size_t>(directory - base);
    if (!RangeInside(start, 2, length)) {
        SetError("Illegally sized directory");
        return;
    }
    const std::size_t entries = Get16(directory);
    if (!RangeInside(start + 2, entries * kDirectoryEntryBytes, length)) {
        SetError("Illegally sized directory");
        return;
    }
    for (std::size_t i = 0; i < entries; ++i) {
        const BYTE* entry = directory + 2 + i * kDirectoryEntryBytes;
        const unsigned tag = Get16(entry);
        const unsigned format = Get16(entry + 2);
        const std::uint32_t components = Get32(entry + 4);
        if (format >= std::size(kFormatBytes)) {
            SetError("Illegal format code in EXIF dir");
            continue;
        }
        const std::uint64_t bytes = *CheckedMul(components, kFormatBytes[format]);
        const BYTE* value = entry + 8;
        if (bytes > 4) {
            const std::uint32_t offset = Get32(entry + 8);
            if (!RangeInside(offset, bytes, length)) {
                SetError("Illegal pointer offset value in EXIF.");
                continue;
            }
            value = base + offset;
        }
        ReadTag(tag, format, value, static_cast<std::size_t>(bytes), base, length, nesting);
    }

    const std::size_t linkAt = start + 2 + entries * kDirectoryEntryBytes;
    if (RangeInside(linkAt, 4, length)) {
        const std::uint32_t next = Get32(base + linkAt);
        if (next != 0 && next < length) FollowLink(next, base, length, nesting + 1);
    }

    if (thumbnail_offset != 0 && thumbnail_size != 0 && RangeInside(thumbnail_offset, thumbnail_size, length)) {
        record->thumbnail = base + thumbnail_offset;
        record->thumbnail_size = static_cast<LONG>(thumbnail_size);
    }
}

double Exif::ReadTagValue(unsigned format, const BYTE* value) const {
    switch (format) {
        case 1: return value[0];
        case 3: return Get16(value);
        case 4: return Get32(value);
        case 5: {
            const std::uint32_t den = Get32(value + 4);
            return den == 0 ? 0.0 : static_cast<double>(Get32(value)) / den;
        }
        case 6: return static_cast<std::int8_t>(value[0]);
        case 8: return static_cast<std::int16_t>(Get16(value));
        case 9: return static_cast<std::int32_t>(Get32(value));
        case 10: {
            const auto den = static_cast<std::int32_t>(Get32(value + 4));
            return den == 0 ? 0.0 : static_cast<double>(static_cast<std::int32_t>(Get32(value))) / den;
        }
        case 11: {
            const std::uint32_t bits = Get32(value);
            float f;
            std::memcpy(&f, &bits, sizeof(f));
            return f;
        }
        case 12: {
            const std::uint64_t first = Get32(value), second = Get32(value + 4);
            // The 8 bytes in the block's order: the high word comes first in Motorola order.
            const std::uint64_t bits = motorola_order ? (first << 32) | second : (second << 32) | first;
            double d;
            std::memcpy(&d, &bits, sizeof(d));
            return d;
        }
        default: return 0.0;
    }
}

void Exif::CopyString(char* target, std::size_t capacity, const BYTE* value, std::size_t bytes) const {
    std::size_t n = 0;
    while (n < bytes && n + 1 < capacity && value[n] != 0) {
        target[n] = static_cast<char>(value[n]);
        ++n;
    }
    target[n] = '\0';
}

void Exif::ReadTag(unsigned tag, unsigned format, const BYTE* value, std::size_t bytes, const BYTE* base,
                   std::size_t length, int nesting) {
    // Numbers need one whole component; a count of 0 gives 0.
    const double number = bytes >= kFormatBytes[format] && bytes > 0 ? ReadTagValue(format, value) : 0.0;
    exif_info_t& r = *record;
    switch (tag) {
        case 271: CopyString(r.camera_make, sizeof(r.camera_make), value, bytes); break;
        case 272: CopyString(r.camera_model, sizeof(r.camera_model), value, bytes); break;
        case 274:
            r.orientation = ToLong(number);
            if (r.orientation < 1 || r.orientation > 8) {
                SetError("Undefined rotation value");
                r.orientation = 0;
            }
            break;
        case 282: r.x_resolution = ToFloat(number); break;
        case 283: r.y_resolution = ToFloat(number); break;
        case 296: r.resolution_unit_factor = UnitFactor(ToLong(number)); break;
        case 513: thumbnail_offset = ToOffset(number); break;
        case 514: thumbnail_size = ToOffset(number); break;
        case 33434: r.exposure_time = ToFloat(number); break;
        case 33437: r.aperture_f_number = ToFloat(number); break;
        case 34850: r.exposure_program = ToLong(number); break;
        case 34855:
            r.iso_equivalent = ToLong(number < 50 ? number * 200 : number);
            break;
        case 36864: CopyString(r.version, sizeof(r.version), value, bytes); break;
        case 36867: CopyString(r.date_time, sizeof(r.date_time), value, bytes); break;
        case 37122: r.compression_level = ToLong(number); break;
        case 37377:
            if (r.exposure_time == 0.0f) r.exposure_time = ToFloat(1.0 / std::exp2(number));
            break;
        case 37378:
        case 37381:
            if (r.aperture_f_number == 0.0f) r.aperture_f_number = ToFloat(std::exp2(number / 2.0));
            break;
        case 37379: r.brightness = ToFloat(number); break;
        case 37380: r.exposure_bias = ToFloat(number); break;
        case 37382: r.subject_distance = ToFloat(number); break;
        case 37383: r.metering_mode = ToLong(number); break;
        case 37384: r.light_source = ToLong(number); break;
        case 37385: r.flash_used = (ToLong(number) & 7) != 0 ? 1 : 0; break;
        case 37386: r.focal_length = ToFloat(number); break;
        case 37510: {
            std::size_t n = bytes;
            while (n > 0 && value[n - 1] == ' ') --n;  // some cameras pad with spaces
            std::size_t from = 0;
            if (n >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
                from = n;
                for (std::size_t a = 5; a < 10 && a < n; ++a)
                    if (value[a] != 0 && value[a] != ' ') {
                        from = a;
                        break;
                    }
                if (from == n) break;
            }
            CopyString(r.comment, kUserCommentChars + 1, value + from, n - from);
            break;
        }
        case 40962:
        case 40963: largest_dimension = std::max(largest_dimension, ToLong(number)); break;
        case 41486: r.focal_plane_x_resolution = ToFloat(number); break;
        case 41487: r.focal_plane_y_resolution = ToFloat(number); break;
        case 41488: r.focal_plane_unit_factor = UnitFactor(ToLong(number)); break;
        case 34665:
        case 40965: FollowLink(ToOffset(number), base, length, nesting + 1); break;
        default: break;
    }
}
