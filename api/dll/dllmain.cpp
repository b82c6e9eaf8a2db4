// The DLL's entry point: attach loads the settings and the message catalogue (refusing the load
// when the registry settings are missing or invalid); detach closes the card session.
#include <windows.h>

#include "api/frame.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        return LibraryAttach(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: LibraryDetach(); return TRUE;
    default: return TRUE;
    }
}
