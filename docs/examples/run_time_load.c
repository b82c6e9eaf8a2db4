/*
 * run_time_load.c - a host that loads ZUKcntrl.dll at run time (LoadLibrary and GetProcAddress),
 * so that it starts when the library is absent and reports a failed load itself.
 *
 * Build (no import library needed; 64-bit shown, i686-w64-mingw32-gcc for 32-bit):
 *   x86_64-w64-mingw32-gcc -I<ZUKcntrl>\include run_time_load.c -o run_time_load.exe
 */
#include <stdio.h>
#include <windows.h>
#include "ZUKcntrl.h"

typedef int (ZUKAPI *ZUKGetLibModeFn)(int *mode, int reserved);
typedef int (ZUKAPI *ZUKGetLibVersionFn)(int *version);

int print_version(void)
{
    HMODULE dll = LoadLibraryA("ZUKcntrl.dll");
    if (dll == NULL) {
        /* 1114 (ERROR_DLL_INIT_FAILED): the library refused its settings; see zukcli status. */
        printf("cannot load ZUKcntrl.dll: error %lu\n", GetLastError());
        return 1;
    }
    /* GetProcAddress returns a generic function pointer: cast through void (*)(void). */
    ZUKGetLibModeFn get_mode = (ZUKGetLibModeFn)(void (*)(void))GetProcAddress(dll, "ZUKGetLibMode");
    ZUKGetLibVersionFn get_version =
        (ZUKGetLibVersionFn)(void (*)(void))GetProcAddress(dll, "ZUKGetLibVersion");
    int mode = 0, version = 0;
    int result = get_mode && get_version ? get_mode(&mode, 0) : -2;
    if (result == ZUK_OK && mode == 0) {
        printf("ZUKcntrl is switched off on this machine\n");  /* no other call: it would prompt */
    } else if (result == ZUK_OK) {
        result = get_version(&version);
        if (result == ZUK_OK) printf("ZUKcntrl %x\n", version);
    }
    FreeLibrary(dll);  /* unloading closes a reader left open */
    return result == ZUK_OK ? 0 : 1;
}

int main(void)
{
    return print_version();
}
