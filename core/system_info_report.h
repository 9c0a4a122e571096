#pragma once
// The system information report the renderer writes to the event log before a fatal
// Direct3D set-up error: the machine's operating system, DirectX version, memory and
// display hardware as the DirectX diagnostic provider describes them, and a warning to the
// user (through tarnel's Warning) when DirectDraw, Direct3D or AGP texture acceleration is
// switched off.
#include "core/system_info_report_records.h"

// Gathers into `records` (what an earlier report left there is freed first) and writes the
// report. False, with nothing written and `records` empty, when the provider cannot be made
// or initialised; true otherwise, also when some reads failed (the report is then shorter).
// Runs on the renderer's thread; COM is initialised there for the duration.
bool LogSystemInfo(SystemInfoRecords* records);
