#pragma once

// Calls Clock::notifyChanged, in the event loop, whenever Windows tells its top-level windows that
// the clock was set (WM_TIMECHANGE) or that the machine has resumed from sleep (WM_POWERBROADCAST).
// False where the window that hears it cannot be made.
bool watchWindowsClock();
