#pragma once
// CRasterGIF: reads and writes GIF files (type 2), versions 87a and 89a.
//
// Decode composes every image of the file onto the logical screen, frame by frame, with the
// disposal method of each frame's graphic control extension (0 and 1 leave the frame, 2
// clears its rectangle to the background, 3 restores the screen as it was before the frame).
// A graphic control extension applies to the next image only. The result is the screen after
// the last image:
//   - one image: a palette image of the table's depth (1, 4 or 8 bits);
//   - several images that all use the first image's colour table and transparency: an 8-bit
//     palette image whose background index is the first image's transparent index;
//   - several images whose tables or transparency differ: a 24-bit image with an alpha plane
//     (0 where nothing opaque was drawn);
//   - tiled true-colour files (no global table, a first image smaller than the screen both
//     ways, more than one image): a 24-bit image; a transparent colour becomes the background
//     colour with background index 0.
// With SetLoadAllFrames(true) every composed screen is also kept as a frame (GetFrame), with
// the delay and disposal of its image and the composition's transparency (a tiled
// true-colour file gives one frame, the picture); frames stop being kept once they hold
// 1 GiB together. GetFrameCount() is then the number of frames kept, each of them present;
// without it, the number of images in the file.
//
// An image that reaches past the screen is drawn clipped to it (the screen keeps the size
// the file gives, as the header-only run reports it); images wholly outside the screen (or
// without pixels) are passed over and not counted. Rows that an image's data does not reach
// leave the screen as it was. A file that
// ends early keeps what was decoded and succeeds. A failure leaves its reason: "Not a GIF"
// (no "GIF8" signature or a cut header), "GIF without image", "GIF frame out of range"
// (current_frame), "Cancelled", "can't allocate memory", "GIF read error" (the stream could
// not be read again), or CRaster::Create's message when the screen cannot be allocated.
// The header-only run (escape -1) stores the screen size and type and returns true; a file
// whose header gives a 0 x 0 screen reports the first image's extent (at most 65535 a side),
// the screen a decode makes. On failure this object is left as it was (its message aside). Nothing is thrown.
//
// SetMaxKeptFrames bounds the frames kept; either limit is checked before a frame is copied.
//
// Encode writes one palette image, the frames of an image that has a frame array (as an
// animation), or a true-colour image as tiles of at most 17 x 15 pixels, each with its own
// colour table. The GIF codec option word picks the compressor: 1 one code per pixel, 2 run
// codes, anything else LZW. Images wider, taller or placed further than 65535 pixels are
// refused with "image too large for format".
//
// Loop count: the number of times an animation plays, 0 for ever. Decoding sets it from the
// file's NETSCAPE2.0 block (a file without one plays once: 1); the animation writer writes
// no block for 1.
#include <cstdio>

#include "image/raster.h"

namespace lumi::image {
class GifByteSource;
}

class LUMI_IMAGE_API CRasterGIF : public CRaster {
public:
    CRasterGIF();
    CRasterGIF(const CRasterGIF& other);
    CRasterGIF& operator=(const CRasterGIF& other);
    ~CRasterGIF() override;

    bool Decode(CRasterFile* file);
    bool Decode(FILE* stream);  // the stream stays open
    bool Encode(CRasterFile* file);
    bool Encode(FILE* stream);
    // Writes images as an animation: the first image's palette is the global table; the
    // others get a local table when localColorTables is set. Each image brings its own
    // transparency, delay and offset; the disposal method, comment and loop count are this
    // object's. False with a message when an image is missing, empty or has no palette.
    bool Encode(CRasterFile* file, CRaster** images, int count, bool localColorTables);
    bool Encode(FILE* stream, CRaster** images, int count, bool localColorTables);

    int GetLoopCount() const { return loop_count_; }
    void SetLoopCount(int loops) { loop_count_ = loops; }
    // Copies the comment (at most 255 characters and a terminator) into buffer.
    void GetComment(char* buffer) const;
    // Keeps at most 255 characters; null is ignored.
    void SetComment(const char* text);

private:
    // Null on success, else the reason of the failure (empty: the message is already set).
    const char* DecodeStream(CRasterFile* file);
    bool EncodeSingle(CRasterFile* file);
    bool EncodeTrueColor(CRasterFile* file);
    bool EncodeAnimation(CRasterFile* file, CRaster** images, int count, bool localColorTables);

    char comment_[256] = {};
    int loop_count_ = 0;
};
