// Load and unload of the library.
#include "api/frame.h"

#include "api/api_state.h"
#include "card/session.h"
#include "settings/config.h"
#include "settings/messages.h"

void *GetModuleHandleOfLibrary() { return g_frame.moduleHandle; }

bool LibraryAttach(void *moduleHandle) {
    g_frame.moduleHandle = moduleHandle;
    if (LoadRegistryConfig() != kRegistryConfigOk) return false;
    LoadIniSettings(GetInstallPath());
    CardSetStrictLink(GetStrictLink() == 1);
    char path[kMessageTextSize] = {0};
    SelectLanguageFile(path);
    LoadMessageCatalogue(path);
    return true;
}

void LibraryDetach() {
    // A card session left open by the host is closed on unload; the outcome cannot be reported.
    (void)CardCloseSession();
    LibraryStateReset();
}
