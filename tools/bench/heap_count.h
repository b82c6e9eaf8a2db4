// Counting the heap allocations a loaded DLL makes: its import table entries for the C runtime's
// and the system's allocators are pointed at counting wrappers that call the originals.
#ifndef ZUKBENCH_HEAP_COUNT_H
#define ZUKBENCH_HEAP_COUNT_H

#include <windows.h>

// Hooks the allocators `module` imports; false when it imports none of them.
bool HookAllocations(HMODULE module);
// Allocations made through the hooked entries since the module was hooked.
long AllocationCount();

#endif
