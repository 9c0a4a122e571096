// The EXIF reader: camera fields from blocks the tests build (both byte orders), the comment,
// the thumbnail, EXIF kept through a save, deep copies, and every bound on lying blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/raster.h"
#include "image/raster_exif.h"
#include "image/raster_io_file.h"
#include "image/raster_jpg.h"
#include "image/raster_mem_file.h"
#include "tests/image/codec_test_util.h"
#include "tests/support/work_folder.h"

namespace {

using lumi::test::Bytes;
using Exif = CRasterJPG::CRasterExif;

// ---- a small TIFF directory writer ----------------------------------------------------

struct Entry {
    WORD tag, format;
    DWORD count;
    Bytes bytes;                 // the value in the block's byte order (out of line when > 4)
    int link = -1;               // value = offset of that directory
    bool thumbnail = false;      // value = offset of the thumbnail bytes
    std::optional<DWORD> raw = std::nullopt;  // value as given (lying offsets)
};

struct Directory {
    std::vector<Entry> entries;
    int next = -1;
    std::optional<DWORD> next_raw = std::nullopt;
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool motorola) : motorola_(motorola) {}

    Bytes U16(DWORD v) const {
        return motorola_ ? Bytes{BYTE(v >> 8), BYTE(v)} : Bytes{BYTE(v), BYTE(v >> 8)};
    }
    Bytes U32(DWORD v) const {
        return motorola_ ? Bytes{BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)}
                         : Bytes{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
    }
    Entry Ascii(WORD tag, const std::string& s) const {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return Entry{tag, 2, DWORD(b.size()), b};
    }
    Entry Short(WORD tag, DWORD v) const { return Entry{tag, 3, 1, U16(v)}; }
    Entry Long(WORD tag, DWORD v) const { return Entry{tag, 4, 1, U32(v)}; }
    Entry Rational(WORD tag, DWORD num, DWORD den) const {
        Bytes b = U32(num), d = U32(den);
        b.insert(b.end(), d.begin(), d.end());
        return Entry{tag, 5, 1, b};
    }
    Entry Link(WORD tag, int directory) const { return Entry{tag, 4, 1, {}, directory}; }

    // "Exif\0\0", the TIFF header, the directories in order with their values, then tail.
    Bytes Build(const std::vector<Directory>& dirs, const Bytes& tail = {}) const {
        std::vector<DWORD> at(dirs.size());
        DWORD offset = 8;
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            at[i] = offset;
            offset += 2 + 12 * DWORD(dirs[i].entries.size()) + 4;
            for (const Entry& e : dirs[i].entries)
                if (e.bytes.size() > 4) offset += DWORD(e.bytes.size());
        }
        const DWORD tailAt = offset;
        Bytes t = motorola_ ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
        Append(t, U16(42));
        Append(t, U32(8));
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            const Directory& d = dirs[i];
            Bytes data;
            DWORD dataAt = at[i] + 2 + 12 * DWORD(d.entries.size()) + 4;
            Append(t, U16(DWORD(d.entries.size())));
            for (const Entry& e : d.entries) {
                Append(t, U16(e.tag));
                Append(t, U16(e.format));
                Append(t, U32(e.count));
                if (e.raw) {
                    Append(t, U32(*e.raw));
                } else if (e.link >= 0) {
                    Append(t, U32(at[e.link]));
                } else if (e.thumbnail) {
                    Append(t, U32(tailAt));
                } else if (e.bytes.size() > 4) {
                    Append(t, U32(dataAt + DWORD(data.size())));
                    Append(data, e.bytes);
                } else {
                    Bytes field = e.bytes;
                    field.resize(4, 0);
                    Append(t, field);
                }
            }
            Append(t, U32(d.next_raw ? *d.next_raw : d.next >= 0 ? at[d.next] : 0));
            Append(t, data);
        }
        Append(t, tail);
        Bytes block = {'E', 'x', 'i', 'f', 0, 0};
        Append(block, t);
        return block;
    }

    static void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

private:
    bool motorola_;
};

