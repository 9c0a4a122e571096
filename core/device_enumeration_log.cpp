// The settings log the renderer writes before and after each device settings search.
#include <cstdint>

#include "core/device_enumeration_search.h"
#include "core/event_log.h"
#include "core/format_helpers.h"

void LogDeviceSettings(const STRU_DEVICE_SETTINGS* settings) {
    if (settings == nullptr) return;
    const D3DPRESENT_PARAMETERS& pp = settings->pp;
    WriteLog(u"DeviceType : %s", DevTypeName(settings->DeviceType));
    WriteLog(u"AdapterFormat : %s", FormatName(settings->AdapterFormat));
    WriteLog(u"BehaviorFlags: %d", settings->BehaviorFlags);
    WriteLog(u">>> Present Params <<<");
    WriteLog(u"\tBackBufferWidth : %d", pp.BackBufferWidth);
    WriteLog(u"\tBackBufferHeight : %d", pp.BackBufferHeight);
    WriteLog(u"\tBackBufferFormat : %s", FormatName(pp.BackBufferFormat));
    WriteLog(u"\tBackBufferCount : %d", pp.BackBufferCount);
    WriteLog(u"\tSwapEffect : %d", pp.SwapEffect);
    WriteLog(u"\tMultiSampleType : %s", MultiSampleTypeName(pp.MultiSampleType));
    WriteLog(u"\tMultiSampleQuality : %d", pp.MultiSampleQuality);
    // Window handles are 32-bit on the library's platform; the column keeps that width.
    WriteLog(u"\tDeviceWindow : 0X%08X",
             static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pp.hDeviceWindow)));
    WriteLog(u"\tWindowed : %d", pp.Windowed);
    WriteLog(u"\tEnableAutoDepthStencil : %d", pp.EnableAutoDepthStencil);
    WriteLog(u"\tAutoDepthStencilFormat : %s", FormatName(pp.AutoDepthStencilFormat));
    WriteLog(u"\tFlags : %d", pp.Flags);
    WriteLog(u"\tFullScreen_RefreshRateInHz : %d", pp.FullScreen_RefreshRateInHz);
    WriteLog(u"\tPresentationInterval : 0X%08x", pp.PresentationInterval);
}
