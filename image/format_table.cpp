#include "image/format_table.h"

namespace lumi::image {

namespace {

// One entry per format. Codecs still to come have only their type id.
const CodecEntry kCodecs[] = {
    CodecEntry{kRasterTypeBmp},
    CodecEntry{kRasterTypeGif},
    CodecEntry{kRasterTypeJpg},
    CodecEntry{kRasterTypePng},
    CodecEntry{kRasterTypeTga},
    CodecEntry{kRasterTypeJna},
};

}  // namespace

std::span<const CodecEntry> DefaultCodecs() { return kCodecs; }

}  // namespace lumi::image
