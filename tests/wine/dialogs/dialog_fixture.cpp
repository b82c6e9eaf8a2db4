// Setup shared by the dialog tests.
#include "tests/wine/dialogs/dialog_fixture.h"

#include <algorithm>
#include <cstdio>

#include "api/frame.h"
#include "api/workers.h"
#include "settings/config.h"
#include "tests/wine/support/wine_support.h"

namespace {

CRITICAL_SECTION *PollLock() {
    static CRITICAL_SECTION lock;
    static bool ready = false;
    if (!ready) {
        InitializeCriticalSection(&lock);
        ready = true;
    }
    return &lock;
}

int g_presentFrom = 0;
DWORD g_workMs = 0;
std::vector<PollRecord> g_polls;

}  // namespace

// The dialogs' reader poll.
int SenseCardWorker(int handle, int *present) {
    const DWORD start = GetTickCount();
    if (g_workMs != 0) Sleep(g_workMs);
    EnterCriticalSection(PollLock());
    g_polls.push_back({handle, start, GetTickCount()});
    const int count = static_cast<int>(g_polls.size());
    LeaveCriticalSection(PollLock());
    if (present != nullptr) *present = (g_presentFrom != 0 && count >= g_presentFrom) ? 1 : 0;
    return 0;
}

void ScriptPolls(int presentFrom, DWORD workMs) {
    EnterCriticalSection(PollLock());
    g_presentFrom = presentFrom;
    g_workMs = workMs;
    g_polls.clear();
    LeaveCriticalSection(PollLock());
}

std::vector<PollRecord> Polls() {
    EnterCriticalSection(PollLock());
    std::vector<PollRecord> copy = g_polls;
    LeaveCriticalSection(PollLock());
    return copy;
}

void AttachWithTemplates(std::uint32_t config, std::int32_t pollingInterval) {
    WriteMachineConfig(kLibraryModeCard, kDeviceReader, config);
    LibraryAttach(GetModuleHandleA(nullptr));
    MutableSettings()->Config = config;
    MutableSettings()->PollingInterval = pollingInterval;
    ScriptPolls(0);
}

std::string LocaleFolder() { return GetSystemDefaultLCID() == 0x0411 ? "ja" : "en"; }

std::string CatalogueText(std::uint32_t id) {
    const std::string file = LocaleFolder() == "ja" ? "ZukLang_0411.txt" : "ZukLang_0409.txt";
    const std::string all = ReadWholeFile(InstallDir() + file);
    char key[16];
    std::snprintf(key, sizeof key, "%08X,", static_cast<unsigned>(id));
    for (size_t line = 0; line < all.size();) {
        size_t end = all.find_first_of("\r\n", line);
        if (end == std::string::npos) end = all.size();
        if (all.compare(line, 9, key) == 0) {
            // The text ends at the comma that follows it (or, without one, at the line end).
            const size_t textEnd = std::min(all.find_first_of(",\r\n", line + 9), end);
            return all.substr(line + 9, textEnd - line - 9);
        }
        line = all.find_first_not_of("\r\n", end);
        if (line == std::string::npos) break;
    }
    return "";
}

bool Show(ShownDialog *shown, std::function<int()> show, UiKind kind, std::string *why) {
    StartCall(&shown->call, std::move(show));
    return WaitForKind(kind, shown->call.id, 10000, &shown->window, why);
}

bool Ended(ShownDialog *shown, DWORD timeoutMs) { return FinishCall(&shown->call, timeoutMs); }
