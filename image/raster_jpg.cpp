#include "image/raster_jpg.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// jpeglib.h needs <cstdio> first.
#include <jerror.h>
#include <jpeglib.h>

#include "image/checked_size.h"
#include "image/codec_failure.h"
#include "image/decoder_access.h"
#include "image/raster_exif.h"
#include "image/raster_file.h"
#include "image/raster_io_file.h"
#include "image/raster_mem_file.h"

namespace {

constexpr char kTooManyScans[] = "JPEG has too many scans";
constexpr char kOutOfMemory[] = "Insufficient memory";
constexpr char kNoExif[] = "no EXIF data";

// Codec option bits of the JPEG slot.
constexpr DWORD kOptionBaseline = 0x01;
constexpr DWORD kOptionArithmetic = 0x02;
constexpr DWORD kOptionWriteGrey = 0x04;
constexpr DWORD kOptionOptimize = 0x08;
constexpr DWORD kOptionProgressive = 0x10;
constexpr DWORD kOptionSmoothing = 0x40;
constexpr DWORD kOptionReadGrey = 0x80;
constexpr DWORD kOptionQuantize = 0x100;
constexpr DWORD kOptionDither = 0x200;
constexpr DWORD kOptionOnePassQuantize = 0x400;
constexpr DWORD kOptionNoFancyUpsampling = 0x800;
constexpr DWORD kOptionSampling2x1 = 0x1000;
constexpr DWORD kOptionSampling1x1 = 0x2000;

constexpr std::size_t kStreamBufferBytes = 4096;
// Whole-image buffers of progressive files stay within twice the pixel limit; libjpeg fails
// a file that needs more instead of allocating it.
constexpr long kMaxLibjpegMemory = static_cast<long>(2 * lumi::image::kMaxPixelBytes);
// Every scan of a progressive file walks the whole image: a few bytes per scan would
// otherwise buy unbounded decoding time. Real files have about ten.
constexpr int kMaxScans = 1000;

// The libjpeg source and destination managers over a CRasterFile.
struct JpegStreamManager {
    jpeg_source_mgr source;
    jpeg_destination_mgr destination;
    CRasterFile* file;
    JOCTET buffer[kStreamBufferBytes];
    boolean start_of_file;
};

struct JpegErrorHandler {
    jpeg_error_mgr manager;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    const volatile LONG* escape;  // a non-zero value cancels the decode
    bool cancelled;
    bool too_many_scans;
};

// What the callbacks reach through client_data.
struct JpegContext {
    JpegErrorHandler error;
    JpegStreamManager stream;
};

// One libjpeg run. Plain data only: libjpeg's error exit jumps over the frames that use it.
struct DecodeJob {
    JpegContext context;
    jpeg_decompress_struct cinfo;
    JDIMENSION width;        // output size of a header-only run
    JDIMENSION height;
    bool create_failed;      // the target's message says why
    bool saw_jfif;
    UINT8 density_unit;
    UINT16 x_density;
    UINT16 y_density;
};

struct EncodeJob {
    JpegContext context;
    jpeg_compress_struct cinfo;
};

struct DecodeSettings {
    DWORD options;
    BYTE scale;
    int dither_mode;
    int colors;
    bool header_only;
};

struct EncodeSettings {
    DWORD options;
    int quality;
    int smoothing;
    bool grey;
    UINT16 x_density;
    UINT16 y_density;
};

enum class RunResult { kDone, kFailed, kCancelled };

JpegContext* ContextOf(j_common_ptr cinfo) { return static_cast<JpegContext*>(cinfo->client_data); }

void ErrorExit(j_common_ptr cinfo) {
    JpegContext* context = ContextOf(cinfo);
    (*cinfo->err->format_message)(cinfo, context->error.message);
    std::longjmp(context->error.jump, 1);
}

// Warnings (a truncated file among them) stay silent: the library prints nothing.
void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
    JpegContext* context = ContextOf(cinfo);
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        context->error.too_many_scans = true;
        std::longjmp(context->error.jump, 1);
    }
    // -1 (header only) never reaches a pass that reports progress; any other value cancels.
    if (context->error.escape && *context->error.escape != 0 && *context->error.escape != -1) {
        context->error.cancelled = true;
        std::longjmp(context->error.jump, 1);
    }
}

void InitErrorHandler(JpegContext* context, j_common_ptr cinfo, const volatile LONG* escape) {
    jpeg_std_error(&context->error.manager);
    context->error.manager.error_exit = ErrorExit;
    context->error.manager.output_message = OutputMessage;
    context->error.progress.progress_monitor = ProgressMonitor;
    context->error.escape = escape;
    cinfo->err = &context->error.manager;
    cinfo->client_data = context;
}

