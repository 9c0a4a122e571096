// Format dispatch over a codec table of test codecs, and the library's own entry points.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "image/format_dispatcher.h"
#include "image/raster.h"
#include "image/raster_io_file.h"
#include "image/raster_mem_file.h"
#include "tests/support/work_folder.h"

namespace {

using lumi::image::CodecEntry;
using lumi::image::FormatDispatcher;
using lumi::image::MakeCodecEntry;

// A tiny format: "TG", a tag byte, width, height, bits, then the stored rows.
template <DWORD Type, char Tag>
class TagCodec : public CRaster {
public:
    TagCodec() : CRaster(Type) {}

    bool Decode(CRasterFile* file) {
        BYTE head[6] = {};
        if (file->Read(head, 1, 6) != 6 || head[0] != 'T' || head[1] != 'G' || head[2] != Tag) {
            SetLastError(Tag == 'B' ? "not a B file" : "not a P file");
            return false;
        }
        if (!Create(head[3], head[4], head[5], Type)) return false;
        if (GetEscape() == -1) return true;
        for (DWORD y = 0; y < GetHeight(); ++y)
            if (file->Read(GetBits(y), 1, GetRowStride()) != GetRowStride()) {
                SetLastError("truncated");
                return false;
            }
        return true;
    }

    bool Encode(CRasterFile* file) {
        if (CannotEncode(file)) return false;
        const BYTE head[6] = {'T', 'G', Tag, static_cast<BYTE>(GetWidth()), static_cast<BYTE>(GetHeight()),
                              static_cast<BYTE>(GetBpp())};
        file->Write(head, 1, 6);
        for (DWORD y = 0; y < GetHeight(); ++y) file->Write(GetBits(y), 1, GetRowStride());
        return true;
    }
};

using BCodec = TagCodec<kRasterTypeBmp, 'B'>;
using PCodec = TagCodec<kRasterTypePng, 'P'>;

const CodecEntry kTestCodecs[] = {
    MakeCodecEntry<BCodec>(kRasterTypeBmp),
    CodecEntry{kRasterTypeGif},  // a format whose codec has not joined yet
    MakeCodecEntry<PCodec>(kRasterTypePng),
};

std::vector<BYTE> TagFile(char tag, BYTE width, BYTE height, BYTE fill) {
    std::vector<BYTE> bytes = {'T', 'G', static_cast<BYTE>(tag), width, height, 24};
    const std::size_t stride = ((width * 24u + 31) >> 5) * 4;
    bytes.insert(bytes.end(), stride * height, fill);
    return bytes;
}

class FormatDispatch : public ::testing::Test {
protected:
    FormatDispatcher dispatcher{kTestCodecs};
};

TEST_F(FormatDispatch, DetectionTriesEachCodecFromTheSameStart) {
    std::vector<BYTE> bytes = TagFile('P', 3, 2, 0x44);
    CRasterMemFile file(bytes.data(), static_cast<unsigned>(bytes.size()));
    CRaster image;
    image.SetQuality(12.0f);
    ASSERT_TRUE(dispatcher.Decode(image, &file, 0));
    EXPECT_EQ(image.GetType(), kRasterTypePng);  // after the B codec read and failed
    EXPECT_EQ(image.GetWidth(), 3u);
    EXPECT_EQ(image.GetPixelColor(2, 1).rgbGreen, 0x44);
    EXPECT_EQ(image.GetQuality(), 12.0f);  // the codec took the caller's settings
}

TEST_F(FormatDispatch, MessagesOfTypedAndDetectingAttempts) {
    std::vector<BYTE> junk = {'n', 'o', 'p', 'e', '!', '!', '!'};
    CRaster image;
    CRasterMemFile typed(junk.data(), static_cast<unsigned>(junk.size()));
    EXPECT_FALSE(dispatcher.Decode(image, &typed, kRasterTypeBmp));
    EXPECT_STREQ(image.GetLastError(), "not a B file");
    CRasterMemFile detect(junk.data(), static_cast<unsigned>(junk.size()));
    EXPECT_FALSE(dispatcher.Decode(image, &detect, 0));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    CRasterMemFile unknown(junk.data(), static_cast<unsigned>(junk.size()));
    EXPECT_FALSE(dispatcher.Decode(image, &unknown, 5));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    // A format without its codec yet answers like an unknown one.
    EXPECT_FALSE(dispatcher.Decode(image, &unknown, kRasterTypeGif));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(dispatcher.Decode(image, nullptr, kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "null file handler");
}

TEST_F(FormatDispatch, FailedDecodeLeavesTheImageAsItWas) {
    CRaster image(4, 4, 8, kRasterTypeTga);
    image.SetPixelIndex(1, 1, 42);
    ASSERT_TRUE(image.CreateAlpha());
    std::vector<BYTE> truncated = TagFile('P', 8, 8, 1);
    truncated.resize(truncated.size() - 5);
    CRasterMemFile file(truncated.data(), static_cast<unsigned>(truncated.size()));
    EXPECT_FALSE(dispatcher.Decode(image, &file, kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "truncated");
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetType(), kRasterTypeTga);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 42);
    EXPECT_TRUE(image.HasAlpha());
}

TEST_F(FormatDispatch, LoadByExtensionFallsBackToDetection) {
    lumi::test::TempWorkFolder folder;
    auto write = [](const char* name, const std::vector<BYTE>& bytes) {
        FILE* f = std::fopen(name, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    write("picture.bmp", TagFile('P', 2, 2, 7));  // P contents behind a B extension
    write("text.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w'});

    CRaster image;
    const DWORD type = CRaster::GetTypeFromExtension(u"bmp");
    ASSERT_TRUE(dispatcher.Load(image, u"picture.bmp", type));
    EXPECT_EQ(image.GetType(), kRasterTypePng);

    EXPECT_FALSE(dispatcher.Load(image, u"text.bmp", 0));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(dispatcher.Load(image, u"text.bmp", type));
    EXPECT_STREQ(image.GetLastError(), "not a B file");  // the typed attempt's reason
    EXPECT_FALSE(dispatcher.Load(image, u"missing.png", kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "not a B file");  // unchanged
    EXPECT_FALSE(dispatcher.Load(image, u"missing.png", 0));
    EXPECT_STREQ(image.GetLastError(), "not a B file");
    EXPECT_EQ(image.GetType(), kRasterTypePng);  // the earlier success stays

    // Save and load back through the same table.
    CRaster small(1, 1, 24, 0);
    small.SetPixelColor(0, 0, RGBQUAD{5, 6, 7, 0});
    ASSERT_TRUE(dispatcher.Save(small, u"saved.bin", kRasterTypeBmp));
    CRaster loaded;
    ASSERT_TRUE(dispatcher.Load(loaded, u"saved.bin", 0));
    EXPECT_EQ(loaded.GetType(), kRasterTypeBmp);
    EXPECT_EQ(loaded.GetPixelColor(0, 0).rgbRed, 7);
    EXPECT_FALSE(dispatcher.Save(small, u"no/such/folder/x.bin", kRasterTypeBmp));
}

TEST_F(FormatDispatch, ProbingReadsTheHeaderAndRestoresTheEscape) {
    std::vector<BYTE> bytes = TagFile('P', 9, 3, 1);
    CRaster image;
    CRasterMemFile file(bytes.data(), static_cast<unsigned>(bytes.size()));
    EXPECT_TRUE(dispatcher.ProbeFormat(image, &file, kRasterTypePng));
    EXPECT_EQ(image.GetWidth(), 9u);
    EXPECT_EQ(image.GetEscape(), 0);
    CRasterMemFile again(bytes.data(), static_cast<unsigned>(bytes.size()));
    EXPECT_FALSE(dispatcher.ProbeFormat(image, &again, kRasterTypeBmp));
    // A later decode reads pixels again.
    CRasterMemFile full(bytes.data(), static_cast<unsigned>(bytes.size()));
    ASSERT_TRUE(dispatcher.Decode(image, &full, 0));
    EXPECT_EQ(image.GetPixelColor(8, 2).rgbBlue, 1);
}

TEST_F(FormatDispatch, EncodeThroughAViewAndReportTheCodecsMessage) {
    CRaster image(2, 1, 24, 0);
    image.SetPixelColor(1, 0, RGBQUAD{1, 2, 3, 0});
    CRasterMemFile out;
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(dispatcher.Encode(image, &out, kRasterTypePng));
    EXPECT_TRUE(image.Destroy());  // the codec's view left ownership alone
    ASSERT_TRUE(out.Seek(0, 0));
    CRaster back;
    ASSERT_TRUE(dispatcher.Decode(back, &out, 0));
    EXPECT_EQ(back.GetPixelColor(1, 0).rgbRed, 3);

    CRaster empty;
    EXPECT_FALSE(dispatcher.Encode(empty, &out, kRasterTypePng));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    EXPECT_FALSE(dispatcher.Encode(back, nullptr, kRasterTypePng));
    EXPECT_STREQ(back.GetLastError(), "null file handler");
    EXPECT_FALSE(dispatcher.Encode(back, &out, kRasterTypeGif));
    EXPECT_STREQ(back.GetLastError(), "Encode: Unknown format");
    CRaster* frames[1] = {&back};
    EXPECT_FALSE(dispatcher.EncodeAnimation(back, &out, frames, 1, kRasterTypePng));
    EXPECT_STREQ(back.GetLastError(), "Multipage Encode, Unsupported operation for this format");
}

TEST(RasterFormats, ExtensionsToTypes) {
    const struct { const char16_t* ext; DWORD type; } cases[] = {
        {u"JPEG", kRasterTypeJpg}, {u"jp", 0},  {u"Tga", kRasterTypeTga}, {u"jnaX", kRasterTypeJna},
        {u"JFIF", kRasterTypeJpg}, {u"bmp", kRasterTypeBmp}, {u"gif", kRasterTypeGif}, {u"png", kRasterTypePng},
        {u"", 0}, {nullptr, 0}};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(CRaster::GetTypeFromExtension(cases[i].ext), cases[i].type) << "case " << i;
}

TEST(RasterFormats, EntryPointArgumentChecks) {
    CRaster image(2, 2, 24, 0);
    EXPECT_FALSE(image.Decode(static_cast<CRasterFile*>(nullptr), 0));
    EXPECT_STREQ(image.GetLastError(), "null file handler");
    EXPECT_FALSE(image.Decode(static_cast<FILE*>(nullptr), kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "null file handler");
    BYTE junk[4] = {'x', 'y', 'z', 0};
    EXPECT_FALSE(image.Decode(junk, sizeof(junk), 0));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_TRUE(image.IsValid());
    EXPECT_FALSE(image.ProbeFormat(nullptr, 10, kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "invalid or empty buffer");
    EXPECT_FALSE(image.ProbeFormat(junk, 0, kRasterTypePng));

    BYTE* buffer = junk;
    long size = 0;
    EXPECT_FALSE(image.Encode(buffer, size, kRasterTypePng));
    EXPECT_STREQ(image.GetLastError(), "the buffer must be empty");
    EXPECT_FALSE(image.WriteRawRgba(buffer, size, false));
    EXPECT_FALSE(image.Encode(static_cast<CRasterFile*>(nullptr), nullptr, 0, kRasterTypeJpg));
    EXPECT_STREQ(image.GetLastError(), "Multipage Encode, Unsupported operation for this format");
    EXPECT_FALSE(image.Encode(buffer, size, 99));
    EXPECT_FALSE(image.LoadFromResource(u"LOGO", kRasterTypePng, nullptr));
    EXPECT_STREQ(image.GetLastError(), "Unable to load resource!");
}

TEST(RasterFormats, RawRgbaOrderAndFlip) {
    CRaster image(1, 2, 8, 0);
    image.SetPaletteColor(1, RGBQUAD{3, 2, 1, 9});  // blue 3, green 2, red 1, fourth 9
    image.SetPixelIndex(0, 1, 1);
    BYTE* buffer = nullptr;
    long size = 0;
    ASSERT_TRUE(image.WriteRawRgba(buffer, size, false));
    ASSERT_EQ(size, 8);
    const BYTE expectUp[8] = {0, 0, 0, 0, 1, 2, 3, 9};
    EXPECT_EQ(std::memcmp(buffer, expectUp, 8), 0);
    std::free(buffer);
    buffer = nullptr;
    ASSERT_TRUE(image.CreateAlpha());
    image.SetAlphaAt(0, 1, 200);
    ASSERT_TRUE(image.WriteRawRgba(buffer, size, true));
    const BYTE expectDown[8] = {1, 2, 3, 200, 0, 0, 0, 255};
    EXPECT_EQ(std::memcmp(buffer, expectDown, 8), 0);
    std::free(buffer);
    CRaster empty;
    buffer = nullptr;
    EXPECT_FALSE(empty.WriteRawRgba(buffer, size, false));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    EXPECT_EQ(buffer, nullptr);
}

}  // namespace
