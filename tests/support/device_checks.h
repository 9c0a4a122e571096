#pragma once
// The check every test over the software device ends with, once it has released all it made.
#include <gtest/gtest.h>

#include <string>

#include "platform/d3d9/control.h"

namespace lumi::test {

// Nothing of the software device is left alive, and nothing was misused along the way.
inline void ExpectDeviceLeftClean() {
    const d3d9ctl::LiveObjects live = d3d9ctl::CountLiveObjects();
    EXPECT_EQ(live.Total(), 0) << "left alive: " << live.direct3d << " Direct3D objects, " << live.devices
                               << " devices, " << live.resources << " resources, " << live.swapChains
                               << " swap chains, " << live.shaders << " shaders";
    for (const std::string& misuse : d3d9ctl::MisuseReports()) ADD_FAILURE() << "device misuse: " << misuse;
}

}  // namespace lumi::test
