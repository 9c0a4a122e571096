// CRasterGIF: lifetime and the decoder (block scanning, composition, disposal, frames).
#include "image/raster_gif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "image/checked_size.h"
#include "image/codec_failure.h"
#include "image/gif_lzw.h"
#include "image/raster_io_file.h"

using namespace lumi::image;

namespace {

constexpr std::uint64_t kMaxKeptFrameBytes = std::uint64_t{1} << 30;  // all kept frames of one image
constexpr DWORD kMaxScreenSide = 65535;
constexpr char kNotGif[] = "Not a GIF";
constexpr char kNoImage[] = "GIF without image";
constexpr char kNoSuchFrame[] = "GIF frame out of range";
constexpr char kReadError[] = "GIF read error";
constexpr int kExtensionIntroducer = '!';
constexpr int kImageIntroducer = ',';
constexpr int kTrailer = ';';
constexpr int kGraphicControlLabel = 0xF9;
constexpr int kCommentLabel = 0xFE;
constexpr int kApplicationLabel = 0xFF;
constexpr BYTE kTableFlag = 0x80;
constexpr BYTE kInterlaceFlag = 0x40;

struct ScreenDescriptor {
    DWORD width = 0;
    DWORD height = 0;
    BYTE flags = 0;
    BYTE background = 0;  // index into the global table
};

struct ColorTable {
    DWORD count = 0;  // 0: no table
    BYTE rgb[256 * 3] = {};

    bool SameAs(const ColorTable& other) const {
        return count == other.count && std::memcmp(rgb, other.rgb, count * 3) == 0;
    }
    // Bits per pixel of an image that uses this table.
    DWORD Bits() const { return count <= 2 ? 1 : count <= 16 ? 4 : 8; }
};

// The graphic control extension in force for the next image.
struct GraphicControl {
    bool transparent = false;
    BYTE transparent_index = 0;
    WORD delay = 0;     // 1/100 s
    BYTE disposal = 0;  // 0 to 7

    LONG BackgroundIndex() const { return transparent ? transparent_index : -1; }
    bool SameTransparency(const GraphicControl& other) const {
        return transparent == other.transparent && (!transparent || transparent_index == other.transparent_index);
    }
};

struct ImageDescriptor {
    DWORD left = 0, top = 0, width = 0, height = 0;
    BYTE flags = 0;