// ---- JPEG files with extra segments ---------------------------------------------------

CRaster MakeImage(DWORD w = 32, DWORD h = 24) {
    CRaster image(w, h, 24, kRasterTypeJpg);
    for (LONG y = 0; y < static_cast<LONG>(h); ++y)
        for (LONG x = 0; x < static_cast<LONG>(w); ++x)
            image.SetPixelColor(x, y, RGBQUAD{BYTE(x * 7), BYTE(y * 9), 128, 0});
    return image;
}

Bytes PlainJpeg(LONG dpi = 72) {
    CRaster image = MakeImage();
    image.SetDpiX(dpi);
    image.SetDpiY(dpi);
    return lumi::test::EncodeOk(image, kRasterTypeJpg);
}

Bytes Segment(BYTE marker, const Bytes& payload) {
    const std::size_t n = payload.size() + 2;
    Bytes s = {0xFF, marker, BYTE(n >> 8), BYTE(n)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

// A JPEG with the given segments placed right after the start-of-image marker.
Bytes JpegWith(const std::vector<Bytes>& segments, LONG dpi = 72) {
    Bytes plain = PlainJpeg(dpi);
    Bytes out(plain.begin(), plain.begin() + 2);
    for (const Bytes& s : segments) out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), plain.begin() + 2, plain.end());
    return out;
}

bool DecodeWith(CRasterJPG& codec, Bytes& file) {
    CRasterMemFile stream(file.data(), static_cast<unsigned>(file.size()));
    return codec.Decode(&stream);
}

const Bytes kThumbnail = {0xFF, 0xD8, 1, 2, 3, 4, 5, 0xFF, 0xD9};

// A camera's block: IFD0 with make, model, orientation, resolution, date and two links, the
// EXIF sub-directory with exposure data, and IFD1 with the thumbnail.
Bytes CameraBlock(bool motorola) {
    TiffBuilder b(motorola);
    Directory ifd0, exif, ifd1;
    ifd0.entries = {b.Ascii(271, "Lumicam"),        b.Ascii(272, "Model with a rather long name that is cut"),
                    b.Short(274, 6),                b.Rational(282, 300, 1),
                    b.Rational(283, 600, 2),        b.Short(296, 2),
                    b.Ascii(36867, "2024:05:06 07:08:09"), b.Link(34665, 1)};
    ifd0.next = 2;
    Entry comment{37510, 7, 0, {}};
    const std::string text = std::string("ASCII\0\0\0", 8) + "Hello there   ";
    comment.bytes.assign(text.begin(), text.end());
    comment.count = DWORD(comment.bytes.size());
    exif.entries = {b.Rational(33434, 1, 250), b.Rational(33437, 28, 10), b.Short(34850, 2), b.Short(34855, 400),
                    Entry{36864, 7, 4, {'0', '2', '3', '0'}}, b.Short(37385, 0x19), b.Rational(37386, 50, 1),
                    comment, b.Long(40962, 4000), b.Long(40963, 3000), b.Rational(41486, 1000, 1),
                    b.Short(41488, 2)};
    ifd1.entries = {b.Long(513, 0), b.Long(514, DWORD(kThumbnail.size()))};
    ifd1.entries[0].thumbnail = true;
    return b.Build({ifd0, exif, ifd1}, kThumbnail);
}

