#pragma once
// CRasterJPG: reads and writes JPEG files (type 3) through libjpeg's 6b interface.
//
// Decode reads baseline, progressive and arithmetic-coded files: one component gives an
// 8-bit image with a 256-step grey palette, three give 24 bits, four (CMYK, taken as stored)
// are folded into 24 bits; a quantised decode (option 0x100) gives an 8-bit image whose 256
// palette entries start with the colours libjpeg chose (colours important = their count).
// `jpeg_scale` picks the output size: 0 or 1 full size, 2 and 3 half, 4 to 7 a quarter, 8 and
// above an eighth. The resolution comes from the EXIF block when it gives one, else from the
// JFIF header (kept to 1..65535 dpi). The escape word -1 stores only width, height and type;
// any other non-zero value cancels (false, "Cancelled"). Files whose decoding needs
// more than 512 MB inside libjpeg, or that have more than 1000 scans, are refused.
//
// Encode writes 24-bit images as colour and grey palette images (entry i = grey i, at 1, 4 or
// 8 bits) as one-component JPEG, at GetRoundedQuality() and with the codec option bits of the
// JPEG slot. When this object decoded a file with EXIF data, that block and the first comment
// are written into the new file too.
//
// Failures return false with libjpeg's own message (or the codec's) in GetLastError(); the
// image is left as it was. No error escapes: libjpeg's error exit jumps back into the codec
// frame that started it, which holds no object with a destructor. Nothing is printed.
#include <cstdio>

#include "image/raster.h"

// Camera data of the EXIF block (and the frame header and comment of the file it came from).
// Strings are NUL-terminated; numbers are 0 when the file does not give them.
struct exif_info_t {
    char version[5];             // EXIF version, 4 characters
    char camera_make[32];
    char camera_model[40];
    char date_time[20];          // "YYYY:MM:DD HH:MM:SS"
    LONG height;                 // from the start-of-frame segment
    LONG width;
    LONG orientation;            // 1 to 8; 0 unknown
    LONG is_color;               // the frame has 3 components
    LONG process;                // the start-of-frame marker (0xC0 baseline, 0xC2 progressive, ...)
    LONG flash_used;
    float focal_length;          // mm
    float exposure_time;         // s
    float aperture_f_number;
    float subject_distance;      // m
    float ccd_width;             // mm
    float exposure_bias;
    LONG light_source;
    LONG metering_mode;
    LONG exposure_program;
    LONG iso_equivalent;
    LONG compression_level;
    float focal_plane_x_resolution;
    float focal_plane_y_resolution;
    float focal_plane_unit_factor;
    float x_resolution;
    float y_resolution;
    float resolution_unit_factor;  // resolution unit in inches (1.0 per inch, 1/2.54 per cm, ...)
    float brightness;
    char comment[1000];          // the file's comment, or the EXIF user comment
    const BYTE* thumbnail;       // inside the EXIF block held by the CRasterExif; null without one
    LONG thumbnail_size;         // bytes
    LONG is_exif;                // the file has a valid EXIF block
};

class LUMI_IMAGE_API CRasterJPG : public CRaster {
public:
    class CRasterExif;  // raster_exif.h

    CRasterJPG();
    // Deep copies: the copy gets its own EXIF reader over its own record.
    CRasterJPG(const CRasterJPG& other);
    CRasterJPG& operator=(const CRasterJPG& other);
    ~CRasterJPG() override;

    using CRaster::Decode;
    using CRaster::Encode;
    bool Decode(CRasterFile* file);
    bool Encode(CRasterFile* file);
    // Reads the EXIF block and comment ahead of the image data into the record (replacing
    // what an earlier call read) and puts the stream back where it was. True when the file
    // has a valid EXIF block; otherwise the reason is the last-error text: the reader's
    // message ("Incorrect Exif header", "Premature end of file?", ...), "null file handler",
    // or "no EXIF data" for a readable file without an EXIF block.
    bool DecodeExif(CRasterFile* file);
    // The same on a caller's stream, which stays open.
    bool Decode(FILE* stream);
    bool Encode(FILE* stream);
    bool DecodeExif(FILE* stream);

    const exif_info_t& GetExifInfo() const { return exif_info; }
    // The reader of the last DecodeExif (null before one); owned by this object.
    CRasterExif* GetExif() const { return exif; }
    // Encoder smoothing (0 to 100), used with option bit 0x40.
    void SetSmoothingFactor(int factor) { smoothing_factor = factor; }
    // Decoder dither mode (0 none, 1 ordered, 2 Floyd-Steinberg), used with option bit 0x200.
    void SetDitherMode(int mode) { dither_mode = mode; }

private:
    // DecodeExif without touching the last-error text (Decode reads EXIF data on the side).
    bool ReadExif(CRasterFile* file);
    bool EncodeJpeg(CRasterFile* file);
    bool EncodeWithExif(CRasterFile* file);
    void CopyCodecState(const CRasterJPG& other);

    CRasterExif* exif = nullptr;
    exif_info_t exif_info{};
    int smoothing_factor = 0;
    int dither_mode = 0;
};
