#pragma once
// Internal to the image library: how a codec fails. Its steps answer null on success or the
// message of the failure ("" keeps the message already there, such as CRaster::Create's);
// the messages that more than one codec gives are defined here once.
#include <new>

namespace lumi::image {

inline constexpr char kCancelled[] = "Cancelled";
inline constexpr char kNoMemory[] = "can't allocate memory";
inline constexpr char kTooLarge[] = "image too large for format";
inline constexpr char kWriteError[] = "Write Error";
// JPEG's refusal, also JNA's, whose colour block is a JPEG file.
inline constexpr char kOnlyRgbOrGrey[] = "JPEG can save only RGB or GreyScale images";

// Runs a codec step; an exception becomes the failure onNoMemory (out of memory) or onOther
// (anything else), since no exception leaves the image library.
template <class Step>
const char* RunCatching(Step&& step, const char* onNoMemory, const char* onOther) noexcept {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return onNoMemory;
    } catch (...) {
        return onOther;
    }
}

}  // namespace lumi::image
