// `status`, the port: finds the reader's port as ZUKOpen does (the INI's PortName, else the
// USB-serial driver's registry entries), takes the reader's mutex only if it is free, opens the
// port, reads its settings and closes it again, then tries the reader's keys
// (reader_keys_check.cpp).  A failure is reported with the Windows error by name and what to do
// about it.
#include <windows.h>

#include "api/frame.h"
#include "card/card_status.h"
#include "card/session.h"
#include "settings/config.h"
#include "tools/zukcli/settings_check.h"

namespace {

struct ErrorAdvice {
    DWORD error;
    const char *name;
    const char *advice;
};

const ErrorAdvice kAdvice[] = {
    {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND",
     "no such port on this machine: look up the reader's COM port in Device Manager (Ports) and "
     "set "
     "[Device] PortName, or leave it empty to use the USB-serial driver's port"},
    {ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND", "no such port: check [Device] PortName"},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", "another program has the port open: close it"},
    {ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION",
     "another program has the port open: close it"},
    {ERROR_INVALID_NAME, "ERROR_INVALID_NAME",
     "the name is no device name: write COM1 to COM9 as they are, COM10 and above as \\\\.\\COM10"},
    {ERROR_NOT_READY, "ERROR_NOT_READY", "the device is not ready: replug the reader's USB cable"},
    {ERROR_GEN_FAILURE, "ERROR_GEN_FAILURE",
     "the device does not work: replug the reader, reinstall its driver"},
    {ERROR_DEVICE_NOT_CONNECTED, "ERROR_DEVICE_NOT_CONNECTED",
     "the reader is unplugged: plug it in"},
    {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER",
     "the port refuses the line settings: check the driver"},
};

std::string ErrorText(DWORD error) {
    std::string text;
    const char *advice = "see the Windows error";
    for (const ErrorAdvice &a : kAdvice) {
        if (a.error == error) {
            text = a.name;
            advice = a.advice;
        }
    }
    if (text.empty()) text = "Windows error";
    return text + " (" + std::to_string(error) + "): " + advice;
}

}  // namespace

void CheckPort(StatusCheck *check) {
    if (!check->registryLoads || check->device != kDeviceReader) return;  // no reader to reach
    if (check->deviceName != "PR300") return;  // reported by the INI check
    std::string port = check->portName;
    if (port.empty()) {
        char found[512] = {0};
        if (FindDriverPort(found, sizeof found) != CARD_OK) {
            check->Add(
                Finding::Error, "port",
                "no reader port found: [Device] PortName is empty and no USB-serial driver entry "
                "names a port (driver D_SER2_A, Ser2dw or PCD_SER2); plug in the reader, install "
                "its "
                "driver, or set [Device] PortName");
            return;
        }
        port = found;
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ZUK_PORT_MUTEX_NAME);
    if (mutex) {
        const DWORD wait = WaitForSingleObject(mutex, 0);
        if (wait == WAIT_TIMEOUT) {
            CloseHandle(mutex);
            check->Set("Port", port, "not tried: the reader is in use");
            check->Add(Finding::Info, "port",
                       "the reader is in use by another program (it holds " ZUK_PORT_MUTEX_NAME
                       "): the port " +
                           Quoted(port) +
                           " and the reader's keys were not tried (status does not wait)");
            return;
        }
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            CloseHandle(mutex);
            mutex = nullptr;
        }
    }
    HANDLE h = CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        check->Set("Port", port, "does not open");
        check->Add(Finding::Error, "port",
                   "the port " + Quoted(port) + " cannot be opened: " + ErrorText(error));
    } else {
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h, &dcb)) {
            const DWORD error = GetLastError();
            check->Set("Port", port, "opens, settings unreadable");
            check->Add(Finding::Error, "port",
                       "the port " + Quoted(port) + " opens but its settings cannot be read: " +
                           ErrorText(error) + "; is it a serial port?");
        } else {
            check->Set("Port", port, "opens, " + std::to_string(dcb.BaudRate) + " baud");
        }
        CloseHandle(h);
        // With the reader's mutex held, the reader itself: ZUKOpen's link and authentication.
        if (mutex) CheckReaderKeys(port, check);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}
