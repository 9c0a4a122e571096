#include "core/lumiscriber_api.h"

// The renderer object is not built yet: the factory refuses every request.
IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM*) { return nullptr; }

void ReleaseLumiscriber(IRenderer*) {}
