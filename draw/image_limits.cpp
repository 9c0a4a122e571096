// The renderer's limits for image files: the device's largest texture and the load budget.
#include "draw/image_limits.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "core/format_helpers.h"
#include "platform/d3d9/d3d9.h"

namespace {

std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

}  // namespace

image_limits_t LimitsOfDevice(IDirect3DDevice9* device, bool squareOnly) {
    image_limits_t limits;
    D3DCAPS9 caps{};
    if (device != nullptr && SUCCEEDED(device->GetDeviceCaps(&caps)) && caps.MaxTextureWidth > 0 &&
        caps.MaxTextureHeight > 0) {
        limits.maxWidth = std::min(limits.maxWidth, static_cast<std::uint32_t>(caps.MaxTextureWidth));
        limits.maxHeight = std::min(limits.maxHeight, static_cast<std::uint32_t>(caps.MaxTextureHeight));
    }
    limits.squareOnly = squareOnly;
    return limits;
}

std::uint64_t LoadCostBytes(std::uint64_t fileBytes, std::uint32_t width, std::uint32_t height,
                            std::uint32_t decodeBytesPerPixel, std::uint32_t texelBytes, std::uint32_t frames) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t decoded = SaturatingMul(pixels, decodeBytesPerPixel);
    const std::uint64_t converted = SaturatingMul(SaturatingMul(pixels, texelBytes), std::max<std::uint32_t>(frames, 1));
    return SaturatingAdd(SaturatingAdd(fileBytes, decoded), converted);
}

bool AdmitImage(const image_limits_t& limits, std::uint32_t width, std::uint32_t height, std::uint64_t costBytes,
                char* reason, std::size_t capacity) {
    // The renderer's texture of the image has power-of-two sides (squared for some devices).
    std::uint64_t textureWidth = NextPowerOfTwo(width);
    std::uint64_t textureHeight = NextPowerOfTwo(height);
    std::uint64_t largestWidth = limits.maxWidth;
    std::uint64_t largestHeight = limits.maxHeight;
    if (limits.squareOnly) {
        textureWidth = textureHeight = std::max(textureWidth, textureHeight);
        largestWidth = largestHeight = std::min(largestWidth, largestHeight);
    }
    if (width == 0 || height == 0 || textureWidth == 0 || textureHeight == 0 || textureWidth > largestWidth ||
        textureHeight > largestHeight) {
        std::snprintf(reason, capacity, "image %ux%u larger than the largest texture %" PRIu64 "x%" PRIu64, width,
                      height, largestWidth, largestHeight);
        return false;
    }
    if (costBytes > kLoadBudgetBytes) {
        std::snprintf(reason, capacity, "image %ux%u needs %" PRIu64 " bytes, over the load budget of %" PRIu64,
                      width, height, costBytes, kLoadBudgetBytes);
        return false;
    }
    return true;
}

bool AdmitFile(std::uint64_t fileBytes, char* reason, std::size_t capacity) {
    if (fileBytes <= kLoadBudgetBytes) return true;
    std::snprintf(reason, capacity, "file of %" PRIu64 " bytes, over the load budget of %" PRIu64, fileBytes,
                  kLoadBudgetBytes);
    return false;
}