    // An image without pixels is passed over like one wholly outside the screen; one that
    // reaches past the screen is drawn clipped to it (the first image with pixels has grown
    // the screen to hold it whole: WalkBlocks).
    bool Overlaps(const ScreenDescriptor& screen) const {
        return width > 0 && height > 0 && left < screen.width && top < screen.height;
    }
    // Columns and rows of the image that lie on a canvas of that size.
    DWORD VisibleWidth(DWORD canvasWidth) const { return std::min(width, canvasWidth - left); }
    DWORD VisibleHeight(DWORD canvasHeight) const { return std::min(height, canvasHeight - top); }
};

// What the extensions of the file said.
struct StreamState {
    GraphicControl control;
    bool has_comment = false;
    char comment[256] = {};
    bool has_loop = false;
    DWORD loop_raw = 0;  // as stored: repetitions after the first play, 0 for ever
};

bool ReadTable(GifByteSource& source, BYTE flags, ColorTable& table) {
    table.count = 2u << (flags & 7);
    return source.Read(table.rgb, table.count * 3) == table.count * 3;
}

// Header, logical screen and global table. False without the signature or when the screen
// descriptor is cut short.
bool ReadPrologue(GifByteSource& source, ScreenDescriptor& screen, ColorTable& global, bool withTable) {
    BYTE h[13];
    if (source.Read(h, sizeof(h)) != sizeof(h)) return false;
    if (std::memcmp(h, "GIF8", 4) != 0) return false;
    screen.width = Le16(h + 6);
    screen.height = Le16(h + 8);
    screen.flags = h[10];
    screen.background = h[11];
    global.count = 0;
    // A short table leaves no image to decode, which fails later.
    if (withTable && (screen.flags & kTableFlag) && !ReadTable(source, screen.flags, global)) global.count = 0;
    return true;
}

bool ReadExtension(GifByteSource& source, StreamState& state) {
    const int label = source.Next();
    if (label < 0) return false;
    BYTE block[256];
    if (label == kGraphicControlLabel || label == kCommentLabel) {
        const int n = source.Next();
        if (n < 0 || source.Read(block, static_cast<std::size_t>(n)) != static_cast<std::size_t>(n)) return false;
        if (n == 0) return true;  // that was the terminator
        if (label == kGraphicControlLabel && n == 4) {
            state.control.transparent = (block[0] & 1) != 0;
            state.control.disposal = static_cast<BYTE>((block[0] >> 2) & 7);
            state.control.delay = Le16(block + 1);
            state.control.transparent_index = block[3];
        } else if (label == kCommentLabel) {
            std::memcpy(state.comment, block, static_cast<std::size_t>(n));
            state.comment[n] = '\0';
            state.has_comment = true;
        }
        return source.SkipSubBlocks();
    }
    if (label == kApplicationLabel) {
        if (source.Next() != 11) return false;
        BYTE id[11];
        if (source.Read(id, sizeof(id)) != sizeof(id)) return false;
        const int m = source.Next();
        if (m < 0 || source.Read(block, static_cast<std::size_t>(m)) != static_cast<std::size_t>(m)) return false;
        if (m == 0) return true;
        // Other applications' blocks (XMP, ...) carry no loop count.
        const bool looping = std::memcmp(id, "NETSCAPE2.0", 11) == 0 || std::memcmp(id, "ANIMEXTS1.0", 11) == 0;
        if (looping && m >= 3 && block[0] == 1) {
            state.loop_raw = Le16(block + 1);
            state.has_loop = true;
        }
        return source.SkipSubBlocks();
    }
    return source.SkipSubBlocks();
}

enum class WalkResult { kDone, kCancelled, kFailed };

// Scans the blocks after the global table. A byte counts as a block introducer only while
// the scanner is in sync; any other byte but 0 puts it out of sync until a 0 byte. The first
// image with pixels grows the screen to its right and bottom edges where it reaches past
// them (a header without screen size takes them), so that a lone image is shown whole.
// Images that overlap the screen go to onImage, which must consume their data (from the
// minimum code size byte on) and returns false to fail the walk; the others are passed over.
// Each image ends the scope of the graphic control extension before it.
template <class OnImage>
WalkResult WalkBlocks(GifByteSource& source, ScreenDescriptor& screen, const ColorTable& global, StreamState& state,
                      const LONG* cancel, OnImage&& onImage) {
    bool grown = false;
    for (;;) {
        if (cancel && *cancel > 0) return WalkResult::kCancelled;
        int b = 0;
        bool inSync = true;
        for (;;) {
            b = source.Next();
            if (b < 0) return WalkResult::kDone;
            if (inSync && (b == kExtensionIntroducer || b == kImageIntroducer || b == kTrailer)) break;
            inSync = b == 0;
        }
        if (b == kTrailer) return WalkResult::kDone;
        if (b == kExtensionIntroducer) {
            if (!ReadExtension(source, state)) return WalkResult::kDone;
            continue;
        }
        BYTE d[9];
        if (source.Read(d, sizeof(d)) != sizeof(d)) return WalkResult::kDone;
        ImageDescriptor image{Le16(d), Le16(d + 2), Le16(d + 4), Le16(d + 6), d[8]};
        if (!grown && image.width > 0 && image.height > 0) {
            // Within the 16 bits a screen side has (the rest of a far-placed image is clipped).
            screen.width = std::max(screen.width, std::min<DWORD>(image.left + image.width, kMaxScreenSide));
            screen.height = std::max(screen.height, std::min<DWORD>(image.top + image.height, kMaxScreenSide));
            grown = true;
        }
        ColorTable local;
        if ((image.flags & kTableFlag) && !ReadTable(source, image.flags, local)) return WalkResult::kDone;
        const GraphicControl control = state.control;
        state.control = GraphicControl{};
        if (!image.Overlaps(screen)) {
            if (source.Skip(1) != 1 || !source.SkipSubBlocks()) return WalkResult::kDone;
            continue;
        }
        if (!onImage(image, local.count ? local : global, control)) return WalkResult::kFailed;
    }
}

// How the images of a file are composed.
enum class CanvasMode {
    kIndexed,    // palette canvas: every image uses the first one's table and transparency
    kRgba,       // 24 bits and alpha: the images' tables or transparency differ
    kTrueColor,  // tiled true-colour file: every pixel written, no transparency
};

struct FileSummary {
    LONG images = 0;
    ColorTable first_table;
    GraphicControl first_control;
    bool first_smaller_both_ways = false;
    bool tables_differ = false;
};

// Composes the decoded lines of one image onto the canvas, at the rows that the image's
// interlacing gives them. Lines past the image's last row are dropped.
class FrameComposer : public GifLineSink {
public:
    FrameComposer(CRaster& canvas, CanvasMode mode, const ImageDescriptor& image, const RGBQUAD* palette,
                  const GraphicControl& control)
        : canvas_(canvas), mode_(mode), image_(image), palette_(palette), control_(control),
          interlaced_((image.flags & kInterlaceFlag) != 0), step_(interlaced_ ? 8 : 1) {}

