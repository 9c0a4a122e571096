#include "platform/fontmill/control.h"

#include "platform/fontmill/engine_state.h"

namespace fontmillctl {

Counters GetCounters() { return FontmillState().counters; }

void Reset() { FontmillState().Clear(); }

void SetLoadDelay(std::int32_t polls) { FontmillState().loadDelay = polls > 0 ? polls : 0; }

void FailGetBitmap(std::int32_t codeUnit) { FontmillState().failingCodeUnit = codeUnit; }

void SetEngineAvailable(bool available) { FontmillState().available = available; }

}  // namespace fontmillctl