// ---- source manager -------------------------------------------------------------------

void InitSource(j_decompress_ptr cinfo) {
    ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->stream.start_of_file = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegStreamManager& s = ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->stream;
    std::size_t n = s.file->Read(s.buffer, 1, kStreamBufferBytes);
    if (n == 0) {
        if (s.start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A truncated file ends in a fake end-of-image marker: libjpeg fills the rest.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s.buffer[0] = 0xFF;
        s.buffer[1] = JPEG_EOI;
        n = 2;
    }
    s.source.next_input_byte = s.buffer;
    s.source.bytes_in_buffer = n;
    s.start_of_file = FALSE;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    while (static_cast<std::size_t>(count) > source->bytes_in_buffer) {
        count -= static_cast<long>(source->bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// ---- destination manager --------------------------------------------------------------

void InitDestination(j_compress_ptr cinfo) {
    JpegStreamManager& s = ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->stream;
    s.destination.next_output_byte = s.buffer;
    s.destination.free_in_buffer = kStreamBufferBytes;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegStreamManager& s = ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->stream;
    if (s.file->Write(s.buffer, 1, kStreamBufferBytes) != kStreamBufferBytes) ERREXIT(cinfo, JERR_FILE_WRITE);
    s.destination.next_output_byte = s.buffer;
    s.destination.free_in_buffer = kStreamBufferBytes;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    JpegStreamManager& s = ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->stream;
    const std::size_t n = kStreamBufferBytes - s.destination.free_in_buffer;
    if (n > 0 && s.file->Write(s.buffer, 1, static_cast<unsigned>(n)) != n) ERREXIT(cinfo, JERR_FILE_WRITE);
    s.file->Flush();
    if (s.file->Error() != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// ---- decoding -------------------------------------------------------------------------

// libjpeg 6b knew only 1/1, 1/2, 1/4 and 1/8; later libraries scale by any M/8 (and up for
// a denominator of 0), so the setting is mapped onto the old steps.
unsigned ScaleDenominator(BYTE scale) {
    if (scale >= 8) return 8;
    if (scale >= 4) return 4;
    if (scale >= 2) return 2;
    return 1;
}

void ConvertCmykRow(const JSAMPLE* cmyk, BYTE* bgr, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3];
        bgr[0] = static_cast<BYTE>(cmyk[2] * k / 255);
        bgr[1] = static_cast<BYTE>(cmyk[1] * k / 255);
        bgr[2] = static_cast<BYTE>(cmyk[0] * k / 255);
    }
}

// The body of a decode; a libjpeg error leaves it through RunDecode's jump target.
RunResult DecodeBody(DecodeJob* job, CRasterFile* file, CRaster* target, const DecodeSettings* s) {
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMaxLibjpegMemory;
    cinfo->progress = &job->context.error.progress;

    JpegStreamManager& stream = job->context.stream;
    stream.file = file;
    stream.source.init_source = InitSource;
    stream.source.fill_input_buffer = FillInputBuffer;
    stream.source.skip_input_data = SkipInputData;
    stream.source.resync_to_restart = jpeg_resync_to_restart;
    stream.source.term_source = TermSource;
    cinfo->src = &stream.source;

    jpeg_read_header(cinfo, TRUE);

    if (s->options & kOptionReadGrey) cinfo->out_color_space = JCS_GRAYSCALE;
    if (s->options & kOptionQuantize) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = s->colors;
    }
    if (s->options & kOptionDither) cinfo->dither_mode = static_cast<J_DITHER_MODE>(std::clamp(s->dither_mode, 0, 2));
    if (s->options & kOptionOnePassQuantize) cinfo->two_pass_quantize = FALSE;
    if (s->options & kOptionNoFancyUpsampling) cinfo->do_fancy_upsampling = FALSE;
    cinfo->scale_num = 1;
    cinfo->scale_denom = ScaleDenominator(s->scale);

    if (s->header_only) {
        jpeg_calc_output_dimensions(cinfo);
        job->width = cinfo->output_width;
        job->height = cinfo->output_height;
        jpeg_destroy_decompress(cinfo);
        return RunResult::kDone;
    }

    // Blue, green, red straight from libjpeg saves a swap pass over the image.
    if (cinfo->out_color_space == JCS_RGB && !cinfo->quantize_colors) cinfo->out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);

    const JDIMENSION width = cinfo->output_width;
    const JDIMENSION height = cinfo->output_height;
    const int components = cinfo->output_components;
    // One, three or four (folded to three) samples a pixel fill every pixel of every row: the
    // image is not cleared first.
    const bool fillsRows = components == 1 || components == 3 || (components == 4 && !cinfo->quantize_colors);
    const DWORD bits = 8 * static_cast<DWORD>(components);
    if (!(fillsRows ? lumi::image::DecoderAccess::CreateForDecoder(*target, width, height, bits, kRasterTypeJpg)
                    : target->Create(width, height, bits, kRasterTypeJpg))) {
        job->create_failed = true;
        jpeg_destroy_decompress(cinfo);
        return RunResult::kFailed;
    }
    if (cinfo->quantize_colors) {
        const int colors = std::clamp(cinfo->actual_number_of_colors, 0, 256);
        if (cinfo->out_color_components == 3)
            target->SetPaletteRGB(cinfo->colormap[0], cinfo->colormap[1], cinfo->colormap[2], colors);
        else
            target->SetPaletteRGB(cinfo->colormap[0], nullptr, nullptr, colors);
        target->SetImportantColors(static_cast<DWORD>(colors));
    } else if (components == 1) {
        target->SetGrayPalette();
    }

    // One or three samples a pixel fit the image rows as they are; others go through a row
    // of their own and are folded or cut to the row.
    const bool direct = components == 1 || components == 3;
    const std::size_t sampleBytes = static_cast<std::size_t>(width) * components;
    JSAMPARRAY scratch = direct ? nullptr
                                : (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                              static_cast<JDIMENSION>(sampleBytes), 1);
    const std::size_t stride = target->GetRowStride();
    while (cinfo->output_scanline < height) {
        if (*job->context.error.escape != 0) {
            jpeg_destroy_decompress(cinfo);
            return RunResult::kCancelled;
        }
        // Scanlines come from the top; the image stores its bottom row first.
        BYTE* row = target->GetBits(height - 1 - cinfo->output_scanline);
        JSAMPROW into = direct ? row : scratch[0];
        jpeg_read_scanlines(cinfo, &into, 1);
        if (direct) continue;
        if (components == 4 && !cinfo->quantize_colors)
            ConvertCmykRow(scratch[0], row, width);
        else
            std::memcpy(row, scratch[0], std::min(stride, sampleBytes));
    }
    jpeg_finish_decompress(cinfo);
    job->saw_jfif = cinfo->saw_JFIF_marker;
    job->density_unit = cinfo->density_unit;
    job->x_density = cinfo->X_density;
    job->y_density = cinfo->Y_density;
    jpeg_destroy_decompress(cinfo);
    return RunResult::kDone;
}

// The jump target of a decode. Nothing here or in the body owns anything with a destructor.
RunResult RunDecode(DecodeJob* job, CRasterFile* file, CRaster* target, const DecodeSettings* s) {
    if (setjmp(job->context.error.jump)) {
        jpeg_destroy_decompress(&job->cinfo);
        return job->context.error.cancelled ? RunResult::kCancelled : RunResult::kFailed;
    }
    return DecodeBody(job, file, target, s);
}

// ---- encoding -------------------------------------------------------------------------

RunResult EncodeBody(EncodeJob* job, CRasterFile* file, const CRaster* image, const EncodeSettings* s) {
    j_compress_ptr cinfo = &job->cinfo;
    jpeg_create_compress(cinfo);

    JpegStreamManager& stream = job->context.stream;
    stream.file = file;
    stream.destination.init_destination = InitDestination;
    stream.destination.empty_output_buffer = EmptyOutputBuffer;
    stream.destination.term_destination = TermDestination;
    cinfo->dest = &stream.destination;

    const JDIMENSION width = image->GetWidth();
    const JDIMENSION height = image->GetHeight();
    cinfo->image_width = width;
    cinfo->image_height = height;
    cinfo->input_components = s->grey ? 1 : 3;
    cinfo->in_color_space = s->grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    if (s->options & kOptionWriteGrey) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (s->options & kOptionArithmetic) cinfo->arith_code = TRUE;
    if (s->options & kOptionOptimize) cinfo->optimize_coding = TRUE;
    if (s->options & kOptionSmoothing) cinfo->smoothing_factor = std::clamp(s->smoothing, 0, 100);
    jpeg_set_quality(cinfo, s->quality, (s->options & kOptionBaseline) ? TRUE : FALSE);
    if (s->options & kOptionProgressive) jpeg_simple_progression(cinfo);

    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    if (s->options & kOptionSampling2x1) cinfo->comp_info[0].v_samp_factor = 1;
    if (s->options & kOptionSampling1x1) cinfo->comp_info[0].h_samp_factor = cinfo->comp_info[0].v_samp_factor = 1;
    for (int i = 1; i < cinfo->num_components; ++i) cinfo->comp_info[i].h_samp_factor = cinfo->comp_info[i].v_samp_factor = 1;

    cinfo->density_unit = 1;
    cinfo->X_density = s->x_density;
    cinfo->Y_density = s->y_density;

    jpeg_start_compress(cinfo, TRUE);
    // Grey images of 1 or 4 bits are widened to one sample a pixel (their index is their
    // grey level); 8- and 24-bit rows go to libjpeg as they are.
    const bool widen = s->grey && image->GetBpp() < 8;
    JSAMPARRAY scratch =
        widen ? (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, width, 1) : nullptr;
    while (cinfo->next_scanline < height) {
        const LONG y = static_cast<LONG>(height - 1 - cinfo->next_scanline);
        JSAMPROW row;
        if (widen) {
            for (JDIMENSION x = 0; x < width; ++x) scratch[0][x] = image->ReadPixelIndex(static_cast<LONG>(x), y);
            row = scratch[0];
        } else {
            row = image->GetBits(static_cast<DWORD>(y));  // libjpeg only reads the row
        }
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return RunResult::kDone;
}

RunResult RunEncode(EncodeJob* job, CRasterFile* file, const CRaster* image, const EncodeSettings* s) {
    if (setjmp(job->context.error.jump)) {
        jpeg_destroy_compress(&job->cinfo);
        return RunResult::kFailed;
    }
    return EncodeBody(job, file, image, s);
}

UINT16 Density(LONG dpi) { return static_cast<UINT16>(std::clamp<LONG>(dpi, 1, 65535)); }

// Resolutions from the file, kept to what a JFIF density can say (1 to 65535); anything not
// positive becomes 0, the default of 96.
LONG RoundDpi(double dpi) {
    if (!(dpi >= 0.5)) return 0;
    return static_cast<LONG>(std::floor(std::min(dpi, 65535.0) + 0.5));
}

// libjpeg's text for a code without parameters (the table is static).
const char* LibjpegMessage(int code) {
    jpeg_error_mgr messages;
    jpeg_std_error(&messages);
    return messages.jpeg_message_table[code];
}

}  // namespace

// ---- CRasterJPG -----------------------------------------------------------------------

CRasterJPG::CRasterJPG() : CRaster(kRasterTypeJpg) {}

CRasterJPG::CRasterJPG(const CRasterJPG& other) : CRaster(other, true, true) { CopyCodecState(other); }

CRasterJPG& CRasterJPG::operator=(const CRasterJPG& other) {
    if (&other == this) return *this;
    CRaster::operator=(other);
    delete exif;
    exif = nullptr;
    CopyCodecState(other);
    return *this;
}

CRasterJPG::~CRasterJPG() { delete exif; }

void CRasterJPG::CopyCodecState(const CRasterJPG& other) {
    exif_info = other.exif_info;
    exif_info.thumbnail = nullptr;  // re-aimed into the copied block below
    exif_info.thumbnail_size = other.exif ? exif_info.thumbnail_size : 0;
    smoothing_factor = other.smoothing_factor;
    dither_mode = other.dither_mode;
    if (other.exif) {
        try {
            exif = new CRasterExif(*other.exif, &exif_info);
        } catch (const std::bad_alloc&) {
            exif = nullptr;
            exif_info.is_exif = 0;
            exif_info.thumbnail_size = 0;
        }
    }
}

bool CRasterJPG::DecodeExif(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    if (ReadExif(file)) return true;
    const char* reason = exif != nullptr ? exif->GetLastError() : "";
    SetLastError(*reason ? reason : exif != nullptr ? kNoExif : kOutOfMemory);
    return false;
}

bool CRasterJPG::ReadExif(CRasterFile* file) {
    delete exif;
    exif = nullptr;
    exif_info = exif_info_t{};
    if (!file) return false;
    try {
        exif = new CRasterExif(&exif_info);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const long position = file->Tell();
    exif->ReadJpegSections(file, CRasterExif::kReadExif);
    file->Seek(position, 0);
    return exif_info.is_exif != 0;
}

bool CRasterJPG::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    try {
        const bool exifPresent = ReadExif(file);

        // The image is built aside and moved in only when the whole decode succeeded.
        auto target = std::make_unique<CRaster>(kRasterTypeJpg);
        target->CopySettings(*this);
        auto job = std::make_unique<DecodeJob>();
        InitErrorHandler(&job->context, reinterpret_cast<j_common_ptr>(&job->cinfo), &info.escape);
        DecodeSettings settings{};
        settings.options = GetCodecOption(kRasterTypeJpg);
        settings.scale = info.jpeg_scale;
        settings.dither_mode = dither_mode;
        settings.colors = GetRoundedQuality();
        settings.header_only = info.escape == -1;

        const RunResult result = RunDecode(job.get(), file, target.get(), &settings);
        if (result == RunResult::kCancelled) {
            SetLastError(lumi::image::kCancelled);
            return false;
        }
        if (result == RunResult::kFailed) {
            if (job->create_failed)
                SetLastError(target->GetLastError());
            else
                SetLastError(job->context.error.too_many_scans ? kTooManyScans : job->context.error.message);
            return false;
        }
        if (settings.header_only) {
            header.biWidth = static_cast<LONG>(job->width);
            header.biHeight = static_cast<LONG>(job->height);
            info.type = kRasterTypeJpg;
            return true;
        }

        if (exifPresent) {
            if (exif_info.x_resolution != 0.0f && exif_info.resolution_unit_factor != 0.0f)
                target->SetDpiX(RoundDpi(exif_info.x_resolution / exif_info.resolution_unit_factor));
            if (exif_info.y_resolution != 0.0f && exif_info.resolution_unit_factor != 0.0f)
                target->SetDpiY(RoundDpi(exif_info.y_resolution / exif_info.resolution_unit_factor));
        } else if (job->saw_jfif) {
            if (job->density_unit == 2) {
                target->SetDpiX(RoundDpi(job->x_density * 2.54));
                target->SetDpiY(RoundDpi(job->y_density * 2.54));
            } else if (job->density_unit == 1) {
                target->SetDpiX(job->x_density);
                target->SetDpiY(job->y_density);
            } else if (job->density_unit == 0 && job->x_density != 0 && job->y_density != 0) {
                target->SetDpiY(RoundDpi(static_cast<double>(target->GetDpiX()) * job->y_density / job->x_density));
            }
        }
        return MoveFrom(*target, false);
    } catch (const std::bad_alloc&) {
        SetLastError(kOutOfMemory);
        return false;
    }
}

bool CRasterJPG::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    if (IsIndexed() && !IsGrayScale()) {
        SetLastError(lumi::image::kOnlyRgbOrGrey);
        return false;
    }
    try {
        if (exif && exif_info.is_exif) return EncodeWithExif(file);
        return EncodeJpeg(file);
    } catch (const std::bad_alloc&) {
        SetLastError(kOutOfMemory);
        return false;
    }
}

bool CRasterJPG::EncodeJpeg(CRasterFile* file) {
    auto job = std::make_unique<EncodeJob>();
    InitErrorHandler(&job->context, reinterpret_cast<j_common_ptr>(&job->cinfo), nullptr);
    EncodeSettings settings{};
    settings.options = GetCodecOption(kRasterTypeJpg);
    settings.quality = GetRoundedQuality();
    settings.smoothing = smoothing_factor;
    settings.grey = IsIndexed();
    settings.x_density = Density(info.dpi_x);
    settings.y_density = Density(info.dpi_y);
    if (RunEncode(job.get(), file, this, &settings) == RunResult::kDone) return true;
    SetLastError(job->context.error.message);
    return false;
}

bool CRasterJPG::EncodeWithExif(CRasterFile* file) {
    // The new file is made in memory and read back there: the target may be write-only.
    CRasterMemFile memory;
    if (!memory.Open() || !EncodeJpeg(&memory)) return false;
    exif->KeepExifAndComment();
    memory.Seek(0, 0);
    bool ok = exif->ReadJpegSections(&memory, CRasterExif::kReadImageData);
    if (!ok || exif->FindScanSection() < 0) {
        SetLastError(ok ? "Can't write exif : didn't read all" : exif->GetLastError());
        ok = false;
    } else if (!exif->WriteSections(file) || !file->Flush() || file->Error() != 0) {
        SetLastError(LibjpegMessage(JERR_FILE_WRITE));
        ok = false;
    }
    exif->KeepExifAndComment();  // the image data is not kept past the call
    return ok;
}

bool CRasterJPG::Decode(FILE* stream) {
    CRasterIOFile file(stream);
    return Decode(stream ? static_cast<CRasterFile*>(&file) : nullptr);
}

bool CRasterJPG::Encode(FILE* stream) {
    CRasterIOFile file(stream);
    return Encode(stream ? static_cast<CRasterFile*>(&file) : nullptr);
}

bool CRasterJPG::DecodeExif(FILE* stream) {
    CRasterIOFile file(stream);
    return DecodeExif(stream ? static_cast<CRasterFile*>(&file) : nullptr);
}
