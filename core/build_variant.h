#pragma once
// Which of the two renderer builds this translation unit belongs to. Small differences
// inside a shared file use `if constexpr (kLegacy)`; whole replacements live in legacy/.
#ifndef LUMI_LEGACY
#define LUMI_LEGACY 0
#endif

namespace lumi {
inline constexpr bool kLegacy = LUMI_LEGACY != 0;
}