    int StoreLine(const BYTE* line, DWORD length) override {
        if (row_ >= image_.height) return 0;
        // Rows and columns past the screen's edge are dropped.
        if (row_ < image_.VisibleHeight(canvas_.GetHeight())) {
            const LONG y = static_cast<LONG>(canvas_.GetHeight() - 1 - (image_.top + row_));
            ComposeRow(line, std::min(length, image_.VisibleWidth(canvas_.GetWidth())), y);
        }
        Advance();
        return 0;
    }

private:
    void ComposeRow(const BYTE* line, DWORD n, LONG y) {
        const LONG left = static_cast<LONG>(image_.left);
        const bool skip = control_.transparent && mode_ != CanvasMode::kTrueColor;
        const BYTE key = control_.transparent_index;
        if (mode_ == CanvasMode::kIndexed) {
            if (canvas_.GetBpp() == 8) {
                BYTE* row = canvas_.GetBits(static_cast<DWORD>(y)) + left;
                for (DWORD x = 0; x < n; ++x)
                    if (!skip || line[x] != key) row[x] = line[x];
            } else {
                for (DWORD x = 0; x < n; ++x)
                    if (!skip || line[x] != key) canvas_.WritePixelIndex(left + static_cast<LONG>(x), y, line[x]);
            }
            return;
        }
        BYTE* row = canvas_.GetBits(static_cast<DWORD>(y)) + static_cast<std::size_t>(left) * 3;
        BYTE* alpha = mode_ == CanvasMode::kRgba ? canvas_.GetAlphaPointer(left, y) : nullptr;
        for (DWORD x = 0; x < n; ++x) {
            if (skip && line[x] == key) continue;
            const RGBQUAD c = palette_[line[x]];
            row[x * 3] = c.rgbBlue;
            row[x * 3 + 1] = c.rgbGreen;
            row[x * 3 + 2] = c.rgbRed;
            if (alpha) alpha[x] = 255;
        }
    }

    // Interlaced rows come in four passes: every 8th row from 0, every 8th from 4, every
    // 4th from 2, every 2nd from 1; a pass that starts past the last row is skipped.
    void Advance() {
        row_ += step_;
        if (!interlaced_) return;
        static constexpr DWORD kStart[4] = {0, 4, 2, 1};
        static constexpr DWORD kStep[4] = {8, 8, 4, 2};
        while (row_ >= image_.height && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
            step_ = kStep[pass_];
        }
    }

