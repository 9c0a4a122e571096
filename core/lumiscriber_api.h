#pragma once
// The library's exported C entry points.
#if defined(__GNUC__)
#define LUMI_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define LUMI_EXPORT extern "C"
#endif

class IRenderer;
struct STRU_RENDERER_PARAM;

// Builds a renderer on the parameters' window. Null for null parameters or a width or height
// below 1 (nothing is made), or when construction failed: the crash uploader "ovelder.dll"
// then gets the event log's path when it is installed.
LUMI_EXPORT IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params);
// Destroys a renderer made by CreateLumiscriber; null is ignored.
LUMI_EXPORT void ReleaseLumiscriber(IRenderer* renderer);
