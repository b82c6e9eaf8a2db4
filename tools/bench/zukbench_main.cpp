// zukbench: wall time, line bytes, CPU time and heap allocations of each export, called in-process
// the way a host calls it, against zuk-reader-sim --pace.  One JSON object a line on stdout; the
// wire bound and the report are scripts/bench.sh's.
//   zukbench CALLS
// Environment: ZUK_SIM_CONTROL_PORT (the simulator's control port), ZUKBENCH_DLL (the DLL),
// ZUKBENCH_CARDS (the simulator's folder of card files, a Linux path: nopin.card, pin.card and
// pwN.card), ZUKBENCH_INI (the library's INI file, a Windows path).
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "resources/dialog_ids.h"
#include "link/transport.h"
#include "tools/bench/heap_count.h"
#include "tools/dialogs/find_dialog.h"
#include "tools/zuk_exports.h"

namespace {

struct Library {
    HMODULE dll;
    OpenFn open;
    CloseFn close;
    SenseFn sense;
    VerifyPinFn verify;
    ReadTextFn name, userOption, adminOption;
    UserAccountFn account;
    PinTriesFn pinTries;
    WaitForCardFn waitForCard;
    CancelFn cancel;
    UserAccountWithPinFn accountWithPin;
} g_lib;

SOCKET g_control = INVALID_SOCKET;
int g_handle = 0;
std::string g_cards;

bool LoadZuk() {
    const char *path = std::getenv("ZUKBENCH_DLL");
    g_lib.dll = LoadLibraryA(path != nullptr ? path : "ZUKcntrl.dll");
    if (g_lib.dll == nullptr) return false;
    auto find = [](const char *name) {
        return reinterpret_cast<void (*)()>(GetProcAddress(g_lib.dll, name));
    };
    g_lib.open = reinterpret_cast<OpenFn>(find("ZUKOpen"));
    g_lib.close = reinterpret_cast<CloseFn>(find("ZUKClose"));
    g_lib.sense = reinterpret_cast<SenseFn>(find("ZUKSenseCard"));
    g_lib.verify = reinterpret_cast<VerifyPinFn>(find("ZUKVerifyPIN"));
    g_lib.name = reinterpret_cast<ReadTextFn>(find("ZUKGetUserName"));
    g_lib.userOption = reinterpret_cast<ReadTextFn>(find("ZUKGetUserOption"));
    g_lib.adminOption = reinterpret_cast<ReadTextFn>(find("ZUKGetAdminOption"));
    g_lib.account = reinterpret_cast<UserAccountFn>(find("ZUKGetUserAccount"));
    g_lib.pinTries = reinterpret_cast<PinTriesFn>(find("ZUKGetPinTries"));
    g_lib.waitForCard = reinterpret_cast<WaitForCardFn>(find("ZUKWaitForCard"));
    g_lib.cancel = reinterpret_cast<CancelFn>(find("ZUKCancel"));
    g_lib.accountWithPin = reinterpret_cast<UserAccountWithPinFn>(find("ZUKGetUserAccountWithPin"));
    HookAllocations(g_lib.dll);
    return g_lib.open && g_lib.close && g_lib.sense && g_lib.verify && g_lib.name &&
           g_lib.userOption && g_lib.adminOption && g_lib.account && g_lib.pinTries &&
           g_lib.waitForCard && g_lib.cancel && g_lib.accountWithPin;
}

bool ConnectControl() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const char *port = std::getenv("ZUK_SIM_CONTROL_PORT");
    if (port == nullptr) return false;
    g_control = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    return connect(g_control, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
}

std::string Control(const std::string &line) {
    const std::string out = line + "\n";
    send(g_control, out.data(), static_cast<int>(out.size()), 0);
    std::string reply;
    char c;
    while (recv(g_control, &c, 1, 0) == 1 && c != '\n') reply += c;
    return reply;
}

// One number of the simulator's `counts` reply.
long long CountOf(const std::string &counts, const char *key) {
    const std::string k = std::string(" ") + key + " ";
    const std::size_t at = counts.find(k);
    return at == std::string::npos ? -1 : std::atoll(counts.c_str() + at + k.size());
}

double Seconds(const LARGE_INTEGER &a, const LARGE_INTEGER &b) {
    static LARGE_INTEGER f = {};
    if (f.QuadPart == 0) QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// CPU time of the calling thread (the library runs on it), in microseconds.
double ThreadCpuUs() {
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    const ULONGLONG kt = (static_cast<ULONGLONG>(k.dwHighDateTime) << 32) | k.dwLowDateTime;
    const ULONGLONG ut = (static_cast<ULONGLONG>(u.dwHighDateTime) << 32) | u.dwLowDateTime;
    return static_cast<double>(kt + ut) / 10.0;
}

// ---- The calls and what surrounds them (outside the timing) ----
int Nothing() { return 0; }
int OpenCall() { return g_lib.open(&g_handle); }
int CloseCall() { return g_lib.close(g_handle); }
int Unprovision() {
    Control("keystate 000000");
    return 0;
}
int SenseCall() {
    int present = -1;
    const int r = g_lib.sense(g_handle, &present);
    return r != 0 ? r : (present == 1 ? 0 : 100 + present);
}
int SenseAbsentCall() {
    int present = -1;
    const int r = g_lib.sense(g_handle, &present);
    return r != 0 ? r : (present == 0 ? 0 : 100 + present);
}
int RemoveCard() {
    Control("remove");
    return 0;
}
int PlaceCard() {
    Control("place");
    return 0;
}
char g_text[1024];
int NameCall() {
    int n = sizeof g_text;
    return g_lib.name(g_handle, g_text, &n);
}
int UserOptionCall() {
    int n = sizeof g_text;
    return g_lib.userOption(g_handle, g_text, &n);
}
int AdminOptionCall() {
    int n = sizeof g_text;
    return g_lib.adminOption(g_handle, g_text, &n);
}
int VerifyCall() { return g_lib.verify(g_handle, 4, "1234"); }
char g_account[128], g_password[256];
int AccountCall() {
    AccountRequest r = {ZUK_ACCOUNT_REQUEST_VERSION,
                        g_account,
                        sizeof g_account,
                        g_password,
                        sizeof g_password,
                        0,
                        0};
    return g_lib.account(g_handle, &r, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
}

// The host-driven identification a host with its own PIN pad makes once a card is laid: the
// wait that sees the card, then the account with the PIN it collected (no window).
int HostDrivenCall() {
    int present = 0;
    const int r = g_lib.waitForCard(g_handle, 1, 5000, &present);
    if (r != 0 || present != 1) return r != 0 ? r : 100 + present;
    AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION,
                              g_account,
                              sizeof g_account,
                              g_password,
                              sizeof g_password,
                              0,
                              0};
    int tries = 0;
    return g_lib.accountWithPin(g_handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, "1234", 4,
                                &tries);
}

// ---- The library's windows answered as soon as they open ----
// A hook on the calling thread (where the library shows its windows) instead of a thread that
// looks for them: a polling thread asks the Wine server for the window list every few
// milliseconds, and those requests slowed every call, windows or not.  The hook runs only when a
// window is created or activated.  The PIN dialog gets the PIN; a Retry /
// Cancel prompt (which a failing call shows) gets Cancel, so that a failure ends the call instead
// of waiting for a person.  The top-level dialog windows a call opens are counted: each costs the
// platform's window creation, which the report sets beside a bare host's.
HHOOK g_windowHook = nullptr;
long g_windowsOpened = 0;
long g_pinDialogs = 0;
const ULONG_PTR kDialogClassAtom = 32770;

bool IsTopLevelDialog(const CREATESTRUCTA *cs) {
    const ULONG_PTR cls = reinterpret_cast<ULONG_PTR>(cs->lpszClass);
    const bool dialogClass =
        (cls >> 16) == 0 ? cls == kDialogClassAtom : lstrcmpA(cs->lpszClass, "#32770") == 0;
    return dialogClass && (cs->style & WS_CHILD) == 0;
}

void Answer(HWND dialog) {
    if (GetDlgItem(dialog, ZUK_IDC_PIN_EDIT) != nullptr) {
        ++g_pinDialogs;
        AnswerPinDialog(dialog, "1234");
    } else if (GetDlgItem(dialog, IDRETRY) != nullptr) {
        PressButton(dialog, IDCANCEL);
    }
}

LRESULT CALLBACK WatchWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND &&
        IsTopLevelDialog(reinterpret_cast<CBT_CREATEWNDA *>(lParam)->lpcs))
        ++g_windowsOpened;
    // A dialog is activated when it shows, after its controls are set up.
    if (code == HCBT_ACTIVATE) Answer(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(g_windowHook, code, wParam, lParam);
}

// ---- What the platform itself costs, without the library ----
// The same window and line operations the library makes, made by this host directly: their time
// is the platform's floor under each call (Wine's window creation, its serial read completion).
HANDLE g_floorPort = INVALID_HANDLE_VALUE;

INT_PTR CALLBACK BareDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == ZUK_IDC_PIN_OK) EndDialog(dialog, 1);
    if (message == WM_CLOSE) DestroyWindow(dialog);
    return message == WM_INITDIALOG ? FALSE : (message == WM_COMMAND || message == WM_CLOSE);
}

