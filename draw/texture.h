#pragma once
// ITexture, the texture as the host sees it, is declared with the renderer's other public
// interfaces; this header stays for the library's own includes.
#include "core/renderer_interface.h"
