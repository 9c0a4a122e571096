#pragma once
// Marks the classes the image library offers to host programs; the renderer's shared
// libraries hide everything else.
#define LUMI_IMAGE_API __attribute__((visibility("default")))