// The card access window as the library makes it: created modeless, its texts set, centred and
// shown on top, the previously active window activated again, closed.
int BareAccessWindow() {
    HWND previous = GetActiveWindow();
    HWND w =
        CreateDialogParamA(g_lib.dll, MAKEINTRESOURCEA(ZUK_DLG_ACCESSING), nullptr, BareDialog, 0);
    if (w == nullptr) return 1;
    SetWindowTextA(w, "Card access");
    SetDlgItemTextA(w, ZUK_IDC_ACCESS_TEXT, "Accessing");
    RECT desktop{}, own{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(w, &own);
    SetWindowPos(w, HWND_TOPMOST, (desktop.right - (own.right - own.left)) / 2,
                 (desktop.bottom - (own.bottom - own.top)) / 2, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    if (previous != nullptr && previous != GetActiveWindow() && IsWindow(previous))
        SetActiveWindow(previous);
    SendMessageA(w, WM_CLOSE, 0, 0);
    return 0;
}

// The PIN dialog run modally and answered by the hook as the library's is.
int BarePinDialog() {
    return DialogBoxParamA(g_lib.dll, MAKEINTRESOURCEA(ZUK_DLG_PIN), nullptr, BareDialog, 0) == 1
               ? 0
               : 1;
}

bool FloorWrite(const unsigned char *frame, DWORD length) {
    DWORD put = 0;
    return WriteFile(g_floorPort, frame, length, &put, nullptr) && put == length;
}

// One reader frame answered: a 4-byte header read, then the rest, as the link reads a frame.
bool FloorAnswer() {
    unsigned char answer[64];
    DWORD got = 0;
    if (!ReadFile(g_floorPort, answer, 4, &got, nullptr) || got != 4) return false;
    const DWORD rest = ((static_cast<DWORD>(answer[1]) << 8) | answer[2]);
    if (rest + 4 > sizeof answer) return false;
    return ReadFile(g_floorPort, answer + 4, rest, &got, nullptr) && got == rest;
}

bool FloorSpeed(DWORD baud, unsigned char code) {
    const unsigned char frame[] = {
        0x08, 0x00, 0x04, 0x00,
        0x07, code, 0x00, static_cast<unsigned char>(0x08 ^ 0x04 ^ 0x07 ^ code)};
    if (!FloorWrite(frame, sizeof frame) || !FloorAnswer()) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(g_floorPort, &dcb)) return false;
    dcb.BaudRate = baud;
    return SetCommState(g_floorPort, &dcb) != FALSE;
}

// The time-outs the link sets on its port.
COMMTIMEOUTS LinkTimeouts() {
    return COMMTIMEOUTS{0, SERIAL_READ_MS_PER_BYTE, SERIAL_READ_TIMEOUT_MS,
                        SERIAL_WRITE_MS_PER_BYTE, SERIAL_WRITE_TIMEOUT_MS};
}

// The reader's port (ZUKBENCH_PORT, COM9 by default) opened as the link opens it.
HANDLE OpenReaderPort() {
    const char *port = std::getenv("ZUKBENCH_PORT");
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\%s", port != nullptr ? port : "COM9");
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
}

// Opens the reader's port the way the link does (line format, time-outs) at 115200 bit/s.
int OpenFloorPort() {
    g_floorPort = OpenReaderPort();
    if (g_floorPort == INVALID_HANDLE_VALUE) return 1;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(g_floorPort, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.fParity = TRUE;
    COMMTIMEOUTS t = LinkTimeouts();
    if (!SetCommState(g_floorPort, &dcb) || !SetCommTimeouts(g_floorPort, &t) ||
        !PurgeComm(g_floorPort, PURGE_TXCLEAR | PURGE_RXCLEAR))
        return 1;
    return FloorSpeed(115200, 0x13) ? 0 : 1;
}

int CloseFloorPort() {
    FloorSpeed(9600, 0x00);
    CloseHandle(g_floorPort);
    g_floorPort = INVALID_HANDLE_VALUE;
    return 0;
}

// The port calls besides frames that the link makes when it opens and closes the line, made
// bare: open, purge, line state read and set, time-outs, a speed change, close (8 calls).
const int kBarePortCalls = 8;
int BarePortOpenClose() {
    HANDLE h = OpenReaderPort();
    if (h == INVALID_HANDLE_VALUE) return 1;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS t = LinkTimeouts();
    const bool ok = PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR) && GetCommState(h, &dcb) &&
                    SetCommState(h, &dcb) && SetCommTimeouts(h, &t) && GetCommState(h, &dcb) &&
                    SetCommState(h, &dcb);
    return CloseHandle(h) && ok ? 0 : 1;
}

// A plain reader frame (the key state query) and its answer.
int BareExchange() {
    static const unsigned char kQuery[] = {0x28, 0x00, 0x04, 0x00, 0x87, 0x00, 0x00, 0xAB};
    return FloorWrite(kQuery, sizeof kQuery) && FloorAnswer() ? 0 : 1;
}

// ---- One row ----
struct Step {
    int (*before)();
    int (*call)();
    int (*after)();
};

void Row(const char *name, const char *group, Step s, int calls, const char *pauses) {
    // The first call sets up what a library does once; then one call with the line counted.
    s.before();
    int result = s.call();
    s.after();
    s.before();
    const std::string c0 = Control("counts");
    const long windows0 = g_windowsOpened, pins0 = g_pinDialogs;
    result = result != 0 ? result : s.call();
    const long windows = g_windowsOpened - windows0, pins = g_pinDialogs - pins0;
    const std::string c1 = Control("counts");
    s.after();
    std::vector<double> us;
    double cpu = 0, baseline = 0;
    const long allocs0 = AllocationCount();
    for (int i = 0; i < calls; ++i) {
        s.before();
        LARGE_INTEGER a, b;
        const double cpu0 = ThreadCpuUs();
        QueryPerformanceCounter(&a);
        const int r = s.call();
        QueryPerformanceCounter(&b);
        cpu += ThreadCpuUs() - cpu0;
        if (r != 0 && result == 0) result = r;
        us.push_back(Seconds(a, b) * 1e6);
        s.after();
        // The same measurement around nothing: what the timing itself costs.
        const double base0 = ThreadCpuUs();
        QueryPerformanceCounter(&a);
        Nothing();
        QueryPerformanceCounter(&b);
        baseline += ThreadCpuUs() - base0;
    }
    const long allocs = AllocationCount() - allocs0;
    std::sort(us.begin(), us.end());
    std::printf(
        "{\"name\": \"%s\", \"group\": \"%s\", \"calls\": %d, \"result\": %d, "
        "\"min_us\": %.1f, \"median_us\": %.1f, \"max_us\": %.1f, "
        "\"bytes_in\": %lld, \"bytes_out\": %lld, \"frames_in\": %lld, "
        "\"line_us\": %lld, \"processing_us\": %lld, \"pause_us\": 0, \"pauses\": \"%s\", "
        "\"cpu_us\": %.1f, \"allocs_per_call\": %.2f, \"windows\": %ld, \"pin_dialogs\": %ld}\n",
        name, group, calls, result, us.front(), us[us.size() / 2], us.back(),
        CountOf(c1, "bytes-in") - CountOf(c0, "bytes-in"),
        CountOf(c1, "bytes-out") - CountOf(c0, "bytes-out"),
        CountOf(c1, "frames-in") - CountOf(c0, "frames-in"),
        CountOf(c1, "line-us") - CountOf(c0, "line-us"),
        CountOf(c1, "processing-us") - CountOf(c0, "processing-us"), pauses,
        (cpu - baseline) / calls, static_cast<double>(allocs) / calls, windows, pins);
    std::fflush(stdout);
}

// The platform's floor: the same operations without the library (its DLL serves only as the
// source of the window templates).  Measured before and after the library's calls, so that a
// change in the machine's load during the run shows in both.
void FloorRows(int calls) {
    const char *none = "none";
    Row("a bare reader frame exchange", "floor", {OpenFloorPort, BareExchange, CloseFloorPort},
        calls, none);
    char name[64];
    std::snprintf(name, sizeof name, "bare port calls besides frames (%d)", kBarePortCalls);
    Row(name, "floor", {Nothing, BarePortOpenClose, Nothing}, calls, none);
    Row("a bare card access window", "floor", {Nothing, BareAccessWindow, Nothing}, calls, none);
    Row("a bare PIN dialog, answered", "floor", {Nothing, BarePinDialog, Nothing}, calls, none);
}

// ---- How long ZUKCancel takes to end a waiting call ----
// The waiting call runs on a thread of its own; `blocker`, when set, runs on another first and
// keeps the library busy (so the measured call waits for it).  The time is from the cancel to the
// end of the measured thread; the row's bound is the target, 100 ms.
DWORD WINAPI RunOnThread(LPVOID call) {
    return static_cast<DWORD>(reinterpret_cast<int (*)()>(call)());
}

HANDLE StartThread(int (*call)()) {
    return CreateThread(nullptr, 0, RunOnThread, reinterpret_cast<LPVOID>(call), 0, nullptr);
}

void CancelRow(const char *name, int (*before)(), int (*blocker)(), int (*waiting)(),
               int (*after)(), int calls) {
    std::vector<double> us;
    int result = ZUK_CANCELLED;
    for (int i = 0; i < calls; ++i) {
        before();
        HANDLE block = blocker != nullptr ? StartThread(blocker) : nullptr;
        if (block != nullptr) Sleep(50);
        HANDLE thread = StartThread(waiting);
        Sleep(100);  // the call reaches its wait
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        g_lib.cancel();
        WaitForSingleObject(thread, INFINITE);
        QueryPerformanceCounter(&b);
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        if (static_cast<int>(code) != ZUK_CANCELLED) result = static_cast<int>(code);
        CloseHandle(thread);
        if (block != nullptr) {
            WaitForSingleObject(block, INFINITE);
            CloseHandle(block);
        }
        us.push_back(Seconds(a, b) * 1e6);
        after();
    }
    std::sort(us.begin(), us.end());
    std::printf("{\"name\": \"%s\", \"group\": \"cancel\", \"calls\": %d, \"result\": %d, "
                "\"min_us\": %.1f, \"median_us\": %.1f, \"max_us\": %.1f, "
                "\"bytes_in\": 0, \"bytes_out\": 0, \"frames_in\": 0, \"line_us\": 0, "
                "\"processing_us\": 0, \"pause_us\": 100000, \"pauses\": \"cancel target\", "
                "\"cpu_us\": 0, \"allocs_per_call\": 0}\n",
                name, calls, result, us.front(), us[us.size() / 2], us.back());
    std::fflush(stdout);
}

int WaitForCardCall() {
    int present = 0;
    return g_lib.waitForCard(g_handle, 1, -1, &present);
}
int PinTriesCall() {
    int left = 0, limit = 0;
    return g_lib.pinTries(g_handle, &left, &limit);
}
int CardPromptCall() { return AccountCall(); }
HANDLE g_readerMutex = nullptr;
int HoldReader() {
    g_readerMutex = CreateMutexA(nullptr, FALSE, "ZUK_PORT_MUTEX");
    WaitForSingleObject(g_readerMutex, INFINITE);
    return 0;
}
int FreeReader() {
    ReleaseMutex(g_readerMutex);
    CloseHandle(g_readerMutex);
    return 0;
}
int OpenWaitCall() {
    int handle = 0;
    return g_lib.open(&handle);
}

void CancelRows(int calls) {
    OpenCall();
    RemoveCard();
    CancelRow("ZUKCancel ends ZUKWaitForCard", Nothing, nullptr, WaitForCardCall, Nothing, calls);
    CancelRow("ZUKCancel ends the wait for another call", Nothing, WaitForCardCall, PinTriesCall,
              Nothing, calls);
    CancelRow("ZUKCancel ends ZUKGetUserAccount's card prompt", Nothing, nullptr, CardPromptCall,
              Nothing, calls);
    PlaceCard();
    CloseCall();
    CancelRow("ZUKCancel ends ZUKOpen's wait for the reader", HoldReader, nullptr, OpenWaitCall,
              FreeReader, calls);
}

bool LoadCard(const std::string &file) { return Control("card " + g_cards + "/" + file) == "OK"; }

}  // namespace

