#pragma once
// Marks what the renderer's shared libraries offer to host programs; everything else in them
// is hidden.
#define LUMI_API __attribute__((visibility("default")))
#define LUMI_EXPORT extern "C" LUMI_API
