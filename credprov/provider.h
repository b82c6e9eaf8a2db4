// ZUKCredProv's COM objects: the provider the sign-in screen creates, its one tile (credential),
// and the class factory.  The DLL's exports and a test host both reach them through
// CredProvGetClassObject.
#ifndef ZUK_CREDPROV_PROVIDER_H
#define ZUK_CREDPROV_PROVIDER_H

#include <windows.h>

// The module whose folder holds ZUKcntrl.dll and the catalogue (the DLL sets it at attach; a
// test host linking the code sets its own program's).
void CredProvSetModule(HMODULE module);

HRESULT CredProvGetClassObject(REFCLSID clsid, REFIID iid, void **out);
// S_OK when no object or lock of the provider lives.
HRESULT CredProvCanUnloadNow();

// The policy value that switches the provider off is the settings row CredentialProvider
// (settings/setting_table.h): HKLM\SOFTWARE\Policies\KORVA\ZUKLib, CredentialProvider (DWORD) 0.

#endif
