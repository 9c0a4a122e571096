// Fuzzes the EXIF reader: the block parser on the input as it is, and the segment reader in
// both modes on the input as a file, followed by the copy, keep and write steps the JPEG
// encoder uses.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/raster_exif.h"
#include "image/raster_mem_file.h"

using Exif = CRasterJPG::CRasterExif;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact heap copy, so any read past the input shows.
    std::vector<BYTE> bytes(data, data + size);

    Exif block;
    block.ParseExifBlock(bytes.data(), bytes.size());

    for (int mode : {Exif::kReadExif, Exif::kReadExif | Exif::kReadImageData}) {
        exif_info_t record{};
        Exif sections(&record);
        CRasterMemFile input(bytes.data(), static_cast<unsigned>(bytes.size()));
        const bool read = sections.ReadJpegSections(&input, mode);
        if (record.thumbnail) {
            volatile BYTE last = record.thumbnail[record.thumbnail_size - 1];
            (void)last;
        }
        Exif copy(sections);
        if (read && (mode & Exif::kReadImageData)) {
            CRasterMemFile output;
            output.Open();
            copy.WriteSections(&output);
        }
        copy.KeepExifAndComment();
        if (copy.GetSectionCount() > 2) __builtin_trap();
    }
    return 0;
}
