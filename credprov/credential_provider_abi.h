// The credential provider interfaces of the Windows sign-in screen (LogonUI) and the credentials
// dialog, declared here from Microsoft's documented definitions (credentialprovider.h, which
// MinGW-w64 does not ship): the interfaces in their documented method order, their IIDs, the
// records and the enumerations this provider uses.
#ifndef ZUK_CREDPROV_CREDENTIAL_PROVIDER_ABI_H
#define ZUK_CREDPROV_CREDENTIAL_PROVIDER_ABI_H

#include <windows.h>
#include <unknwn.h>

enum CREDENTIAL_PROVIDER_USAGE_SCENARIO {
    CPUS_INVALID = 0,
    CPUS_LOGON,
    CPUS_UNLOCK_WORKSTATION,
    CPUS_CHANGE_PASSWORD,
    CPUS_CREDUI,
    CPUS_PLAP,
};

enum CREDENTIAL_PROVIDER_FIELD_TYPE {
    CPFT_INVALID = 0,
    CPFT_LARGE_TEXT,
    CPFT_SMALL_TEXT,
    CPFT_COMMAND_LINK,
    CPFT_EDIT_TEXT,
    CPFT_PASSWORD_TEXT,
    CPFT_TILE_IMAGE,
    CPFT_CHECKBOX,
    CPFT_COMBOBOX,
    CPFT_SUBMIT_BUTTON,
};

enum CREDENTIAL_PROVIDER_FIELD_STATE {
    CPFS_HIDDEN = 0,
    CPFS_DISPLAY_IN_SELECTED_TILE,
    CPFS_DISPLAY_IN_DESELECTED_TILE,
    CPFS_DISPLAY_IN_BOTH,
};

enum CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE {
    CPFIS_NONE = 0,
    CPFIS_READONLY,
    CPFIS_DISABLED,
    CPFIS_FOCUSED,
};

enum CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE {
    CPGSR_NO_CREDENTIAL_NOT_FINISHED = 0,
    CPGSR_NO_CREDENTIAL_FINISHED,
    CPGSR_RETURN_CREDENTIAL_FINISHED,
    CPGSR_RETURN_NO_CREDENTIAL_FINISHED,
};

enum CREDENTIAL_PROVIDER_STATUS_ICON {
    CPSI_NONE = 0,
    CPSI_ERROR,
    CPSI_WARNING,
    CPSI_SUCCESS,
};

// GetCredentialCount's "no default tile".
#define CREDENTIAL_PROVIDER_NO_DEFAULT ((DWORD)-1)

struct CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR {
    DWORD dwFieldID;
    CREDENTIAL_PROVIDER_FIELD_TYPE cpft;
    LPWSTR pszLabel;
    GUID guidFieldType;
};

struct CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION {
    ULONG ulAuthenticationPackage;
    GUID clsidCredentialProvider;
    ULONG cbSerialization;
    BYTE *rgbSerialization;
};

struct ICredentialProviderCredential;

struct ICredentialProviderCredentialEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFieldState(ICredentialProviderCredential *pcpc,
                                                    DWORD dwFieldID,
                                                    CREDENTIAL_PROVIDER_FIELD_STATE cpfs) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    SetFieldInteractiveState(ICredentialProviderCredential *pcpc, DWORD dwFieldID,
                             CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE cpfis) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldString(ICredentialProviderCredential *pcpc,
                                                     DWORD dwFieldID, LPCWSTR psz) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldCheckbox(ICredentialProviderCredential *pcpc,
                                                       DWORD dwFieldID, BOOL bChecked,
                                                       LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldBitmap(ICredentialProviderCredential *pcpc,
                                                     DWORD dwFieldID, HBITMAP hbmp) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldComboBoxSelectedItem(
        ICredentialProviderCredential *pcpc, DWORD dwFieldID, DWORD dwSelectedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteFieldComboBoxItem(ICredentialProviderCredential *pcpc,
                                                              DWORD dwFieldID, DWORD dwItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendFieldComboBoxItem(ICredentialProviderCredential *pcpc,
                                                              DWORD dwFieldID, LPCWSTR pszItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldSubmitButton(ICredentialProviderCredential *pcpc,
                                                           DWORD dwFieldID, DWORD dwAdjacentTo) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnCreatingWindow(HWND *phwndOwner) = 0;
};

struct ICredentialProviderCredential : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Advise(ICredentialProviderCredentialEvents *pcpce) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnAdvise() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSelected(BOOL *pbAutoLogon) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDeselected() = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetFieldState(DWORD dwFieldID, CREDENTIAL_PROVIDER_FIELD_STATE *pcpfs,
                  CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE *pcpfis) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringValue(DWORD dwFieldID, LPWSTR *ppsz) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBitmapValue(DWORD dwFieldID, HBITMAP *phbmp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCheckboxValue(DWORD dwFieldID, BOOL *pbChecked,
                                                       LPWSTR *ppszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubmitButtonValue(DWORD dwFieldID,
                                                           DWORD *pdwAdjacentTo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetComboBoxValueCount(DWORD dwFieldID, DWORD *pcItems,
                                                            DWORD *pdwSelectedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetComboBoxValueAt(DWORD dwFieldID, DWORD dwItem,
                                                         LPWSTR *ppszItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStringValue(DWORD dwFieldID, LPCWSTR psz) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCheckboxValue(DWORD dwFieldID, BOOL bChecked) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetComboBoxSelectedValue(DWORD dwFieldID,
                                                               DWORD dwSelectedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE CommandLinkClicked(DWORD dwFieldID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSerialization(
        CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE *pcpgsr,
        CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *pcpcs, LPWSTR *ppszOptionalStatusText,
        CREDENTIAL_PROVIDER_STATUS_ICON *pcpsiOptionalStatusIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    ReportResult(LONG ntsStatus, LONG ntsSubstatus, LPWSTR *ppszOptionalStatusText,
                 CREDENTIAL_PROVIDER_STATUS_ICON *pcpsiOptionalStatusIcon) = 0;
};

struct ICredentialProviderEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CredentialsChanged(UINT_PTR upAdviseContext) = 0;
};

struct ICredentialProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO cpus,
                                                       DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *pcpcs) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(ICredentialProviderEvents *pcpe,
                                             UINT_PTR upAdviseContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnAdvise() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldDescriptorCount(DWORD *pdwCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetFieldDescriptorAt(DWORD dwIndex, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR **ppcpfd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCredentialCount(DWORD *pdwCount, DWORD *pdwDefault,
                                                         BOOL *pbAutoLogonWithDefault) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCredentialAt(DWORD dwIndex,
                                                      ICredentialProviderCredential **ppcpc) = 0;
};

// {d27c3481-5a1c-45b2-8aaa-c20ebbe8229e}
const IID kIidCredentialProvider = {
    0xd27c3481, 0x5a1c, 0x45b2, {0x8a, 0xaa, 0xc2, 0x0e, 0xbb, 0xe8, 0x22, 0x9e}};
// {63913a93-40c1-481a-818d-4072ff8c70cc}
const IID kIidCredentialProviderCredential = {
    0x63913a93, 0x40c1, 0x481a, {0x81, 0x8d, 0x40, 0x72, 0xff, 0x8c, 0x70, 0xcc}};
// {34201e5a-a787-41a3-a5a4-bd6dcf2a854e}
const IID kIidCredentialProviderEvents = {
    0x34201e5a, 0xa787, 0x41a3, {0xa5, 0xa4, 0xbd, 0x6d, 0xcf, 0x2a, 0x85, 0x4e}};
// {fa6fa76b-66b7-4b11-95f1-86171118e816}
const IID kIidCredentialProviderCredentialEvents = {
    0xfa6fa76b, 0x66b7, 0x4b11, {0x95, 0xf1, 0x86, 0x17, 0x11, 0x18, 0xe8, 0x16}};

// This provider's class: {aa050858-7c63-48e9-8e8c-84676b7fb3ac}.
const CLSID kClsidZukCredProv = {
    0xaa050858, 0x7c63, 0x48e9, {0x8e, 0x8c, 0x84, 0x67, 0x6b, 0x7f, 0xb3, 0xac}};
#define ZUK_CREDPROV_CLSID_TEXT "{aa050858-7c63-48e9-8e8c-84676b7fb3ac}"

#endif