TEST(ExifReader, CameraFieldsInBothByteOrders) {
    for (bool motorola : {false, true}) {
        Bytes file = JpegWith({Segment(0xE1, CameraBlock(motorola))});
        CRasterJPG codec;
        ASSERT_TRUE(DecodeWith(codec, file)) << codec.GetLastError();
        const exif_info_t& r = codec.GetExifInfo();
        SCOPED_TRACE(motorola ? "MM" : "II");
        EXPECT_EQ(r.is_exif, 1);
        EXPECT_STREQ(r.camera_make, "Lumicam");
        EXPECT_STREQ(r.camera_model, "Model with a rather long name that is c");  // 39 characters
        EXPECT_EQ(r.orientation, 6);
        EXPECT_STREQ(r.date_time, "2024:05:06 07:08:09");
        EXPECT_STREQ(r.version, "0230");
        EXPECT_FLOAT_EQ(r.exposure_time, 1.0f / 250);
        EXPECT_FLOAT_EQ(r.aperture_f_number, 2.8f);
        EXPECT_EQ(r.exposure_program, 2);
        EXPECT_EQ(r.iso_equivalent, 400);
        EXPECT_EQ(r.flash_used, 1);
        EXPECT_FLOAT_EQ(r.focal_length, 50.0f);
        EXPECT_STREQ(r.comment, "Hello there");
        EXPECT_FLOAT_EQ(r.ccd_width, 4000.0f * 1.0f / 1000.0f);
        EXPECT_EQ(r.width, 32);
        EXPECT_EQ(r.height, 24);
        EXPECT_EQ(r.is_color, 1);
        EXPECT_EQ(r.process, 0xC0);
        ASSERT_EQ(r.thumbnail_size, LONG(kThumbnail.size()));
        ASSERT_NE(r.thumbnail, nullptr);
        EXPECT_EQ(Bytes(r.thumbnail, r.thumbnail + r.thumbnail_size), kThumbnail);
        // The EXIF resolution wins over the JFIF header's 72.
        EXPECT_EQ(codec.GetDpiX(), 300);
        EXPECT_EQ(codec.GetDpiY(), 300);
    }
}

TEST(ExifReader, DerivedValuesAndUnits) {
    TiffBuilder b(false);
    Directory ifd0;
    ifd0.entries = {b.Short(274, 9), b.Rational(282, 100, 1), b.Short(296, 3), b.Short(34855, 2),
                    Entry{37377, 10, 1, {8, 0, 0, 0, 1, 0, 0, 0}},  // shutter 2^-8
                    Entry{37378, 5, 1, {4, 0, 0, 0, 1, 0, 0, 0}}};  // aperture value 4: f/4
    Bytes file = JpegWith({Segment(0xE1, b.Build({ifd0}))});
    CRasterJPG codec;
    ASSERT_TRUE(DecodeWith(codec, file));
    const exif_info_t& r = codec.GetExifInfo();
    EXPECT_EQ(r.orientation, 0);
    EXPECT_STREQ(codec.GetExif()->GetLastError(), "Undefined rotation value");
    EXPECT_EQ(r.iso_equivalent, 400);
    EXPECT_FLOAT_EQ(r.exposure_time, 1.0f / 256);
    EXPECT_FLOAT_EQ(r.aperture_f_number, 4.0f);
    EXPECT_EQ(codec.GetDpiX(), 254);  // 100 per centimetre
    EXPECT_EQ(codec.GetDpiY(), 96);   // no y resolution given
}

TEST(ExifReader, CommentIsFilteredAndBounded) {
    Bytes text = {'a', '\r', '\n', 'b', '\t', 1, 'c', '\r', 'd'};
    Bytes longText(1200, 'x');
    Bytes file = JpegWith({Segment(0xFE, text), Segment(0xFE, {'s', 'e', 'c', 'o', 'n', 'd'})});
    CRasterJPG codec;
    ASSERT_TRUE(DecodeWith(codec, file));
    EXPECT_STREQ(codec.GetExifInfo().comment, "a\nb\t?c?d");
    EXPECT_EQ(codec.GetExifInfo().is_exif, 0);

    Bytes longFile = JpegWith({Segment(0xFE, longText)});
    ASSERT_TRUE(DecodeWith(codec, longFile));
    EXPECT_EQ(std::strlen(codec.GetExifInfo().comment), 999u);
}

