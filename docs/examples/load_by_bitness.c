/*
 * load_by_bitness.c - loads the ZUKcntrl.dll of the host's own bitness from where it is installed,
 * without an import library and without copying the DLL next to the host.
 *
 * The installer writes InstallPath into the registry view of each library: the 32-bit view
 * (WOW6432Node on 64-bit Windows) names the 32-bit library's folder, the 64-bit view the 64-bit
 * one's.  A process reads its own view, so the same source built as 32 or 64 bits finds the
 * library it can load.  The view is named explicitly here (KEY_WOW64_32KEY / KEY_WOW64_64KEY) so
 * that the code says what it relies on.
 *
 * Build (no import library needed):
 *   x86_64-w64-mingw32-gcc load_by_bitness.c -I<ZUKcntrl>\include -o load64.exe     (64-bit)
 *   i686-w64-mingw32-gcc load_by_bitness.c -I<ZUKcntrl>\include -o load32.exe       (32-bit)
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "ZUKcntrl.h"

typedef int (ZUKAPI *ZUKGetLibVersionFn)(int *version);

/* The installation folder of this process's bitness, with its trailing backslash; 0 when the
 * library is not installed for this bitness. */
static int installed_folder(char *folder, DWORD size)
{
    HKEY key;
    DWORD type = 0, length = size;
    REGSAM view = sizeof(void *) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KORVA\\ZUKLib", 0, KEY_QUERY_VALUE | view,
                               &key);
    if (error != ERROR_SUCCESS) return 0;
    error = RegQueryValueExA(key, "InstallPath", NULL, &type, (BYTE *)folder, &length);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_SZ || length == 0 || length >= size) return 0;
    folder[length] = '\0';
    return folder[0] != '\0';
}

int main(void)
{
    char folder[MAX_PATH], path[MAX_PATH];
    HMODULE dll;
    ZUKGetLibVersionFn get_version;
    int version = 0, result;

    if (!installed_folder(folder, sizeof folder - 16)) {
        printf("ZUKcntrl is not installed for %d-bit programs on this machine\n", (int)sizeof(void *) * 8);
        return 1;
    }
    snprintf(path, sizeof path, "%sZUKcntrl.dll", folder);
    /* A full path, and the DLL's own folder searched for what it loads in turn. */
    SetDllDirectoryA(folder);
    dll = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (dll == NULL) {
        /* 193: a library of the other bitness; 1114: it refused its settings (zukcli status). */
        printf("cannot load %s: error %lu\n", path, GetLastError());
        return 1;
    }
    get_version = (ZUKGetLibVersionFn)(void (*)(void))GetProcAddress(dll, "ZUKGetLibVersion");
    result = get_version ? get_version(&version) : -2;
    if (result == ZUK_OK) {
        printf("loaded %s (%d-bit): ZUKcntrl %d.%d.%d\n", path, (int)sizeof(void *) * 8,
               (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
    } else {
        printf("ZUKGetLibVersion failed: %d\n", result);
    }
    FreeLibrary(dll);
    return result == ZUK_OK ? 0 : 1;
}
