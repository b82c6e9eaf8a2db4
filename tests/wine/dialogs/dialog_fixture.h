// Setup shared by the dialog tests.  This program carries the dialog templates itself and plays
// the library's module, so the dialogs can be shown without the DLL; the reader poll they make
// is answered here (SenseCardWorker) and recorded.
#ifndef ZUK_TESTS_WINE_DIALOGS_DIALOG_FIXTURE_H
#define ZUK_TESTS_WINE_DIALOGS_DIALOG_FIXTURE_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/wine/support/dialog_driver.h"
#include "tests/wine/support/ui_watcher.h"

// Writes the machine settings, loads them and the catalogue with this program as the library's
// module, then sets Config and PollingInterval as given.
void AttachWithTemplates(std::uint32_t config, std::int32_t pollingInterval = 1000);

// The text of a message id in the language file of the system locale, as the file has it.
std::string CatalogueText(std::uint32_t id);
// "ja" under a Japanese system locale, "en" otherwise (the screenshots' folder).
std::string LocaleFolder();

// The reader as the dialogs' polls see it: no card until poll number presentFrom (0: never);
// each poll takes workMs.
void ScriptPolls(int presentFrom, DWORD workMs = 0);
struct PollRecord {
    int handle;
    DWORD start;
    DWORD end;
};
std::vector<PollRecord> Polls();

// A modal dialog shown on a thread of its own, and the window it opened.
struct ShownDialog {
    CallThread call;
    DialogSnapshot window;
};
// Starts show() and waits for its window of `kind`; false (with the reason) when it did not come.
bool Show(ShownDialog *shown, std::function<int()> show, UiKind kind, std::string *why);
// Waits for the dialog's thread to end: true when it ended within timeoutMs.
bool Ended(ShownDialog *shown, DWORD timeoutMs = 5000);

#endif
