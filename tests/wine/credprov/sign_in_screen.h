// A stand-in for the Windows sign-in screen: it makes a credential provider's calls in the order
// LogonUI makes them, and keeps what the provider reports back through its events.
#ifndef ZUK_TESTS_WINE_CREDPROV_SIGN_IN_SCREEN_H
#define ZUK_TESTS_WINE_CREDPROV_SIGN_IN_SCREEN_H

#include <windows.h>

#include <atomic>
#include <string>

#include "credprov/credential_provider_abi.h"

// The provider's events: counts CredentialsChanged.
class ProviderEvents final : public ICredentialProviderEvents {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE CredentialsChanged(UINT_PTR context) override;

    std::atomic<int> refs{1};
    std::atomic<int> changed{0};
    std::atomic<UINT_PTR> lastContext{0};
};

// The tile's events: keeps the last text given to each field.
class TileEvents final : public ICredentialProviderCredentialEvents {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE SetFieldState(ICredentialProviderCredential *, DWORD,
                                            CREDENTIAL_PROVIDER_FIELD_STATE) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    SetFieldInteractiveState(ICredentialProviderCredential *, DWORD,
                             CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFieldString(ICredentialProviderCredential *, DWORD id,
                                             LPCWSTR text) override;
    HRESULT STDMETHODCALLTYPE SetFieldCheckbox(ICredentialProviderCredential *, DWORD, BOOL,
                                               LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFieldBitmap(ICredentialProviderCredential *, DWORD,
                                             HBITMAP) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFieldComboBoxSelectedItem(ICredentialProviderCredential *, DWORD,
                                                           DWORD) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteFieldComboBoxItem(ICredentialProviderCredential *, DWORD,
                                                      DWORD) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AppendFieldComboBoxItem(ICredentialProviderCredential *, DWORD,
                                                      LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFieldSubmitButton(ICredentialProviderCredential *, DWORD,
                                                   DWORD) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCreatingWindow(HWND *owner) override {
        if (owner) *owner = nullptr;
        return S_OK;
    }

    std::atomic<int> refs{1};
    std::wstring status;  // the last text of the status field
    int pinCleared = 0;   // empty texts given to the PIN field
};

typedef HRESULT(STDAPICALLTYPE *GetClassObjectFn)(REFCLSID, REFIID, void **);

// What a submit gave back.
struct Submitted {
    HRESULT hr = E_FAIL;
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    std::wstring statusText;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
};

class SignInScreen {
public:
    ~SignInScreen() { End(); }
    // Creation (the class object's CreateInstance, or a ready provider), SetUsageScenario, Advise,
    // the field descriptors, the tiles, the tile's Advise and SetSelected.  The result of
    // SetUsageScenario (E_NOTIMPL: the provider stays out of this scenario).
    HRESULT Begin(GetClassObjectFn getClassObject, CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario);
    HRESULT Begin(ICredentialProvider *created, CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario);
    // The PIN typed (SetStringValue), then the submit (GetSerialization).
    Submitted Submit(const wchar_t *pin);
    // ReportResult with status, the tile's UnAdvise, the provider's UnAdvise, the releases.
    void End(LONG status = 0);

    std::wstring FieldText(DWORD id);  // GetStringValue
    DWORD Tiles(DWORD *defaultTile);   // GetCredentialCount

    ICredentialProvider *provider = nullptr;
    ICredentialProviderCredential *tile = nullptr;
    ProviderEvents events;
    TileEvents tileEvents;
    DWORD fieldCount = 0;
    CREDENTIAL_PROVIDER_FIELD_TYPE fieldTypes[8] = {};
    std::wstring fieldLabels[8];
    std::wstring title;    // the tile's large text after Begin
    DWORD unAdviseMs = 0;  // how long the provider's UnAdvise took
};

// Frees a serialization as the sign-in screen does after LSA took it: wiped first.
void FreeSerialization(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *serialization);

#endif