    CRaster& canvas_;
    CanvasMode mode_;
    const ImageDescriptor& image_;
    const RGBQUAD* palette_;
    const GraphicControl& control_;
    bool interlaced_;
    DWORD step_;
    DWORD row_ = 0;
    int pass_ = 0;
};

// The palette of an image: its table, padded with white when the image has a transparent
// index and with black otherwise.
void BuildPalette(const ColorTable& table, const GraphicControl& control, RGBQUAD palette[256]) {
    const BYTE pad = control.transparent ? 255 : 0;
    for (DWORD i = 0; i < 256; ++i) {
        if (i < table.count)
            palette[i] = RGBQUAD{table.rgb[i * 3 + 2], table.rgb[i * 3 + 1], table.rgb[i * 3], 0};
        else
            palette[i] = RGBQUAD{pad, pad, pad, 0};
    }
}

// Bytes an image holds (block and alpha plane); anything that does not add up counts as
// more than any budget.
std::uint64_t ImageMemory(const CRaster& image) {
    const auto plane = image.HasAlpha() ? lumi::image::CheckedMul(image.GetWidth(), image.GetHeight())
                                        : std::optional<std::uint64_t>(0);
    const auto total = plane ? lumi::image::CheckedAdd(image.GetSize(), *plane) : std::nullopt;
    return total ? *total : UINT64_MAX;
}

// Sets the rectangle of an image on the canvas to the background fill.
void ClearRectangle(CRaster& canvas, CanvasMode mode, const ImageDescriptor& image, BYTE fillIndex, RGBQUAD fill,
                    BYTE fillAlpha) {
    const DWORD width = image.VisibleWidth(canvas.GetWidth()), height = image.VisibleHeight(canvas.GetHeight());
    for (DWORD r = 0; r < height; ++r) {
        const LONG y = static_cast<LONG>(canvas.GetHeight() - 1 - (image.top + r));
        for (DWORD c = 0; c < width; ++c) {
            const LONG x = static_cast<LONG>(image.left + c);
            if (mode == CanvasMode::kIndexed) {
                canvas.WritePixelIndex(x, y, fillIndex);
            } else {
                fill.rgbReserved = fillAlpha;
                canvas.WritePixelColor(x, y, fill, true);
            }
        }
    }
}

// How the screen of a file is composed, decided from the first pass.
struct CanvasLayout {
    CanvasMode mode = CanvasMode::kIndexed;
    DWORD bits = 8;
    // The fill of the screen before the first image and of a rectangle disposed to the
    // background: the first image's transparent index, else the screen's background.
    BYTE fill_index = 0;
    BYTE fill_alpha = 255;
    LONG background_index = -1;  // of the composed screen and its frames
    RGBQUAD first_palette[256] = {};
};

CanvasLayout ChooseLayout(const FileSummary& summary, const ScreenDescriptor& screen, const ColorTable& global) {
    CanvasLayout layout;
    const int trueColorReasons = (global.count == 0 ? 1 : 0) + (summary.first_smaller_both_ways ? 1 : 0);
    if (summary.images > 1 && trueColorReasons >= 2)
        layout.mode = CanvasMode::kTrueColor;
    else if (summary.images > 1 && summary.tables_differ)
        layout.mode = CanvasMode::kRgba;
    layout.bits = layout.mode != CanvasMode::kIndexed ? 24 : summary.images > 1 ? 8 : summary.first_table.Bits();
    const GraphicControl& first = summary.first_control;
    BuildPalette(summary.first_table, first, layout.first_palette);
    const DWORD colors = layout.bits <= 8 ? (1u << layout.bits) : 256;
    const bool transparent = first.transparent && first.transparent_index < colors;
    layout.fill_index = transparent ? first.transparent_index : screen.background;
    if (layout.fill_index >= colors) layout.fill_index = 0;
    layout.fill_alpha = transparent ? 0 : 255;
    layout.background_index = layout.mode == CanvasMode::kIndexed && transparent ? layout.fill_index : -1;
    return layout;
}

// Composes the images of a file one by one onto the screen, applies each image's disposal
// before the next one, and keeps a copy of every composed screen when asked.
class ScreenComposer {
public:
    ScreenComposer(const CRaster& settings, const CanvasLayout& layout)
        : layout_(layout), canvas_(kRasterTypeGif), keeping_(settings.GetLoadAllFrames()),
          max_frames_(settings.GetMaxKeptFrames()) {
        canvas_.CopySettings(settings);
    }

