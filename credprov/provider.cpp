// The provider, its tile and the class factory.  One tile: the reader holds one card at a time.
// The tile shows the card's user name (the catalogue's title while no card is laid), a status
// line and the PIN field that the sign-in screen draws, and submits with the account flow of the
// host-driven exports.
#include "credprov/provider.h"

#include <new>
#include <cstring>

#include "credprov/logon_pack.h"
#include "credprov/session.h"
#include "settings/policy.h"

namespace {

// The tile's fields, by id.
enum FieldId : DWORD { kFieldTitle = 0, kFieldStatus, kFieldPin, kFieldSubmit, kFieldCount };

const CREDENTIAL_PROVIDER_FIELD_TYPE kFieldTypes[kFieldCount] = {
    CPFT_LARGE_TEXT, CPFT_SMALL_TEXT, CPFT_PASSWORD_TEXT, CPFT_SUBMIT_BUTTON};

HRESULT CopyToCoTask(const wchar_t *text, LPWSTR *out) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text, bytes);
    return S_OK;
}

// The CredentialProvider policy, read by the library's own policy reader for its settings row:
// 0 switches the provider off, and so does a value the row does not accept (another type, or
// neither 0 nor 1), over which the library would refuse to load anyway.  Absent: on.
bool ProviderSwitchedOff() {
    PlatKey key = 0;
    if (!OpenPolicyKey(&key)) return false;
    PolicyRead read{};
    ReadPolicy(key, kSettingCredentialProvider, &read);
    PlatRegCloseKey(key);
    return read.present && (read.problem != kProblemNone || read.number == 0);
}

