#pragma once
// The library's exported C entry points: the one header a host includes to make and drive a
// renderer (it brings IRenderer and everything its operations take and return).
//
// Both libraries export them: liblumiscriber.so, the current build, and
// liblumiscriber_legacy.so, the legacy build, which for now is made from the same sources and
// offers the same interface. Either links liblumiscriber_platform.so, whose windows, display
// and device the host shares with it.
//
// CreateLumiscriber writes the event log, "logs/lumiscriber.log" under the working folder,
// only where that logs/ folder exists: a host creates the folder first to learn why a
// renderer could not be made.
#include "core/lumi_export.h"
#include "core/renderer_interface.h"

// Builds a renderer on the parameters' window (a window of the shared platform). The renderer
// belongs to the host until ReleaseLumiscriber. Null for null parameters, a null or destroyed
// window or a width or height below 1 (nothing is made), or when construction failed: the
// crash uploader "ovelder.dll" then gets the event log's path when it is installed. Either
// way the event log says why.
LUMI_EXPORT IRenderer* CreateLumiscriber(const STRU_RENDERER_PARAM* params);
// Destroys a renderer made by CreateLumiscriber; null is ignored.
LUMI_EXPORT void ReleaseLumiscriber(IRenderer* renderer);
