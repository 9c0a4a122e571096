#pragma once
// The library's exported C entry points.
#if defined(__GNUC__)
#define LUMI_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define LUMI_EXPORT extern "C"
#endif

class IRenderer;
struct STRU_RENDERER_PARAM;

LUMI_EXPORT IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params);
LUMI_EXPORT void ReleaseLumiscriber(IRenderer* renderer);
