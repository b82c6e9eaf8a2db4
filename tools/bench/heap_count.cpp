// Import-table hooks on malloc, calloc, realloc, HeapAlloc, HeapReAlloc, LocalAlloc and
// GlobalAlloc: each wrapper counts one allocation and calls the function the table held.
#include "tools/bench/heap_count.h"

#include <cstddef>
#include <cstring>

namespace {

volatile LONG g_count = 0;

typedef void *(__cdecl *MallocFn)(std::size_t);
typedef void *(__cdecl *CallocFn)(std::size_t, std::size_t);
typedef void *(__cdecl *ReallocFn)(void *, std::size_t);
typedef LPVOID(WINAPI *HeapAllocFn)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI *HeapReAllocFn)(HANDLE, DWORD, LPVOID, SIZE_T);
typedef HLOCAL(WINAPI *LocalAllocFn)(UINT, SIZE_T);
typedef HGLOBAL(WINAPI *GlobalAllocFn)(UINT, SIZE_T);

MallocFn g_malloc;
CallocFn g_calloc;
ReallocFn g_realloc;
HeapAllocFn g_heapAlloc;
HeapReAllocFn g_heapReAlloc;
LocalAllocFn g_localAlloc;
GlobalAllocFn g_globalAlloc;

void *__cdecl CountMalloc(std::size_t n) {
    InterlockedIncrement(&g_count);
    return g_malloc(n);
}
void *__cdecl CountCalloc(std::size_t n, std::size_t s) {
    InterlockedIncrement(&g_count);
    return g_calloc(n, s);
}
void *__cdecl CountRealloc(void *p, std::size_t n) {
    InterlockedIncrement(&g_count);
    return g_realloc(p, n);
}
LPVOID WINAPI CountHeapAlloc(HANDLE h, DWORD f, SIZE_T n) {
    InterlockedIncrement(&g_count);
    return g_heapAlloc(h, f, n);
}
LPVOID WINAPI CountHeapReAlloc(HANDLE h, DWORD f, LPVOID p, SIZE_T n) {
    InterlockedIncrement(&g_count);
    return g_heapReAlloc(h, f, p, n);
}
HLOCAL WINAPI CountLocalAlloc(UINT f, SIZE_T n) {
    InterlockedIncrement(&g_count);
    return g_localAlloc(f, n);
}
HGLOBAL WINAPI CountGlobalAlloc(UINT f, SIZE_T n) {
    InterlockedIncrement(&g_count);
    return g_globalAlloc(f, n);
}

struct Hook {
    const char *name;
    void *wrapper;
    void **original;
};

const Hook kHooks[] = {
    {"malloc", reinterpret_cast<void *>(CountMalloc), reinterpret_cast<void **>(&g_malloc)},
    {"calloc", reinterpret_cast<void *>(CountCalloc), reinterpret_cast<void **>(&g_calloc)},
    {"realloc", reinterpret_cast<void *>(CountRealloc), reinterpret_cast<void **>(&g_realloc)},
    {"HeapAlloc", reinterpret_cast<void *>(CountHeapAlloc),
     reinterpret_cast<void **>(&g_heapAlloc)},
    {"HeapReAlloc", reinterpret_cast<void *>(CountHeapReAlloc),
     reinterpret_cast<void **>(&g_heapReAlloc)},
    {"LocalAlloc", reinterpret_cast<void *>(CountLocalAlloc),
     reinterpret_cast<void **>(&g_localAlloc)},
    {"GlobalAlloc", reinterpret_cast<void *>(CountGlobalAlloc),
     reinterpret_cast<void **>(&g_globalAlloc)},
};

}  // namespace

bool HookAllocations(HMODULE module) {
    BYTE *base = reinterpret_cast<BYTE *>(module);
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return false;
    bool hooked = false;
    for (const IMAGE_IMPORT_DESCRIPTOR *imp =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (imp->OriginalFirstThunk == 0) continue;
        const IMAGE_THUNK_DATA *names =
            reinterpret_cast<const IMAGE_THUNK_DATA *>(base + imp->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const IMAGE_IMPORT_BY_NAME *byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            const char *name = reinterpret_cast<const char *>(byName->Name);
            for (const Hook &h : kHooks) {
                if (std::strcmp(name, h.name) != 0) continue;
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                               &old);
                *h.original = reinterpret_cast<void *>(slots->u1.Function);
                slots->u1.Function = reinterpret_cast<DWORD_PTR>(h.wrapper);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                hooked = true;
            }
        }
    }
    return hooked;
}

long AllocationCount() { return g_count; }