TEST(ExifReader, KeptThroughASaveToMemoryAndToAWriteOnlyFile) {
    Bytes file = JpegWith({Segment(0xE1, CameraBlock(true)), Segment(0xFE, {'h', 'i'})});
    CRasterJPG codec;
    ASSERT_TRUE(DecodeWith(codec, file));

    auto check = [](Bytes saved, const char* where) {
        SCOPED_TRACE(where);
        CRasterJPG again;
        ASSERT_TRUE(DecodeWith(again, saved)) << again.GetLastError();
        EXPECT_EQ(again.GetWidth(), 32u);
        EXPECT_STREQ(again.GetExifInfo().camera_make, "Lumicam");
        EXPECT_STREQ(again.GetExifInfo().comment, "hi");
        ASSERT_EQ(again.GetExifInfo().thumbnail_size, LONG(kThumbnail.size()));
        EXPECT_EQ(std::memcmp(again.GetExifInfo().thumbnail, kThumbnail.data(), kThumbnail.size()), 0);
        EXPECT_EQ(again.GetDpiX(), 300);
        // Its own JFIF segment is not written when the kept EXIF segment comes first.
        EXPECT_EQ(saved[2], 0xFF);
        EXPECT_EQ(saved[3], 0xE1);
    };

    CRasterMemFile memory;
    memory.Open();
    ASSERT_TRUE(codec.Encode(&memory)) << codec.GetLastError();
    const long size = memory.Tell();
    check(Bytes(memory.GetBuffer(), memory.GetBuffer() + size), "memory");

    lumi::test::TempWorkFolder folder;
    const std::string path = folder.File("saved.jpg");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(codec.Encode(out)) << codec.GetLastError();
    std::fclose(out);
    FILE* in = std::fopen(path.c_str(), "rb");
    Bytes fromDisk;
    for (int c; (c = std::fgetc(in)) != EOF;) fromDisk.push_back(BYTE(c));
    std::fclose(in);
    check(fromDisk, "file opened wb");
}

TEST(ExifReader, CopiesAreDeep) {
    Bytes file = JpegWith({Segment(0xE1, CameraBlock(false))});
    auto original = std::make_unique<CRasterJPG>();
    ASSERT_TRUE(DecodeWith(*original, file));
    CRasterJPG copy(*original);
    CRasterJPG assigned;
    assigned = *original;
    original.reset();  // the copies must not lean on its memory
    for (CRasterJPG* c : {&copy, &assigned}) {
        const exif_info_t& r = c->GetExifInfo();
        ASSERT_NE(r.thumbnail, nullptr);
        EXPECT_EQ(Bytes(r.thumbnail, r.thumbnail + r.thumbnail_size), kThumbnail);
        EXPECT_STREQ(c->GetExif()->GetInfo()->camera_make, "Lumicam");
        CRasterMemFile memory;
        memory.Open();
        ASSERT_TRUE(c->Encode(&memory));
    }
}