int main(int argc, char **argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 30;
    const char *cards = std::getenv("ZUKBENCH_CARDS");
    const char *ini = std::getenv("ZUKBENCH_INI");
    if (calls < 1 || cards == nullptr || ini == nullptr) {
        std::fprintf(stderr, "usage: zukbench CALLS (with ZUKBENCH_CARDS, ZUKBENCH_INI, "
                             "ZUK_SIM_CONTROL_PORT, ZUKBENCH_DLL)\n");
        return 2;
    }
    g_cards = cards;
    if (!ConnectControl()) {
        std::fprintf(stderr, "no simulator control port\n");
        return 1;
    }
    if (!LoadZuk()) {
        std::fprintf(stderr, "cannot load the library\n");
        return 1;
    }
    if (!LoadCard("pin.card")) {
        std::fprintf(stderr, "the simulator refused the card\n");
        return 1;
    }

    const char *none = "none";
    g_windowHook = SetWindowsHookExA(WH_CBT, WatchWindows, nullptr, GetCurrentThreadId());
    if (g_windowHook == nullptr) {
        std::fprintf(stderr, "cannot hook the windows\n");
        return 1;
    }
    FloorRows(calls);
    Row("ZUKOpen (provisioning)", "open", {Unprovision, OpenCall, CloseCall}, calls, none);
    Row("ZUKOpen", "export", {Nothing, OpenCall, CloseCall}, calls, none);
    Row("ZUKClose", "export", {OpenCall, CloseCall, Nothing}, calls, none);
    OpenCall();
    Row("ZUKSenseCard (present)", "export", {Nothing, SenseCall, Nothing}, calls, none);
    Row("ZUKSenseCard (absent)", "export", {RemoveCard, SenseAbsentCall, PlaceCard}, calls, none);
    SenseCall();  // a host senses the card before it reads from it
    Row("ZUKGetUserName", "export", {Nothing, NameCall, Nothing}, calls, none);
    Row("ZUKGetUserOption", "export", {Nothing, UserOptionCall, Nothing}, calls, none);
    Row("ZUKGetAdminOption", "export", {Nothing, AdminOptionCall, Nothing}, calls, none);
    Row("ZUKVerifyPIN", "export", {Nothing, VerifyCall, Nothing}, calls, none);
    Row("ZUKGetUserAccount (PIN answered)", "export", {Nothing, AccountCall, Nothing}, calls,
        "none (a right PIN: no pause after a wrong one)");
    Row("host-driven identification (card laid: ZUKWaitForCard, ZUKGetUserAccountWithPin)",
        "export", {Nothing, HostDrivenCall, Nothing}, calls, "none (a right PIN)");
    LoadCard("nopin.card");
    Row("ZUKGetUserAccount (no PIN)", "export", {Nothing, AccountCall, Nothing}, calls, none);

    // How the account read grows with the password: one read piece up to 192 bytes, two above.
    const int growthCalls = calls < 10 ? calls : 10;
    static const int kLengths[] = {8, 64, 192, 193, 256};
    for (int length : kLengths) {
        char file[32], name[64];
        std::snprintf(file, sizeof file, "pw%d.card", length);
        std::snprintf(name, sizeof name, "account, password of %d bytes", length);
        if (!LoadCard(file)) continue;
        Row(name, "password", {Nothing, AccountCall, Nothing}, growthCalls, none);
    }
    LoadCard("pin.card");
    CloseCall();

    // How sensing grows with the system codes polled for: the card's code comes last.  The
    // library reads its settings when it is loaded, so it is loaded afresh for each list.
    static const char *kCodes[] = {"88B4", "1111,88B4", "1111,2222,88B4", "1111,2222,3333,88B4",
                                   "1111,2222,3333,4444,88B4"};
    for (int k = 0; k < 5; ++k) {
        FreeLibrary(g_lib.dll);
        WritePrivateProfileStringA("FeliCa", "SystemCode", kCodes[k], ini);
        if (!LoadZuk()) return 1;
        char name[64];
        std::snprintf(name, sizeof name, "ZUKSenseCard, %d system code%s", k + 1, k ? "s" : "");
        OpenCall();
        Row(name, "codes", {Nothing, SenseCall, Nothing}, growthCalls, none);
        CloseCall();
    }
    WritePrivateProfileStringA("FeliCa", "SystemCode", kCodes[0], ini);

    FloorRows(calls);
    LoadCard("pin.card");
    CancelRows(calls < 10 ? calls : 10);
    UnhookWindowsHookEx(g_windowHook);
    return 0;
}
