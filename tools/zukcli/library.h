// Loading ZUKcntrl.dll the way a host does, and finding each export by name with GetProcAddress,
// so that a DLL without an export is reported by name instead of stopping zukcli from starting.
#ifndef ZUKCLI_LIBRARY_H
#define ZUKCLI_LIBRARY_H

#include <string>

#include "ZUKcntrl.h"
#include "tools/zuk_exports.h"

// The DLL zukcli loads: --dll, else the ZUKCNTRL_DLL environment variable, else ZUKcntrl.dll next
// to zukcli.exe.
void SetDllPath(const std::string &path);
std::string DllPath();

// Loads the DLL on first use.  False when it cannot be loaded; *why then says why.
bool LoadZukLibrary(std::string *why);

// The export's address, or null with *why saying what is missing.
void *FindExport(const char *name, std::string *why);

template <typename Fn>
Fn Export(const char *name, std::string *why) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(FindExport(name, why)));
}

void UnloadZukLibrary();

// The system's text for a Win32 error code, with the code.
std::string SystemErrorText(unsigned long error);

#endif