// Blocks that lie: each parse must end, stay inside the block and say why.
TEST(ExifReader, LyingBlocksAreBounded) {
    TiffBuilder b(false);
    auto parse = [](const Bytes& block, std::string* error = nullptr) {
        Bytes exact(block);  // a heap block of exactly this size, so a read past it shows
        Exif exif;
        const bool ok = exif.ParseExifBlock(exact.data(), exact.size());
        if (error) *error = exif.GetLastError();
        return std::pair{ok, *exif.GetInfo()};
    };
    std::string error;

    EXPECT_FALSE(parse({'E', 'x', 'i', 'f', 0, 1, 'I', 'I'}, &error).first);
    EXPECT_EQ(error, "Incorrect Exif header");
    EXPECT_FALSE(parse({'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 42, 0}, &error).first);
    EXPECT_EQ(error, "Invalid Exif alignment marker.");
    EXPECT_FALSE(parse({'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 43, 0, 8, 0, 0, 0}, &error).first);
    EXPECT_EQ(error, "Invalid Exif start (1)");
    EXPECT_FALSE(parse({'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42}, &error).first);

    Directory d;
    d.entries = {Entry{271, 2, 0x40000000, {}, -1, false, 0x10}};  // count x size past the block
    EXPECT_TRUE(parse(b.Build({d}), &error).first);
    EXPECT_EQ(error, "Illegal pointer offset value in EXIF.");

    d.entries = {Entry{271, 13, 1, {'A'}}};
    parse(b.Build({d}), &error);
    EXPECT_EQ(error, "Illegal format code in EXIF dir");

    Bytes tooMany = b.Build({Directory{{b.Short(274, 1)}}});
    tooMany[6 + 8] = 200;  // 200 entries in a block that holds one
    parse(tooMany, &error);
    EXPECT_EQ(error, "Illegally sized directory");

    d.entries = {Entry{34665, 4, 1, {}, -1, false, 100000}};
    parse(b.Build({d}), &error);
    EXPECT_EQ(error, "Illegal subdirectory link");

    // Make "Ab" without terminator and a short orientation with no component: nothing past
    // the value is read.
    d.entries = {Entry{271, 2, 2, {'A', 'b'}}, Entry{282, 5, 0, {}}};
    EXPECT_STREQ(parse(b.Build({d})).second.camera_make, "Ab");

    // A thumbnail that does not fit is not taken.
    d.entries = {b.Long(513, 20), b.Long(514, 5000)};
    EXPECT_EQ(parse(b.Build({d})).second.thumbnail, nullptr);
}

TEST(ExifReader, DirectoryLinksCannotLoopOrNestWithoutEnd) {
    TiffBuilder b(true);
    std::string error;
    // A directory whose next link and sub-directory links point at itself, many times over.
    Directory self;
    for (int i = 0; i < 200; ++i) self.entries.push_back(b.Link(34665, 0));
    self.next = 0;
    Exif loop;
    Bytes block = b.Build({self});
    EXPECT_TRUE(loop.ParseExifBlock(block.data(), block.size()));

    // A chain of sub-directories one level deeper each time.
    std::vector<Directory> chain(8);
    for (int i = 0; i + 1 < 8; ++i) chain[i].entries = {b.Link(34665, i + 1)};
    chain[7].entries = {b.Ascii(271, "deep")};
    Exif nested;
    block = b.Build(chain);
    EXPECT_TRUE(nested.ParseExifBlock(block.data(), block.size()));
    EXPECT_STREQ(nested.GetLastError(), "Maximum directory nesting exceeded (corrupt exif header)");
    EXPECT_STREQ(nested.GetInfo()->camera_make, "");

    // Two directories linking to each other through their next links.
    std::vector<Directory> pair(2);
    pair[0].entries = {b.Short(274, 3)};
    pair[0].next = 1;
    pair[1].entries = {b.Short(274, 8)};
    pair[1].next = 0;
    Exif ring;
    block = b.Build(pair);
    EXPECT_TRUE(ring.ParseExifBlock(block.data(), block.size()));
    EXPECT_EQ(ring.GetInfo()->orientation, 8);
}

TEST(ExifReader, BadSegmentsFailTheReadButNotTheDecode) {
    Bytes plain = PlainJpeg();
    std::vector<std::pair<Bytes, std::string>> cases;
    {
        Bytes f = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x03, 'x'};
        f.insert(f.end(), plain.begin() + 2, plain.end());
        cases.push_back({f, "too many padding bytes"});
    }
    {
        std::vector<Bytes> segments(21, Segment(0xE5, {1, 2, 3}));
        cases.push_back({JpegWith(segments), "Too many sections in jpg file"});
    }
    cases.push_back({{0xFF, 0xD8, 0xFF, 0xE5, 0x00, 0x40, 1, 2}, "Premature end of file?"});
    {
        Bytes f = {0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02};
        cases.push_back({f, "No image in jpeg!"});
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (auto& [file, message] : cases) {
        CRasterJPG codec;
        CRasterMemFile stream(file.data(), static_cast<unsigned>(file.size()));
        EXPECT_FALSE(codec.DecodeExif(&stream)) << message;
        EXPECT_STREQ(codec.GetExif()->GetLastError(), message.c_str());
        EXPECT_EQ(stream.Tell(), 0) << "the stream is put back";
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    CRasterJPG codec;
    EXPECT_TRUE(DecodeWith(codec, cases[0].first)) << codec.GetLastError();
    EXPECT_TRUE(DecodeWith(codec, cases[1].first)) << codec.GetLastError();
}

}  // namespace