    LONG images() const { return images_; }
    CRaster& canvas() { return canvas_; }
    std::vector<std::unique_ptr<CRaster>>& kept() { return kept_; }

    // Decodes the image's data from source onto the screen. A failure ends the decode with
    // its reason (empty: the screen's creation left its own): the screen cannot be
    // allocated, memory ran out, or escape was set.
    const char* AddImage(GifByteSource& source, const ScreenDescriptor& screen, const ImageDescriptor& image,
                         const ColorTable& table, const GraphicControl& control, const LONG& escape) {
        if (images_ == 0 && !CreateCanvas(screen)) return canvas_.GetLastError()[0] ? "" : kNoMemory;
        RGBQUAD palette[256];
        BuildPalette(table, control, palette);
        if (layout_.mode != CanvasMode::kTrueColor) {
            // The previous image's disposal takes effect only now, so that the last image
            // stays on the screen that is handed out.
            if (last_control_.disposal == 2)
                ClearRectangle(canvas_, layout_.mode, last_image_, layout_.fill_index,
                               layout_.first_palette[layout_.fill_index], layout_.fill_alpha);
            else if (last_control_.disposal >= 3 && previous_)
                canvas_.MoveFrom(*previous_, false);
            if (control.disposal >= 3) previous_ = std::make_unique<CRaster>(canvas_);
        }
        FrameComposer composer(canvas_, layout_.mode, image, palette, control);
        DWORD badCodes = 0;
        if (decoder_.Decode(source, image.width, &composer, badCodes) == GifLzwDecoder::kNoMemory) return kNoMemory;
        if (escape != 0) return kCancelled;
        if (keeping_ && layout_.mode != CanvasMode::kTrueColor) KeepFrame(control, layout_.background_index);
        last_control_ = control;
        last_image_ = image;
        std::memcpy(last_palette_, palette, sizeof(palette));
        ++images_;
        return nullptr;
    }

    // The composed screen, with the last image's delay and disposal.
    CRaster& Finish(LONG fileImages) {
        if (layout_.mode == CanvasMode::kTrueColor) {
            canvas_.SetCurrentFrame(fileImages - 1);
            if (last_control_.transparent) {
                canvas_.SetBackgroundColor(last_palette_[last_control_.transparent_index]);
                canvas_.SetBackgroundIndex(0);
            }
        }
        canvas_.SetFrameDelay(last_control_.delay);
        canvas_.SetGifDisposal(last_control_.disposal);
        canvas_.SetOffset(0, 0);
        // The tiles of a true-colour file make one picture: it is the only frame.
        if (keeping_ && layout_.mode == CanvasMode::kTrueColor) KeepFrame(last_control_, canvas_.GetBackgroundIndex());
        return canvas_;
    }

private:
    bool CreateCanvas(const ScreenDescriptor& screen) {
        if (!canvas_.Create(screen.width, screen.height, layout_.bits, kRasterTypeGif)) return false;
        if (layout_.mode == CanvasMode::kIndexed) {
            canvas_.SetPalette(layout_.first_palette, 256);
            canvas_.Clear(layout_.fill_index);
        }
        canvas_.SetBackgroundIndex(layout_.background_index);
        if (layout_.mode == CanvasMode::kRgba) {
            if (!canvas_.CreateAlpha()) return false;
            const RGBQUAD fill = layout_.first_palette[layout_.fill_index];
            for (DWORD y = 0; y < screen.height; ++y) {
                BYTE* row = canvas_.GetBits(y);
                for (DWORD x = 0; x < screen.width; ++x) {
                    row[x * 3] = fill.rgbBlue;
                    row[x * 3 + 1] = fill.rgbGreen;
                    row[x * 3 + 2] = fill.rgbRed;
                }
            }
            canvas_.FillAlpha(layout_.fill_alpha);
        }
        return true;
    }

