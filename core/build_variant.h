#pragma once
// Which of the two renderer builds this translation unit belongs to: the build sets
// LUMI_LEGACY to 1 for every source of the legacy library (lumiscriber_legacy) and its tests,
// and to 0 for the current one. Code compiled once for both (image/, platform/) must not
// depend on it, and a source that includes this header without the setting does not compile.
//
// Small differences inside a shared file use `if constexpr (kLegacy)`, or `#if LUMI_LEGACY`
// where a declaration differs; whole replacements are files under legacy/, and the legacy
// build leaves out the current files they replace (CMakeLists.txt, LUMI_REPLACED_IN_LEGACY).
// A table that differs as a whole between the builds (an interface's slot order, the pool
// table) is chosen in the one header that declares it, which includes the legacy form from
// legacy/ in that build (as core/pool_table.h does).
#ifndef LUMI_LEGACY
#error "LUMI_LEGACY is not set: this source belongs to one of the renderer builds"
#endif

namespace lumi {
inline constexpr bool kLegacy = LUMI_LEGACY != 0;
}
