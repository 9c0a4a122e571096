// A host program of the exported image classes: it links the renderer's shared library and
// nothing else of the tree, so every class and member it calls must be exported by it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image/raster.h"
#include "image/raster_exif.h"
#include "image/raster_file.h"
#include "image/raster_gif.h"
#include "image/raster_io_file.h"
#include "image/raster_jpg.h"
#include "image/raster_mem_file.h"

namespace {

// A stream of the host's own, on the library's abstract base.
class VectorFile : public CRasterFile {
public:
    bool Close() override { return true; }
    unsigned Read(void*, unsigned, unsigned) override { return 0; }
    unsigned Write(const void* buffer, unsigned size, unsigned count) override {
        const auto* p = static_cast<const unsigned char*>(buffer);
        bytes.insert(bytes.end(), p, p + static_cast<std::size_t>(size) * count);
        return count;
    }
    bool Seek(long, int) override { return false; }
    long Tell() override { return static_cast<long>(bytes.size()); }
    long Size() override { return static_cast<long>(bytes.size()); }
    bool Flush() override { return true; }
    bool Eof() override { return true; }
    long Error() override { return 0; }
    long GetC() override { return -1; }
    char* GetS(char*, int) override { return nullptr; }
    long Scanf(const char*, void*) override { return 0; }

    std::vector<unsigned char> bytes;
};

CRaster Pattern(DWORD bits) {
    CRaster image(16, 8, bits, 0);
    if (bits <= 8) image.SetGrayPalette();
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 16; ++x)
            if (bits <= 8)
                image.SetPixelIndex(x, y, static_cast<BYTE>((x + y) & ((1 << bits) - 1)));
            else
                image.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 16), static_cast<BYTE>(y * 32), 90, 0});
    return image;
}

// A stream the host owns; the library's file objects must leave it open.
struct TempStream {
    FILE* file = std::tmpfile();
    ~TempStream() {
        if (file) std::fclose(file);
    }
    void Rewind() { std::rewind(file); }
};

TEST(ImageHost, ClassesComeFromTheSharedLibrary) {
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&CRaster::GetVersion), &where), 0);
    EXPECT_NE(std::strstr(where.dli_fname, "liblumiscriber"), nullptr) << where.dli_fname;
}

TEST(ImageHost, RasterAndStreamBase) {
    CRaster empty;
    EXPECT_FALSE(empty.IsValid());
    CRaster image = Pattern(24);
    CRaster copy(image, true, true);
    EXPECT_EQ(copy.GetPixelColor(3, 2, false).rgbBlue, 48);
    // Members the renderer itself never calls are there too.
    EXPECT_TRUE(copy.Invert());
    EXPECT_EQ(copy.GetPixelColor(3, 2, false).rgbBlue, 255 - 48);
    std::vector<BYTE> flat(copy.FlatSize());
    EXPECT_NE(copy.Flatten(flat.data(), flat.size()), 0u);

    VectorFile host;
    EXPECT_TRUE(host.PutC(7));
    VectorFile other(host);
    other = host;
    EXPECT_EQ(other.bytes, std::vector<unsigned char>{7});
    ASSERT_TRUE(image.Encode(&host, kRasterTypeBmp)) << image.GetLastError();
    EXPECT_EQ(host.bytes[1], 'B');
}

TEST(ImageHost, StdioAndMemoryStreams) {
    TempStream temp;
    CRasterIOFile io(temp.file);
    EXPECT_TRUE(io.PutC('4'));
    EXPECT_EQ(io.Write("2\nxy", 1, 4), 4u);
    EXPECT_TRUE(io.Flush());
    EXPECT_EQ(io.Size(), 5);
    EXPECT_TRUE(io.Seek(0, 0));
    int number = 0;
    EXPECT_EQ(io.Scanf("%d", &number), 1);
    EXPECT_EQ(number, 42);
    EXPECT_TRUE(io.Seek(0, 0));
    char line[8] = {};
    EXPECT_STREQ(io.GetS(line, sizeof(line)), "42\n");
    EXPECT_EQ(io.GetC(), 'x');
    char rest[4] = {};
    EXPECT_EQ(io.Read(rest, 1, 4), 1u);
    EXPECT_TRUE(io.Eof());
    EXPECT_EQ(io.Tell(), 5);
    EXPECT_EQ(io.Error(), 0);
    CRasterIOFile alias(io);
    alias = io;
    EXPECT_TRUE(alias.Close());  // a caller's stream stays open
    EXPECT_TRUE(io.Seek(0, 0));

    const std::string path =
        (std::filesystem::temp_directory_path() / ("image_host_" + std::to_string(getpid()) + ".bin")).string();
    const std::u16string name(path.begin(), path.end());
    CRasterIOFile named;
    ASSERT_TRUE(named.Open(name.c_str(), u"wb"));
    EXPECT_TRUE(named.PutC(1));
    EXPECT_TRUE(named.Close());
    EXPECT_EQ(std::filesystem::file_size(path), 1u);
    std::filesystem::remove(path);

    CRasterMemFile memory;
    ASSERT_TRUE(memory.Open());
    EXPECT_EQ(memory.Write("abc", 1, 3), 3u);
    CRasterMemFile view(memory);
    view = memory;
    EXPECT_EQ(view.Size(), 3);
}

TEST(ImageHost, JpegCodecAndExifReader) {
    CRaster source = Pattern(24);
    CRasterJPG writer;
    static_cast<CRaster&>(writer) = source;
    TempStream temp;
    ASSERT_TRUE(writer.Encode(temp.file)) << writer.GetLastError();
    temp.Rewind();
    CRasterJPG reader;
    EXPECT_FALSE(reader.DecodeExif(temp.file));  // no EXIF block in a plain file
    ASSERT_TRUE(reader.Decode(temp.file)) << reader.GetLastError();
    EXPECT_EQ(reader.GetWidth(), 16u);
    CRasterJPG copy(reader);
    CRasterJPG assigned;
    assigned = copy;
    EXPECT_EQ(assigned.GetHeight(), 8u);
    EXPECT_NEAR(assigned.GetPixelColor(5, 4, false).rgbBlue, 80, 8);

    CRasterJPG::CRasterExif exif;
    CRasterJPG::CRasterExif other;
    other = exif;
    EXPECT_EQ(other.GetSectionCount(), 0);
}

TEST(ImageHost, GifCodec) {
    CRasterGIF gif;
    static_cast<CRaster&>(gif) = Pattern(4);
    TempStream single;
    ASSERT_TRUE(gif.Encode(single.file)) << gif.GetLastError();
    single.Rewind();
    CRasterGIF decoded;
    ASSERT_TRUE(decoded.Decode(single.file));
    EXPECT_EQ(decoded.GetPixelIndex(5, 3), 8);

    CRasterGIF copy(decoded);
    CRasterGIF assigned;
    assigned = copy;
    CRaster second = Pattern(4);
    second.SetPixelIndex(0, 0, 15);
    CRaster* frames[] = {&assigned, &second};
    TempStream animation;
    ASSERT_TRUE(gif.Encode(animation.file, frames, 2, true)) << gif.GetLastError();
    animation.Rewind();
    CRasterGIF played;
    played.SetLoadAllFrames(true);
    ASSERT_TRUE(played.Decode(animation.file));
    EXPECT_EQ(played.GetFrameCount(), 2);
    EXPECT_EQ(played.GetPixelIndex(0, 0), 15);
}

}  // namespace