class Credential final : public ICredentialProviderCredential {
public:
    explicit Credential(Session *session) : refs_(1), session_(session) {
        SessionAddRef(session_);
        InterlockedIncrement(&g_credProvObjects);
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidCredentialProviderCredential)) {
            *out = static_cast<ICredentialProviderCredential *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // ICredentialProviderCredential
    HRESULT STDMETHODCALLTYPE Advise(ICredentialProviderCredentialEvents *events) override {
        if (events_) events_->Release();
        events_ = events;
        if (events_) events_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnAdvise() override {
        if (events_) events_->Release();
        events_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSelected(BOOL *autoLogon) override {
        if (autoLogon) *autoLogon = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDeselected() override {
        ClearPin();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetFieldState(DWORD id, CREDENTIAL_PROVIDER_FIELD_STATE *state,
                  CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE *interactive) override {
        if (id >= kFieldCount || state == nullptr || interactive == nullptr) return E_INVALIDARG;
        *state = id == kFieldTitle ? CPFS_DISPLAY_IN_BOTH : CPFS_DISPLAY_IN_SELECTED_TILE;
        *interactive = id == kFieldPin ? CPFIS_FOCUSED : CPFIS_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStringValue(DWORD id, LPWSTR *out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = nullptr;
        wchar_t text[kTileTextMax] = L"";
        if (id == kFieldTitle) {
            {
                std::lock_guard<std::mutex> hold(session_->lock);
                std::memcpy(text, session_->userName, sizeof text);
            }
            if (text[0] == L'\0') CatalogueText(kMsgTileTitle, text, kTileTextMax);
        } else if (id == kFieldStatus) {
            TileStatus status;
            {
                std::lock_guard<std::mutex> hold(session_->lock);
                status = session_->status;
            }
            StatusText(status, text, kTileTextMax);
        } else if (id == kFieldPin) {
            // The sign-in screen never gets the PIN back: the field reads empty.
        } else {
            return E_INVALIDARG;
        }
        return CopyToCoTask(text, out);
    }
    HRESULT STDMETHODCALLTYPE GetBitmapValue(DWORD, HBITMAP *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCheckboxValue(DWORD, BOOL *, LPWSTR *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSubmitButtonValue(DWORD id, DWORD *adjacentTo) override {
        if (id != kFieldSubmit || adjacentTo == nullptr) return E_INVALIDARG;
        *adjacentTo = kFieldPin;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetComboBoxValueCount(DWORD, DWORD *, DWORD *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetComboBoxValueAt(DWORD, DWORD, LPWSTR *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetStringValue(DWORD id, LPCWSTR text) override {
        if (id != kFieldPin) return E_INVALIDARG;
        SecureZeroMemory(pin_, sizeof pin_);
        size_t n = 0;
        for (; text != nullptr && text[n] != L'\0' && n < kPinMax; ++n) pin_[n] = text[n];
        pin_[n] = L'\0';
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCheckboxValue(DWORD, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetComboBoxSelectedValue(DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommandLinkClicked(DWORD) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE
    GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE *response,
                     CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *serialization,
                     LPWSTR *statusText, CREDENTIAL_PROVIDER_STATUS_ICON *statusIcon) override {
        if (response == nullptr || serialization == nullptr) return E_INVALIDARG;
        *response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
        std::memset(serialization, 0, sizeof *serialization);
        if (statusText) *statusText = nullptr;
        if (statusIcon) *statusIcon = CPSI_NONE;

        // The PIN in the code page the card's texts use; the wide copy goes at once.
        char pin[4 * kPinMax + 1];
        const int pinLength =
            WideCharToMultiByte(CP_ACP, 0, pin_, -1, pin, sizeof pin, nullptr, nullptr);
        ClearPin();
        char account[128];
        char password[256];
        AccountRequest request = {
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        int triesLeft = -1;
        TilePhase phase = kPhaseCard;
        const int result = SessionIdentify(session_, pin, pinLength > 0 ? pinLength - 1 : 0,
                                           &request, &triesLeft, &phase);
        SecureZeroMemory(pin, sizeof pin);
        HRESULT hr = S_OK;
        TileStatus status = StatusForResult(result, triesLeft, phase);
        if (result == ZUK_OK) {
            hr = Serialize(account, request.AccountLength, password, request.PasswordLength,
                           serialization);
            if (SUCCEEDED(hr)) {
                *response = CPGSR_RETURN_CREDENTIAL_FINISHED;
            } else {
                status = TileStatus{kMsgSignInFailed, -1, true};
                hr = S_OK;  // said on the tile
            }
        }
        SecureZeroMemory(account, sizeof account);
        SecureZeroMemory(password, sizeof password);
        SecureZeroMemory(&request, sizeof request);
        {
            std::lock_guard<std::mutex> hold(session_->lock);
            if (status.messageId != 0 || result == ZUK_OK) session_->status = status;
        }
        if (status.messageId != 0) {
            wchar_t text[kTileTextMax];
            StatusText(status, text, kTileTextMax);
            if (events_) events_->SetFieldString(this, kFieldStatus, text);
            if (statusText) CopyToCoTask(text, statusText);
            if (statusIcon) *statusIcon = status.error ? CPSI_ERROR : CPSI_WARNING;
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE ReportResult(LONG ntsStatus, LONG, LPWSTR *statusText,
                                           CREDENTIAL_PROVIDER_STATUS_ICON *statusIcon) override {
        // Windows says itself why it refused the account and password; the tile only forgets.
        if (statusText) *statusText = nullptr;
        if (statusIcon) *statusIcon = CPSI_NONE;
        if (ntsStatus != 0) ClearPin();
        return S_OK;
    }

private:
    ~Credential() {
        SecureZeroMemory(pin_, sizeof pin_);
        if (events_) events_->Release();
        SessionRelease(session_);
        InterlockedDecrement(&g_credProvObjects);
    }

    void ClearPin() {
        SecureZeroMemory(pin_, sizeof pin_);
        if (events_) events_->SetFieldString(this, kFieldPin, L"");
    }

    // The account and password (ANSI, as the library hands them) packed for the Negotiate
    // package; every wide copy of the password is wiped before it returns.
    HRESULT Serialize(const char *account, int accountLength, const char *password,
                      int passwordLength, CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *out) {
        wchar_t wideAccount[130];
        wchar_t widePassword[258];
        uint16_t accountUnits[130];
        uint16_t passwordUnits[258];
        LogonNames names;
        HRESULT hr = E_FAIL;
        const int a = MultiByteToWideChar(CP_ACP, 0, account, accountLength, wideAccount, 129);
        const int p = passwordLength == 0 ? 0
                                          : MultiByteToWideChar(CP_ACP, 0, password, passwordLength,
                                                                widePassword, 257);
        wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
        uint16_t computerUnits[MAX_COMPUTERNAME_LENGTH + 1];
        if (!GetComputerNameW(computer, &computerLength)) computerLength = 0;
        for (DWORD i = 0; i < computerLength; ++i)
            computerUnits[i] = static_cast<uint16_t>(computer[i]);
        computerUnits[computerLength] = 0;
        if (a > 0 && p >= 0 && (p > 0 || passwordLength == 0)) {
            for (int i = 0; i < a; ++i) accountUnits[i] = static_cast<uint16_t>(wideAccount[i]);
            accountUnits[a] = 0;
            for (int i = 0; i < p; ++i) passwordUnits[i] = static_cast<uint16_t>(widePassword[i]);
            if (SplitAccount(accountUnits, computerUnits, &names) == kSplitOk) {
                const size_t d = Utf16Length(names.domain), u = Utf16Length(names.user);
                const size_t size = PackedLogonSize(sizeof(void *), d, u, static_cast<size_t>(p));
                ULONG package = 0;
                hr = size ? CredProvSeams()->negotiatePackage(&package) : E_FAIL;
                BYTE *buffer = SUCCEEDED(hr) ? static_cast<BYTE *>(CoTaskMemAlloc(size)) : nullptr;
                if (SUCCEEDED(hr) && buffer == nullptr) hr = E_OUTOFMEMORY;
                if (buffer != nullptr) {
                    const uint32_t type = session_->scenario == CPUS_UNLOCK_WORKSTATION
                                              ? kKerbWorkstationUnlockLogon
                                              : kKerbInteractiveLogon;
                    PackInteractiveUnlockLogon(sizeof(void *), type, names.domain, d, names.user, u,
                                               passwordUnits, static_cast<size_t>(p), buffer, size);
                    out->ulAuthenticationPackage = package;
                    out->clsidCredentialProvider = kClsidZukCredProv;
                    out->cbSerialization = static_cast<ULONG>(size);
                    out->rgbSerialization = buffer;
                }
            }
        }
        SecureZeroMemory(widePassword, sizeof widePassword);
        SecureZeroMemory(passwordUnits, sizeof passwordUnits);
        SecureZeroMemory(wideAccount, sizeof wideAccount);
        SecureZeroMemory(accountUnits, sizeof accountUnits);
        SecureZeroMemory(&names, sizeof names);
        return hr;
    }

    LONG refs_;
    Session *session_;
    ICredentialProviderCredentialEvents *events_ = nullptr;
    wchar_t pin_[kPinMax + 1] = {};
};

class Provider final : public ICredentialProvider {
public:
    Provider() : refs_(1) { InterlockedIncrement(&g_credProvObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidCredentialProvider)) {
            *out = static_cast<ICredentialProvider *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario,
                                               DWORD) override {
        switch (scenario) {
        case CPUS_LOGON:
        case CPUS_UNLOCK_WORKSTATION:
        case CPUS_CREDUI: break;
        case CPUS_INVALID:
        case CPUS_CHANGE_PASSWORD:
        case CPUS_PLAP:
        default: return E_NOTIMPL;
        }
        if (ProviderSwitchedOff()) return E_NOTIMPL;
        Drop();
        session_ = SessionCreate(scenario);
        if (session_ == nullptr) return E_NOTIMPL;  // no library beside the provider: no tile
        credential_ = new (std::nothrow) Credential(session_);
        return credential_ ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE
    SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Advise(ICredentialProviderEvents *events, UINT_PTR context) override {
        if (session_ == nullptr) return E_UNEXPECTED;
        SessionAdvise(session_, events, context);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnAdvise() override {
        if (session_) SessionUnAdvise(session_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFieldDescriptorCount(DWORD *count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = kFieldCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetFieldDescriptorAt(DWORD index, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR **out) override {
        if (out == nullptr || index >= kFieldCount) return E_INVALIDARG;
        *out = nullptr;
        auto *descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR *>(
            CoTaskMemAlloc(sizeof(CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR)));
        if (descriptor == nullptr) return E_OUTOFMEMORY;
        std::memset(descriptor, 0, sizeof *descriptor);
        descriptor->dwFieldID = index;
        descriptor->cpft = kFieldTypes[index];
        wchar_t label[kTileTextMax] = L"";
        if (index == kFieldPin) CatalogueText(kMsgPinLabel, label, kTileTextMax);
        if (index == kFieldTitle) CatalogueText(kMsgTileTitle, label, kTileTextMax);
        if (label[0] != L'\0' && FAILED(CopyToCoTask(label, &descriptor->pszLabel))) {
            CoTaskMemFree(descriptor);
            return E_OUTOFMEMORY;
        }
        *out = descriptor;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCredentialCount(DWORD *count, DWORD *defaultIndex,
                                                 BOOL *autoLogon) override {
        if (count == nullptr || defaultIndex == nullptr || autoLogon == nullptr)
            return E_INVALIDARG;
        *count = credential_ ? 1 : 0;
        *autoLogon = FALSE;
        *defaultIndex = CREDENTIAL_PROVIDER_NO_DEFAULT;
        if (session_) {
            std::lock_guard<std::mutex> hold(session_->lock);
            if (session_->present) *defaultIndex = 0;  // a laid card's tile comes first
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCredentialAt(DWORD index,
                                              ICredentialProviderCredential **out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = nullptr;
        if (index != 0 || credential_ == nullptr) return E_INVALIDARG;
        credential_->AddRef();
        *out = credential_;
        return S_OK;
    }

private:
    ~Provider() {
        Drop();
        InterlockedDecrement(&g_credProvObjects);
    }
    void Drop() {
        if (credential_) credential_->Release();
        credential_ = nullptr;
        if (session_) SessionRelease(session_);
        session_ = nullptr;
    }

    LONG refs_;
    Session *session_ = nullptr;
    Credential *credential_ = nullptr;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Provider *provider = new (std::nothrow) Provider();
        if (provider == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = provider->QueryInterface(iid, out);
        provider->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_credProvObjects);
        } else {
            InterlockedDecrement(&g_credProvObjects);
        }
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

void CredProvSetModule(HMODULE module) { g_credProvModule = module; }

HRESULT CredProvGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kClsidZukCredProv)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

HRESULT CredProvCanUnloadNow() { return g_credProvObjects == 0 ? S_OK : S_FALSE; }
