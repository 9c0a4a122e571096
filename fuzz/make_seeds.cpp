// Writes the seed corpora of the fuzz targets: small images written by the library's own
// encoders at each depth it writes (with and without alpha or transparency), and a particle
// script that uses every block. One folder per target under the folder given.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "image/raster.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A small picture with a gradient, so every encoder has colours and runs to work on.
CRaster Picture(DWORD bpp, bool alpha, bool background) {
    CRaster image(13, 7, bpp, kRasterTypeNone);
    if (bpp <= 8) {
        const int colours = 1 << bpp;
        for (int i = 0; i < colours; ++i)
            image.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(i * 255 / (colours - 1)),
                                  static_cast<BYTE>(255 - i * 255 / (colours - 1)), static_cast<BYTE>(i * 37));
    }
    for (LONG y = 0; y < 7; ++y)
        for (LONG x = 0; x < 13; ++x)
            image.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 19), static_cast<BYTE>(y * 36),
                                              static_cast<BYTE>((x + y) * 12), 0});
    if (alpha && image.CreateAlpha())
        for (LONG y = 0; y < 7; ++y)
            for (LONG x = 0; x < 13; ++x) image.SetAlphaAt(x, y, static_cast<BYTE>(x * 20));
    if (background) image.SetBackgroundIndex(0);
    return image;
}

// Writes the images of `type` into `folder`, each after `prefix` (the settings bytes of
// targets that read some before the file).
void WriteImages(const fs::path& folder, DWORD type, const std::string& prefix = "") {
    fs::create_directories(folder);
    int n = 0;
    for (DWORD bpp : {1u, 4u, 8u, 24u})
        for (int variant = 0; variant < 3; ++variant) {
            CRaster image = Picture(bpp, variant == 1, variant == 2 && bpp <= 8);
            BYTE* bytes = nullptr;
            long size = 0;
            if (!image.Encode(bytes, size, type)) continue;  // not every format writes every depth
            std::string seed = prefix;
            seed.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
            WriteFile(folder / ("seed" + std::to_string(type) + "-" + std::to_string(n++)), seed.data(), seed.size());
            std::free(bytes);
        }
    if (n == 0) {
        std::fprintf(stderr, "no seed written for type %u\n", static_cast<unsigned>(type));
        std::exit(1);
    }
}

// Tokens of every kind the readers take: names, numbers, ranges, vectors, colours, enum names.
constexpr char kScript[] =
    "// seed\nPARTICLEEMITTER \"seed\"\n{\n  EMITTERLIFE = 5\n  EMITTERRATE = 1.5\n"
    "  PARTICLEBEAM \"fire\"\n  {\n    TEXTURE = \"fire.tga\"\n    NUMPARTICLES = 40\n"
    "    LIFETIME = RANDOM(0.5, 1.5)\n    EMITSPEED = 20\n    EMITANGLE = XYZ(0, 10, -5.5)\n"
    "    SOURCEBLENDMODE = D3DBLEND_SRCALPHA\n    BLENDOP = D3DBLENDOP_ADD\n"
    "    COLOROP = D3DTOP_MODULATE\n    PARTICLEMODE = PM_BILLBOARD\n    UV = UV(0.25, 0.5)\n"
    "    INITIAL COLOR = RGBA(255, 128, 0, 255)\n    AT 2 COLOR = FADE RGB(0, 0, 0)\n"
    "    SINGLEPARTICLE = FALSE\n    CIRCLEBEAM = TRUE\n  }\n  SOUNDFILE = \"fire.wav\"\n"
    "  SOUNDVOLUME = 0.8\n}\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    WriteImages(root / "bmp_fuzz", kRasterTypeBmp);
    WriteImages(root / "gif_fuzz", kRasterTypeGif);
    WriteImages(root / "jpg_fuzz", kRasterTypeJpg);
    WriteImages(root / "exif_fuzz", kRasterTypeJpg);
    WriteImages(root / "png_fuzz", kRasterTypePng);
    WriteImages(root / "tga_fuzz", kRasterTypeTga);
    WriteImages(root / "jna_fuzz", kRasterTypeJna);
    WriteImages(root / "memfile_fuzz", kRasterTypePng);
    WriteImages(root / "gif_texture_fuzz", kRasterTypeGif);
    // Targets whose first byte picks the type, the extension or the renderer: one seed per
    // format, the byte chosen to match it.
    const std::pair<DWORD, char> kPicked[] = {{kRasterTypePng, 0}, {kRasterTypeJpg, 1}, {kRasterTypeBmp, 2},
                                              {kRasterTypeTga, 3}, {kRasterTypeGif, 4}, {kRasterTypeJna, 5}};
    for (const auto& [type, extension] : kPicked) {
        WriteImages(root / "texture_load_fuzz", type, std::string(1, extension));
        WriteImages(root / "image_ops_fuzz", type, std::string("\x81\x82\x03\x04", 4));
        WriteImages(root / "detect_fuzz", type, std::string(1, '\0'));
        WriteImages(root / "raster_file_fuzz", type, std::string(1, '\0'));
    }
    fs::create_directories(root / "particle_script_fuzz");
    WriteFile(root / "particle_script_fuzz" / "seed0", kScript, sizeof(kScript) - 1);
    return 0;
}
