#pragma once

// Test support only: take and give back the crash reporter's busy flag as a report in progress
// would, so that a fault meanwhile is known to meet it. Hold returns false if it was taken.
bool HoldCrashReportBusyForTesting();
void ReleaseCrashReportBusyForTesting();
