#pragma once
// The library's exported C entry points: the one header a host includes to make and drive a
// renderer (it brings IRenderer and everything its operations take and return).
#include "core/lumi_export.h"
#include "core/renderer_interface.h"

// Builds a renderer on the parameters' window. Null for null parameters or a width or height
// below 1 (nothing is made), or when construction failed: the crash uploader "ovelder.dll"
// then gets the event log's path when it is installed.
LUMI_EXPORT IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params);
// Destroys a renderer made by CreateLumiscriber; null is ignored.
LUMI_EXPORT void ReleaseLumiscriber(IRenderer* renderer);
