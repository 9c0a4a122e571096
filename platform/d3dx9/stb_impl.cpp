// The one translation unit that compiles stb_image and stb_image_write. Their own warnings are
// silenced here only.
#include "platform/d3dx9/image_buffer.h"

#define STBI_MAX_DIMENSIONS (static_cast<int>(d3dx::kMaxImageDimension))
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
