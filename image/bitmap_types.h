#pragma once
// The device-independent bitmap records of the platform that the image library keeps in
// every image: the 40-byte info header and the 4-byte palette entry, with the platform's
// field names and order. Declared here because nothing else in the tree needs them.
#include <cstdint>

#include "platform/win32/win32_types.h"

struct BITMAPINFOHEADER {
    DWORD biSize;           // 40
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;          // 1
    WORD biBitCount;
    DWORD biCompression;    // 0: none
    DWORD biSizeImage;      // row stride x height
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the info header is 40 bytes in files and image blocks");

// Palette entries and pixel colours: blue, green, red, fourth byte.
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

// 0x00BBGGRR.
using COLORREF = DWORD;