    void KeepFrame(const GraphicControl& control, LONG backgroundIndex) {
        // Both limits are checked before the copy is made: a file of many frames on a large
        // screen must not get past them one allocation at a time.
        const std::uint64_t bytes = ImageMemory(canvas_);
        if ((max_frames_ > 0 && kept_.size() >= static_cast<std::size_t>(max_frames_)) ||
            bytes > kMaxKeptFrameBytes - kept_bytes_) {
            keeping_ = false;
            return;
        }
        auto frame = std::make_unique<CRaster>(canvas_);
        if (!frame->IsValid()) {
            keeping_ = false;
            return;
        }
        kept_bytes_ += bytes;
        frame->SetLoadAllFrames(false);
        frame->SetFrameDelay(control.delay);
        frame->SetGifDisposal(control.disposal);
        frame->SetBackgroundIndex(backgroundIndex);
        kept_.push_back(std::move(frame));
    }

    const CanvasLayout layout_;
    CRaster canvas_;
    std::unique_ptr<CRaster> previous_;  // the screen before an image with disposal 3
    std::vector<std::unique_ptr<CRaster>> kept_;
    std::uint64_t kept_bytes_ = 0;
    bool keeping_;
    const LONG max_frames_;  // 0: no count limit
    GifLzwDecoder decoder_;
    GraphicControl last_control_;
    ImageDescriptor last_image_;
    RGBQUAD last_palette_[256] = {};
    LONG images_ = 0;
};

}  // namespace

// ---- lifetime -----------------------------------------------------------------------

CRasterGIF::CRasterGIF() : CRaster(kRasterTypeGif) { info.gif_disposal = 0; }

CRasterGIF::CRasterGIF(const CRasterGIF& other) : CRaster(other, true, true) {
    std::memcpy(comment_, other.comment_, sizeof(comment_));
    loop_count_ = other.loop_count_;
}

CRasterGIF& CRasterGIF::operator=(const CRasterGIF& other) {
    if (this == &other) return *this;
    CRaster::operator=(other);
    std::memcpy(comment_, other.comment_, sizeof(comment_));
    loop_count_ = other.loop_count_;
    return *this;
}

CRasterGIF::~CRasterGIF() = default;

void CRasterGIF::GetComment(char* buffer) const {
    if (!buffer) return;
    std::memcpy(buffer, comment_, 255);
    buffer[255] = '\0';
}

void CRasterGIF::SetComment(const char* text) {
    if (!text) return;
    std::strncpy(comment_, text, 255);
    comment_[255] = '\0';
}

// ---- decoding -----------------------------------------------------------------------

bool CRasterGIF::Decode(FILE* stream) {
    if (!stream) return Decode(static_cast<CRasterFile*>(nullptr));
    CRasterIOFile file(stream);
    return Decode(&file);
}

bool CRasterGIF::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    // Memory for frames and copies: a failed decode, this object untouched.
    const char* failure = RunCatching([&] { return DecodeStream(file); }, kNoMemory, kNoMemory);
    if (failure && *failure) SetLastError(failure);
    return !failure;
}

