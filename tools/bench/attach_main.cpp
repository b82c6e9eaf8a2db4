// zukattach: the time LoadLibrary takes for one DLL in a fresh process, printed in microseconds.
//   zukattach gui|bare DLL
// "gui" loads user32, gdi32 and advapi32 first, as every window host has them; "bare" loads
// nothing beforehand (a console host).  The program itself imports only the system's kernel and
// C runtime, so "bare" sees the DLL's whole start-up.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3 || (std::strcmp(argv[1], "gui") != 0 && std::strcmp(argv[1], "bare") != 0)) {
        std::fprintf(stderr, "usage: zukattach gui|bare DLL\n");
        return 2;
    }
    if (std::strcmp(argv[1], "gui") == 0) {
        if (!LoadLibraryA("user32.dll") || !LoadLibraryA("gdi32.dll") ||
            !LoadLibraryA("advapi32.dll"))
            return 1;
    }
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    HMODULE dll = LoadLibraryA(argv[2]);
    QueryPerformanceCounter(&b);
    if (dll == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    std::printf("%.1f\n", static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / f.QuadPart);
    return 0;
}
