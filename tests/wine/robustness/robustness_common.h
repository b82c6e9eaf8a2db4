// Shared helpers of the Wine robustness tests: export types, a configuration on the simulator's
// port, and a call whose library prompts are answered with Cancel.
#ifndef ZUK_TESTS_WINE_ROBUSTNESS_COMMON_H
#define ZUK_TESTS_WINE_ROBUSTNESS_COMMON_H

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"
#include "tools/zuk_exports.h"

// The INI of a reader on the simulator's port, with extra lines.
inline std::string SimIni(const std::string &extra = "") {
    const char *com = std::getenv("ZUK_SIM_COM");
    return std::string("[Device]\r\nPortName=\\\\.\\") + (com ? com : "COM1") +
           "\r\nDeviceName=PR300\r\n" + extra + "[FeliCa]\r\nSystemCode=88B4\r\n";
}

// Leaves no INI file and no machine values behind: test programs that run later set up their own
// and must not meet this program's port.
inline void ForgetSettings() {
    WriteIni("");
    for (const char *name : {"InstallPath", "Mode", "Device", "Config", "FeliCa"})
        DeleteMachineValue(name);
}

// Runs `call` on its own thread and answers every prompt it raises with Cancel; its result, or
// 0x7EEEEEEE when it did not end within a minute.
inline int Cancelling(std::function<int()> call, int *prompts = nullptr) {
    CallThread t;
    StartCall(&t, std::move(call));
    int seen = 0;
    const DWORD end = GetTickCount() + 60000;
    while (WaitForSingleObject(t.handle, 0) == WAIT_TIMEOUT && GetTickCount() < end) {
        SeenWindow box;
        if (WaitForWindow(&box, 200, t.id)) {
            PressButton(box.hwnd, IDCANCEL);
            WaitGone(box.hwnd, 5000);
            ++seen;
        }
    }
    if (prompts != nullptr) *prompts = seen;
    return FinishCall(&t, 1000) ? t.result : 0x7EEEEEEE;
}

inline std::string Text(ReadTextFn read) {
    char buffer[128];
    int length = sizeof buffer;
    if (read(kReaderHandle, buffer, &length) != 0) return "<failed>";
    return std::string(buffer, static_cast<std::size_t>(length));
}

#endif