const char* CRasterGIF::DecodeStream(CRasterFile* file) {
    const long start = file->Tell();
    ScreenDescriptor screen;
    ColorTable global;
    FileSummary summary;
    {
        // First pass: count the images and see whether they share one colour table. It
        // reads the structure only, so nothing of it lands in this object.
        GifByteSource source(file);
        if (!ReadPrologue(source, screen, global, true)) return kNotGif;
        if (info.escape == -1) {
            // The first image may grow the screen: a caller that checks the size it is told
            // must see the one the decode makes.
            StreamState scanState;
            WalkBlocks(source, screen, global, scanState, nullptr,
                       [](const ImageDescriptor&, const ColorTable&, const GraphicControl&) { return false; });
            if (!DestroyFrames() || !Destroy()) return "";
            header.biWidth = static_cast<LONG>(screen.width);
            header.biHeight = static_cast<LONG>(screen.height);
            info.type = kRasterTypeGif;
            return nullptr;
        }
        StreamState scanState;
        WalkBlocks(source, screen, global, scanState, nullptr,
                   [&](const ImageDescriptor& image, const ColorTable& table, const GraphicControl& control) {
                       if (summary.images == 0) {
                           summary.first_table = table;
                           summary.first_control = control;
                           summary.first_smaller_both_ways =
                               image.width != screen.width && image.height != screen.height;
                       } else if (!table.SameAs(summary.first_table) ||
                                  !control.SameTransparency(summary.first_control)) {
                           summary.tables_differ = true;
                       }
                       ++summary.images;
                       // A cut-off image still counts: the second pass decodes what is there.
                       if (source.Skip(1) == 1) source.SkipSubBlocks();
                       return true;
                   });
    }
    if (summary.images == 0) return kNoImage;
    if (info.current_frame < 0 || info.current_frame >= summary.images) return kNoSuchFrame;

    if (!file->Seek(start, 0)) return kReadError;
    GifByteSource source(file);
    if (!ReadPrologue(source, screen, global, true)) return kReadError;
    ScreenComposer composer(*this, ChooseLayout(summary, screen, global));
    StreamState state;
    const char* failure = nullptr;
    const WalkResult walk = WalkBlocks(
        source, screen, global, state, &info.escape,
        [&](const ImageDescriptor& image, const ColorTable& table, const GraphicControl& control) {
            if (composer.images() >= summary.images) {
                // More images than the first pass saw: the rest is passed over.
                if (source.Skip(1) == 1) source.SkipSubBlocks();
                return true;
            }
            failure = composer.AddImage(source, screen, image, table, control, info.escape);
            return failure == nullptr;
        });
    if (walk == WalkResult::kCancelled) return kCancelled;
    if (failure) {
        if (!*failure) SetLastError(composer.canvas().GetLastError());
        return failure;
    }
    if (composer.images() == 0) return kNoImage;
    CRaster& canvas = composer.Finish(summary.images);
    std::vector<std::unique_ptr<CRaster>>& kept = composer.kept();

    // Everything is ready: only now does this object change.
    CRaster** frameArray = nullptr;
    if (!kept.empty()) frameArray = new CRaster*[kept.size()];
    if (!DestroyFrames() || !MoveFrom(canvas, false)) {
        delete[] frameArray;
        return "";
    }
    info.type = kRasterTypeGif;
    // Kept frames: the count is what the array holds, so every frame below it exists.
    for (std::size_t i = 0; i < kept.size(); ++i) frameArray[i] = kept[i].release();
    frames = frameArray;
    info.frame_count = info.keep_all_frames ? static_cast<LONG>(kept.size()) : summary.images;
    loop_count_ = state.has_loop ? (state.loop_raw == 0 ? 0 : static_cast<int>(state.loop_raw) + 1) : 1;
    if (state.has_comment)
        std::memcpy(comment_, state.comment, sizeof(comment_));
    else
        comment_[0] = '\0';
    return nullptr;
}
