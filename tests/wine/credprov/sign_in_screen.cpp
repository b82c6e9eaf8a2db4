#include "tests/wine/credprov/sign_in_screen.h"

#include <gtest/gtest.h>

HRESULT ProviderEvents::QueryInterface(REFIID iid, void **out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidCredentialProviderEvents)) {
        *out = static_cast<ICredentialProviderEvents *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT ProviderEvents::CredentialsChanged(UINT_PTR context) {
    lastContext = context;
    ++changed;
    return S_OK;
}

HRESULT TileEvents::QueryInterface(REFIID iid, void **out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidCredentialProviderCredentialEvents)) {
        *out = static_cast<ICredentialProviderCredentialEvents *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT TileEvents::SetFieldString(ICredentialProviderCredential *, DWORD id, LPCWSTR text) {
    if (id == 1) status = text ? text : L"";
    if (id == 2 && (text == nullptr || text[0] == L'\0')) ++pinCleared;
    return S_OK;
}

HRESULT SignInScreen::Begin(GetClassObjectFn getClassObject,
                            CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario) {
    IClassFactory *factory = nullptr;
    HRESULT hr =
        getClassObject(kClsidZukCredProv, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr)) return hr;
    ICredentialProvider *created = nullptr;
    hr = factory->CreateInstance(nullptr, kIidCredentialProvider,
                                 reinterpret_cast<void **>(&created));
    factory->Release();
    if (FAILED(hr)) return hr;
    return Begin(created, scenario);
}

HRESULT SignInScreen::Begin(ICredentialProvider *created,
                            CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario) {
    provider = created;
    const HRESULT hr = provider->SetUsageScenario(scenario, 0);
    if (FAILED(hr)) return hr;
    EXPECT_EQ(provider->Advise(&events, 0x5A17), S_OK);
    EXPECT_EQ(provider->GetFieldDescriptorCount(&fieldCount), S_OK);
    for (DWORD i = 0; i < fieldCount && i < 8; ++i) {
        CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR *descriptor = nullptr;
        EXPECT_EQ(provider->GetFieldDescriptorAt(i, &descriptor), S_OK);
        if (descriptor == nullptr) continue;
        EXPECT_EQ(descriptor->dwFieldID, i);
        fieldTypes[i] = descriptor->cpft;
        fieldLabels[i] = descriptor->pszLabel ? descriptor->pszLabel : L"";
        CoTaskMemFree(descriptor->pszLabel);
        CoTaskMemFree(descriptor);
    }
    DWORD defaultTile = 0;
    EXPECT_EQ(Tiles(&defaultTile), 1u);
    EXPECT_EQ(provider->GetCredentialAt(0, &tile), S_OK);
    if (tile == nullptr) return E_FAIL;
    EXPECT_EQ(tile->Advise(&tileEvents), S_OK);
    BOOL autoLogon = TRUE;
    EXPECT_EQ(tile->SetSelected(&autoLogon), S_OK);
    EXPECT_FALSE(autoLogon);
    title = FieldText(0);
    return hr;
}

DWORD SignInScreen::Tiles(DWORD *defaultTile) {
    DWORD count = 0;
    BOOL autoLogon = TRUE;
    EXPECT_EQ(provider->GetCredentialCount(&count, defaultTile, &autoLogon), S_OK);
    EXPECT_FALSE(autoLogon);
    return count;
}

std::wstring SignInScreen::FieldText(DWORD id) {
    LPWSTR text = nullptr;
    if (tile == nullptr || FAILED(tile->GetStringValue(id, &text)) || text == nullptr)
        return L"<none>";
    std::wstring out(text);
    CoTaskMemFree(text);
    return out;
}

Submitted SignInScreen::Submit(const wchar_t *pin) {
    Submitted out;
    if (tile == nullptr) return out;
    EXPECT_EQ(tile->SetStringValue(2, pin), S_OK);
    LPWSTR status = nullptr;
    out.hr = tile->GetSerialization(&out.response, &out.serialization, &status, &out.icon);
    if (status != nullptr) {
        out.statusText = status;
        CoTaskMemFree(status);
    }
    return out;
}

void SignInScreen::End(LONG status) {
    if (tile != nullptr) {
        LPWSTR text = nullptr;
        CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
        EXPECT_EQ(tile->ReportResult(status, 0, &text, &icon), S_OK);
        CoTaskMemFree(text);
        EXPECT_EQ(tile->UnAdvise(), S_OK);
        tile->Release();
        tile = nullptr;
    }
    if (provider != nullptr) {
        const DWORD start = GetTickCount();
        EXPECT_EQ(provider->UnAdvise(), S_OK);
        unAdviseMs = GetTickCount() - start;
        provider->Release();
        provider = nullptr;
    }
}

void FreeSerialization(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION *serialization) {
    if (serialization->rgbSerialization != nullptr) {
        SecureZeroMemory(serialization->rgbSerialization, serialization->cbSerialization);
        CoTaskMemFree(serialization->rgbSerialization);
    }
    *serialization = {};
}
