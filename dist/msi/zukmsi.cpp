// zukmsi.dll: the custom actions of the ZUKcntrl MSI packages (dist/msi/ZUKcntrl.wxs).
//
// Windows Installer takes any property from the command line as it is, and wixl can neither
// condition a component nor write INI keys: these actions do what the package tables cannot.
//
//   ZukCheck    (immediate, before LaunchConditions, in both sequences) checks MODE, DEVICE,
//   CONFIG,
//               FELICA, PORT, SYSTEMCODE, INSTALLDIR and INSTALLDIR64 by the setup program's rules
//               and ends the installation (1603) before anything is written when one is wrong, or
//               when a newer version or the setup program's installation is there.  It
//               points INSTALLDIR (INSTALLDIR64) at the folder the view's InstallPath names when
//               the command line names none, and works out the machine values each registry view
//               gets: the command line's, else the view's present one (ZUKOLD*, from AppSearch),
//               else the default.  The issuing tool stays installed where an earlier installation
//               has it.
//   ZukPrepare  (immediate, after CostFinalize) hands the resolved folders, the reader options, the
//               INI of an earlier installation and every machine value of each view (read before
//               RemoveExistingProducts removes the earlier package) to the deferred actions.
//   ZukUndo     (rollback, before InstallFiles) when an installation onto a machine without one
//               fails: removes what ZukApply wrote (ZUKcntrl.reg, FeliCa) and the folders and keys
//               left empty, so that a failed first installation leaves nothing behind.
//   ZukApply    (deferred) puts the earlier INI back, writes back every machine value of the
//               earlier installation that is missing now (an earlier package's removal may take
//               them: Wine runs it without UPGRADINGPRODUCTCODE, and older packages removed the
//               revocation list), writes PORT and SYSTEMCODE into each INI, sets or removes FeliCa
//               in each view and writes each folder's ZUKcntrl.reg.
//   ZukSiteKeys (deferred, after ZukApply, when SITEKEYS is given) runs the installed zukcli's
//               `keys install SITEKEYS`, its output into the log; when it fails, the installation
//               fails (and is rolled back) with zukcli's reason.
//   ZukRemove   (deferred, after RemoveFiles) on removal: ZUKcntrl.reg, the trace logs, the emptied
//               folders and the KORVA folder around each when nothing else is in it, and, unless a
//               newer package is replacing this one, the machine values of the package's views
//               (the stored site keys and the revocation list only with REMOVESITEKEYS=1).
//
// SITEKEYS is checked by ZukCheck with the library's own reader of site key files, so a file that
// is missing or not valid stops the installation before anything is written.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/site_keys.h"

#define ZUK_CA extern "C" __declspec(dllexport) UINT __stdcall

namespace {

const wchar_t kKey[] = L"SOFTWARE\\KORVA\\ZUKLib";
const wchar_t kKorvaKey[] = L"SOFTWARE\\KORVA";
const wchar_t kSiteKeysValue[] = L"SiteKeys";
// The machine's revocation list (zukcli revoke): kept with the site keys, which it belongs to.
const wchar_t kRevokedKey[] = L"RevokedCards";
// How long zukcli may take to store the site keys (it writes two registry values and reads them
// back).
const DWORD kSiteKeysTimeoutMs = 120000;
// The longest folder the library can still be loaded from (the setup program's limit).
const size_t kMaxFolder = 200;

std::wstring property(MSIHANDLE h, const wchar_t *name) {
    wchar_t empty[1] = L"";
    DWORD n = 0;
    UINT r = MsiGetPropertyW(h, name, empty, &n);
    if (r != ERROR_MORE_DATA && r != ERROR_SUCCESS) return L"";
    if (n == 0) return L"";
    std::wstring s(n + 1, L'\0');
    n += 1;
    if (MsiGetPropertyW(h, name, &s[0], &n) != ERROR_SUCCESS) return L"";
    s.resize(n);
    return s;
}

void log(MSIHANDLE h, const std::wstring &text) {
    PMSIHANDLE rec = MsiCreateRecord(1);
    std::wstring line = L"ZUKcntrl: " + text;
    MsiRecordSetStringW(rec, 0, line.c_str());
    MsiProcessMessage(h, INSTALLMESSAGE_INFO, rec);
}

// Shows (or, silent, logs) the message and ends the installation.
UINT refuse(MSIHANDLE h, const std::wstring &text) {
    PMSIHANDLE rec = MsiCreateRecord(1);
    MsiRecordSetStringW(rec, 0, text.c_str());
    MsiProcessMessage(h, INSTALLMESSAGE_ERROR, rec);
    log(h, L"refused: " + text);
    return ERROR_INSTALL_FAILURE;
}

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool is_hex(wchar_t c) {
    return is_digit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}
int hex_value(wchar_t c) {
    if (is_digit(c)) return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return c - L'A' + 10;
}
bool has_hex_prefix(const std::wstring &s) {
    return s.size() >= 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X');
}

// A number as the options take it: one to nine decimal digits without a leading zero, or 0x and
// one to eight hexadecimal digits.  Anything else (signs, blanks, numbers past 32 bits) is refused.
bool parse_number(const std::wstring &s, uint32_t *out) {
    uint32_t v = 0;
    if (has_hex_prefix(s)) {
        if (s.size() < 3 || s.size() > 10) return false;
        for (size_t i = 2; i < s.size(); ++i) {
            if (!is_hex(s[i])) return false;
            v = v * 16 + hex_value(s[i]);
        }
    } else {
        if (s.empty() || s.size() > 9) return false;
        if (s[0] == L'0' && s.size() > 1) return false;  // would read as octal elsewhere
        for (wchar_t c : s) {
            if (!is_digit(c)) return false;
            v = v * 10 + (c - L'0');
        }
    }
    *out = v;
    return true;
}

bool mode_ok(const std::wstring &s) {
    uint32_t v;
    return parse_number(s, &v) && (v == 0 || v == 0x100 || v == 0x300);
}
bool device_ok(const std::wstring &s) { return s == L"0" || s == L"1"; }
bool config_ok(const std::wstring &s) {
    uint32_t v;
    if (!parse_number(s, &v)) return false;
    uint32_t input = v & 0xF, remembered = v & 0xF0;
    return (input == 1 || input == 3) &&
           (remembered == 0 || remembered == 0x10 || remembered == 0x30) && (v >> 20) == 0;
}
bool felica_ok(const std::wstring &s) { return s == L"IDM" || s == L"NONE"; }
// COM1 to COM256, or \\.\COM1 to \\.\COM256, letters in any case.
bool port_ok(const std::wstring &s) {
    std::wstring rest = s;
    if (rest.compare(0, 4, L"\\\\.\\") == 0) rest = rest.substr(4);
    if (rest.size() < 4 || CompareStringOrdinal(rest.c_str(), 3, L"COM", 3, TRUE) != CSTR_EQUAL) {
        return false;
    }
    rest = rest.substr(3);
    if (rest.size() > 3 || rest[0] == L'0') return false;
    uint32_t n;
    return !has_hex_prefix(rest) && parse_number(rest, &n) && n >= 1 && n <= 256;
}
// One to five codes of four hexadecimal digits separated by commas, no blanks.
bool system_code_ok(const std::wstring &s) {
    size_t codes = 1, digits = 0;
    for (wchar_t c : s) {
        if (c == L',') {
            if (digits != 4) return false;
            digits = 0;
            ++codes;
        } else if (is_hex(c)) {
            ++digits;
        } else {
            return false;
        }
    }
    return digits == 4 && codes <= 5;
}

std::wstring trim_slashes(std::wstring s) {
    while (!s.empty() && s.back() == L'\\') s.pop_back();
    return s;
}

struct Rule {
    const wchar_t *name;
    bool (*ok)(const std::wstring &);
    const wchar_t *message;
};

const Rule kRules[] = {
    {L"MODE", mode_ok,
     L"MODE must be 0 (library off), 256 (account from a card) or 768 (from a card or typed)."},
    {L"DEVICE", device_ok, L"DEVICE must be 0 (no reader) or 1 (PR300 reader)."},
    {L"CONFIG", config_ok,
     L"CONFIG must be a number such as 0x3: input items (0x0000F) 1 or 3, remembered items "
     L"(0x000F0) "
     L"0x00, 0x10 or 0x30, no bits above 0xFFFFF (see docs\\configuration.md)."},
    {L"FELICA", felica_ok,
     L"FELICA must be IDM (the card's IDm is the account) or NONE (remove the value)."},
    {L"PORT", port_ok,
     L"PORT must name the reader's serial port: COM1 to COM256 (or \\\\.\\COM1 to \\\\.\\COM256)."},
    {L"SYSTEMCODE", system_code_ok,
     L"SYSTEMCODE must be one to five FeliCa system codes of four hexadecimal digits, separated by "
     L"commas (for example 88B4 or 8165,88B4)."},
};

bool removing(MSIHANDLE h) {
    return CompareStringOrdinal(property(h, L"REMOVE").c_str(), -1, L"ALL", -1, TRUE) == CSTR_EQUAL;
}
bool with64(MSIHANDLE h) { return property(h, L"ZUKWITH64") == L"1"; }

// A DWORD from AppSearch ("#768"), as a decimal number; empty when the view has none (or not a
// DWORD).
std::wstring found_dword(const std::wstring &raw) {
    if (raw.size() < 2 || raw[0] != L'#') return L"";
    size_t i = 1;
    if (raw[i] == L'-') ++i;
    if (i == raw.size()) return L"";
    for (size_t j = i; j < raw.size(); ++j) {
        if (!is_digit(raw[j])) return L"";
    }
    return raw.substr(1);
}

std::wstring decimal(const std::wstring &number) {
    uint32_t v = 0;
    parse_number(number, &v);
    return std::to_wstring(v);
}

void set(MSIHANDLE h, const std::wstring &name, const std::wstring &value) {
    MsiSetPropertyW(h, name.c_str(), value.c_str());
}

REGSAM view_flag(const std::wstring &view) {
    return view == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::wstring hex_encode(const std::string &bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

std::string hex_decode(const std::wstring &text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out += static_cast<char>(hex_value(text[i]) * 16 + hex_value(text[i + 1]));
    }
    return out;
}

bool read_file(const std::wstring &path, std::string *out) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    out->clear();
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(f, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) {
        out->append(buffer, got);
        if (out->size() > (1u << 20)) {
            ok = false;
            break;
        }  // no settings file is that long
    }
    CloseHandle(f);
    return ok;
}

bool write_file(const std::wstring &path, const std::string &bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
              put == bytes.size();
    CloseHandle(f);
    return ok;
}

// CustomActionData: one "name=value" a line.
std::wstring get(const std::wstring &data, const std::wstring &name) {
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = data.find(L'\n', pos);
        if (end == std::wstring::npos) end = data.size();
        if (data.compare(pos, name.size() + 1, name + L"=") == 0) {
            return data.substr(pos + name.size() + 1, end - pos - name.size() - 1);
        }
        pos = end + 1;
    }
    return L"";
}

void put_u32(std::string *out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool take_u32(const std::string &in, size_t *at, uint32_t *v) {
    if (*at + 4 > in.size()) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i)
        *v |= static_cast<uint32_t>(static_cast<unsigned char>(in[*at + i])) << (8 * i);
    *at += 4;
    return true;
}

void put_bytes(std::string *out, const void *data, size_t size) {
    put_u32(out, static_cast<uint32_t>(size));
    out->append(static_cast<const char *>(data), size);
}

// Every value under the open key (sub names the key below the library's, empty for it), its
// subkeys' too, into *out: sub, name, type and data of each.  The stored site keys are left out:
// every removal but REMOVESITEKEYS=1 keeps them in place.
void snapshot_key(HKEY key, const std::wstring &sub, int depth, std::string *out) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &length, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        if (sub.empty() && CompareStringOrdinal(name, -1, kSiteKeysValue, -1, TRUE) == CSTR_EQUAL)
            continue;
        std::string data(size, '\0');
        DWORD got = size;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&data[0]), &got) !=
            ERROR_SUCCESS) {
            continue;
        }
        data.resize(got);
        put_bytes(out, sub.data(), sub.size() * sizeof(wchar_t));
        put_bytes(out, name, length * sizeof(wchar_t));
        put_u32(out, type);
        put_bytes(out, data.data(), data.size());
    }
    if (depth >= 4) return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        snapshot_key(child, sub.empty() ? std::wstring(name) : sub + L"\\" + name, depth + 1, out);
        RegCloseKey(child);
    }
}

// The machine values of one view as hexadecimal text; empty when the view has none.
std::wstring snapshot_values(REGSAM flag) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | flag, &key) != ERROR_SUCCESS)
        return L"";
    std::string bytes;
    snapshot_key(key, L"", 0, &bytes);
    RegCloseKey(key);
    return hex_encode(bytes);
}

std::wstring wide_of(const std::string &bytes) {
    return std::wstring(reinterpret_cast<const wchar_t *>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
}

// Writes back each value of a snapshot that the view lacks now; a value that is there (written by
// this installation, or never removed) stays as it is.  How many were written back, or -1 on a
// failure to write one.
int restore_missing_values(REGSAM flag, const std::wstring &snapshot) {
    const std::string bytes = hex_decode(snapshot);
    size_t at = 0;
    int restored = 0;
    while (at < bytes.size()) {
        uint32_t size = 0, type = 0;
        std::string sub, name, data;
        for (std::string *field : {&sub, &name}) {
            if (!take_u32(bytes, &at, &size) || at + size > bytes.size()) return -1;
            *field = bytes.substr(at, size);
            at += size;
        }
        if (!take_u32(bytes, &at, &type) || !take_u32(bytes, &at, &size) ||
            at + size > bytes.size())
            return -1;
        data = bytes.substr(at, size);
        at += size;
        std::wstring path = kKey;
        if (!sub.empty()) path += L"\\" + wide_of(sub);
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE | flag, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return -1;
        }
        const std::wstring value_name = wide_of(name);
        LONG r = RegQueryValueExW(key, value_name.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_FILE_NOT_FOUND) {
            r = RegSetValueExW(key, value_name.c_str(), 0, type,
                               reinterpret_cast<const BYTE *>(data.data()),
                               static_cast<DWORD>(data.size()));
            if (r == ERROR_SUCCESS) ++restored;
        } else {
            r = ERROR_SUCCESS;
        }
        RegCloseKey(key);
        if (r != ERROR_SUCCESS) return -1;
    }
    return restored;
}

std::string ansi(const std::wstring &s) {
    int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

// ZUKcntrl.reg in `folder` (ending in a backslash) for the library of `view` bits: the machine
// values as they belong to that folder and view, for a repair by hand.
std::string reg_file(const std::wstring &folder, const std::wstring &view) {
    std::wstring doubled;
    for (wchar_t c : folder) {
        doubled += c;
        if (c == L'\\') doubled += c;
    }
    std::wstring t;
    t += L"Windows Registry Editor Version 5.00\r\n\r\n";
    t += L"; Machine-wide settings of the " + view +
         L"-bit ZUKcntrl.dll in this folder.  It reads them from the\r\n";
    t += L"; " + view + L"-bit registry view: import this file with\r\n";
    t += L";     reg import ZUKcntrl.reg /reg:" + view + L"\r\n";
    if (view == L"32") {
        t += L"; (on 64-bit Windows the values land under "
             L"HKLM\\SOFTWARE\\WOW6432Node\\KORVA\\ZUKLib).\r\n";
    }
    t += L"; A missing or invalid InstallPath, Mode, Device or Config makes the library refuse to "
         L"load.\r\n\r\n";
    t += L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVA\\ZUKLib]\r\n";
    t += L"; Installation folder, ending in a backslash (file names are appended to it "
         L"directly).\r\n";
    t += L"\"InstallPath\"=\"" + doubled + L"\"\r\n";
    t += L"; 0x100 (256): the account comes from a card; 0x300 (768): from a card or typed; 0: "
         L"switched off.\r\n";
    t += L"\"Mode\"=dword:00000100\r\n";
    t += L"; 1: the PR300 reader is used; 0: no reader, the user ID and password are typed.\r\n";
    t += L"\"Device\"=dword:00000001\r\n";
    t += L"; Credential and dialog behaviour, five 4-bit groups (see docs/configuration.md):\r\n";
    t += L"; 0x3 = the user ID and the password (3), nothing remembered (0x00), first dialog "
         L"layout.\r\n";
    t += L"\"Config\"=dword:00000003\r\n";
    t += L"; Optional: \"FeliCa\"=\"IDM\" makes the card's IDm (16 hexadecimal digits) the user "
         L"account.\r\n";
    return ansi(t);
}

std::wstring with_slash(const std::wstring &folder) { return trim_slashes(folder) + L"\\"; }

// The views this package installs, each with the property of its folder.
struct View {
    const wchar_t *bits;
    const wchar_t *folder_property;
};
const View kViews[] = {{L"32", L"INSTALLDIR"}, {L"64", L"INSTALLDIR64"}};

std::wstring widen(const char *text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    return out;
}

// C:\... or \\server\share\...: the deferred actions run in another working folder than the
// command line that named the file.
bool full_path(const std::wstring &s) {
    const bool drive = s.size() >= 3 &&
                       ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z')) &&
                       s[1] == L':' && (s[2] == L'\\' || s[2] == L'/');
    const bool unc = s.size() >= 3 && s[0] == L'\\' && s[1] == L'\\';
    return drive || unc;
}

// Why the site key file at path cannot be used, or empty when it is a valid one.  The file's bytes
// and the keys read from it are wiped before it returns.
std::wstring site_key_file_fault(const std::wstring &path) {
    if (!full_path(path)) {
        return L"SITEKEYS must name the site key file with its full path (C:\\... or "
               L"\\\\server\\share\\...).";
    }
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return L"SITEKEYS: " + path +
               (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                    ? std::wstring(L" does not exist.")
                    : L" cannot be read (system error " + std::to_wstring(error) + L").");
    }
    // One byte more than a key file may have, so that a longer one is refused as such.
    std::vector<char> bytes(SITE_KEY_FILE_MAX_SIZE + 1);
    size_t have = 0;
    bool read = true;
    while (have < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(f, &bytes[have], static_cast<DWORD>(bytes.size() - have), &got, nullptr)) {
            read = false;
            break;
        }
        if (got == 0) break;
        have += got;
    }
    const DWORD error = GetLastError();
    CloseHandle(f);
    std::wstring fault;
    if (!read) {
        fault = L"SITEKEYS: " + path + L" cannot be read (system error " + std::to_wstring(error) +
                L").";
    } else {
        SiteKeys keys;
        char reason[SITE_KEY_FILE_ERROR_SIZE] = "";
        if (SiteKeyFileParse(bytes.data(), have, &keys, reason, sizeof reason) != kSiteKeysOk) {
            fault = L"SITEKEYS: " + path + L" is not a valid site key file: " + widen(reason);
        }
        SiteKeysWipe(&keys);
    }
    SecureZeroMemory(bytes.data(), bytes.size());
    return fault;
}

// Runs command_line (a program and its arguments) without a window, its output into *output;
// the exit code, or -1 when it could not be started or did not end within timeout_ms (then it
// is ended).
long run_program(const std::wstring &command_line, const std::wstring &folder, DWORD timeout_ms,
                 std::string *output) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = nullptr;
    start.hStdOutput = write_end;
    start.hStdError = write_end;
    PROCESS_INFORMATION process = {};
    std::wstring line = command_line;  // CreateProcessW may write into it
    const BOOL started =
        CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &start, &process);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        return -1;
    }
    long code = -1;
    const DWORD began = GetTickCount();
    for (;;) {
        const bool ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
        DWORD waiting = 0;
        while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            char buffer[1024];
            DWORD got = 0;
            if (!ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            if (output->size() < 65536) output->append(buffer, got);
        }
        if (ended) {
            DWORD exit_code = 0;
            if (GetExitCodeProcess(process.hProcess, &exit_code))
                code = static_cast<long>(exit_code);
            break;
        }
        if (GetTickCount() - began > timeout_ms) {
            TerminateProcess(process.hProcess, 1);
            output->append("(ended: it did not finish in time)\n");
            break;
        }
    }
    CloseHandle(read_end);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Deletes every value and subkey of the open key but SiteKeys and the revocation list; whether
// either is there.
bool clear_all_but_site_keys(HKEY key) {
    bool kept = false;
    for (DWORD index = 0;;) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (CompareStringOrdinal(name, -1, kSiteKeysValue, -1, TRUE) == CSTR_EQUAL) {
            kept = true;
            ++index;
        } else if (RegDeleteValueW(key, name) != ERROR_SUCCESS) {
            ++index;
        }
    }
    for (DWORD index = 0;;) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (CompareStringOrdinal(name, -1, kRevokedKey, -1, TRUE) == CSTR_EQUAL) {
            kept = true;
            ++index;
        } else if (RegDeleteTreeW(key, name) != ERROR_SUCCESS) {
            ++index;
        }
    }
    return kept;
}

// Deletes the SiteKeys value in one registry view, then the library's key and the KORVA key
// around it where nothing else is left in them.
void remove_site_keys_alone(REGSAM flag) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS | flag, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, kSiteKeysValue);
    DWORD subkeys = 0, values = 0;
    const LONG r = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || subkeys != 0 || values != 0) return;
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, flag, 0);
    HKEY korva;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKorvaKey, 0, KEY_QUERY_VALUE | flag, &korva) !=
        ERROR_SUCCESS)
        return;
    const LONG q = RegQueryInfoKeyW(korva, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(korva);
    if (q == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKorvaKey, flag, 0);
}

}  // namespace

ZUK_CA ZukCheck(MSIHANDLE h) {
    const size_t views = with64(h) ? 2 : 1;
    // An upgrade (and a removal) finds each library where its view's InstallPath names it.
    for (size_t i = 0; i < views; ++i) {
        std::wstring old =
            trim_slashes(property(h, (std::wstring(L"ZUKOLDDIR") + kViews[i].bits).c_str()));
        if (property(h, kViews[i].folder_property).empty() && !old.empty()) {
            set(h, kViews[i].folder_property, old + L"\\");
        }
    }
    if (removing(h)) return ERROR_SUCCESS;
    if (property(h, L"Installed").empty()) {
        if (!property(h, L"ZUKNEWERFOUND").empty()) {
            return refuse(h, L"A newer version of ZUKcntrl is installed already.");
        }
        if (!property(h, L"ZUKSETUPFOUND").empty()) {
            return refuse(
                h,
                L"ZUKcntrl is installed by its setup program: remove it first (uninstall.exe /S), "
                L"then install this package.");
        }
    }
    for (const Rule &rule : kRules) {
        std::wstring value = property(h, rule.name);
        if (!value.empty() && !rule.ok(value)) return refuse(h, rule.message);
    }
    for (size_t i = 0; i < views; ++i) {
        std::wstring folder = trim_slashes(property(h, kViews[i].folder_property));
        if (folder.size() > kMaxFolder) {
            return refuse(
                h, std::wstring(kViews[i].folder_property) +
                       L" is longer than 200 characters: the library could not be loaded from it. "
                       L"Choose a shorter folder.");
        }
    }
    const std::wstring site_keys = property(h, L"SITEKEYS");
    if (!site_keys.empty()) {
        const std::wstring fault = site_key_file_fault(site_keys);
        if (!fault.empty()) return refuse(h, fault);
    }
    // Each view's values: the command line's, else the view's own, else the default.
    struct Value {
        const wchar_t *name;
        const wchar_t *property;
        const wchar_t *fallback;
    };
    const Value values[] = {{L"MODE", L"ZUKMODE", L"256"},
                            {L"DEVICE", L"ZUKDEVICE", L"1"},
                            {L"CONFIG", L"ZUKCONFIG", L"3"}};
    for (size_t i = 0; i < views; ++i) {
        std::wstring bits = kViews[i].bits;
        for (const Value &v : values) {
            std::wstring given = property(h, v.name);
            std::wstring old =
                found_dword(property(h, (L"ZUKOLD" + std::wstring(v.name) + bits).c_str()));
            std::wstring value = !given.empty() ? decimal(given) : !old.empty() ? old : v.fallback;
            set(h, v.property + bits, value);
        }
        // FeliCa: IDM, "-" (remove it), or empty (nothing to write).
        std::wstring felica = property(h, L"FELICA");
        std::wstring old = property(h, (L"ZUKOLDFELICA" + bits).c_str());
        set(h, L"ZUKFELICA" + bits, felica == L"NONE" ? L"-" : !felica.empty() ? felica : old);
    }
    // The issuing tool stays where it is installed (MigrateFeatureStates does not see to it
    // everywhere).
    std::wstring old = trim_slashes(property(h, L"ZUKOLDDIR32"));
    if (property(h, L"ZUKCARD").empty() && !old.empty() &&
        GetFileAttributesW((old + L"\\zukcard.exe").c_str()) != INVALID_FILE_ATTRIBUTES) {
        set(h, L"ZUKCARD", L"1");
    }
    return ERROR_SUCCESS;
}

ZUK_CA ZukPrepare(MSIHANDLE h) {
    const size_t views = with64(h) ? 2 : 1;
    const bool removal = removing(h);
    const bool installed = !property(h, L"Installed").empty();
    std::wstring apply, remove, undo;
    for (size_t i = 0; i < views; ++i) {
        std::wstring bits = kViews[i].bits;
        std::wstring folder = property(h, kViews[i].folder_property);
        if (folder.empty()) continue;
        folder = with_slash(folder);
        apply += L"dir" + bits + L"=" + folder + L"\n";
        apply += L"felica" + bits + L"=" + property(h, (L"ZUKFELICA" + bits).c_str()) + L"\n";
        remove += L"dir" + bits + L"=" + folder + L"\n";
        std::wstring old = trim_slashes(property(h, (L"ZUKOLDDIR" + bits).c_str()));
        // A view without an earlier installation: a failure undoes everything in it.
        undo += L"dir" + bits + L"=" + folder + L"\n";
        undo +=
            L"fresh" + bits + L"=" + std::wstring(!installed && old.empty() ? L"1" : L"0") + L"\n";
        if (removal)
            continue;  // a removal keeps nothing of the INI: ZukRemove says what it removes
        // The INI of the installation this one replaces: RemoveExistingProducts removes it with
        // the earlier package, and ZukApply puts it back (into the new folder, when it moves).
        std::string ini;
        if (!old.empty() && read_file(old + L"\\ZUKcntrl.ini", &ini)) {
            apply += L"ini" + bits + L"=" + hex_encode(ini) + L"\n";
            log(h, L"keeping the settings file of " + old);
        }
        // Every machine value of the view as it is now, for ZukApply to write back what the
        // earlier package's removal takes.
        const std::wstring values = snapshot_values(view_flag(bits));
        if (!values.empty()) {
            apply += L"keep" + bits + L"=" + values + L"\n";
            log(h, L"keeping the machine values of the " + bits + L"-bit view");
        }
    }
    apply += L"port=" + property(h, L"PORT") + L"\n";
    apply += L"systemcode=" + property(h, L"SYSTEMCODE") + L"\n";
    // A removal on behalf of a newer package keeps the machine values: the newer one has read them.
    remove += L"upgrade=" +
              std::wstring(property(h, L"UPGRADINGPRODUCTCODE").empty() ? L"0" : L"1") + L"\n";
    remove += L"sitekeys=" +
              std::wstring(property(h, L"REMOVESITEKEYS") == L"1" ? L"remove" : L"keep") + L"\n";
    // The site keys are stored by the zukcli of the 64-bit library where the package has one (it
    // runs where 32-bit programs may not), else by the 32-bit library's; zukcli stores them for
    // the library of each bitness.
    std::wstring cli_folder = with64(h) ? property(h, L"INSTALLDIR64") : L"";
    if (cli_folder.empty()) cli_folder = property(h, L"INSTALLDIR");
    std::wstring site_keys = L"file=" + property(h, L"SITEKEYS") + L"\n";
    if (!cli_folder.empty()) site_keys += L"dir=" + with_slash(cli_folder) + L"\n";
    set(h, L"ZukApply", apply);
    set(h, L"ZukRemove", remove);
    set(h, L"ZukUndo", undo);
    set(h, L"ZukSiteKeys", site_keys);
    return ERROR_SUCCESS;
}

ZUK_CA ZukApply(MSIHANDLE h) {
    std::wstring data = property(h, L"CustomActionData");
    std::wstring port = get(data, L"port"), codes = get(data, L"systemcode");
    for (const View &view : kViews) {
        std::wstring bits = view.bits;
        std::wstring folder = get(data, L"dir" + bits);
        if (folder.empty()) continue;
        std::wstring ini = folder + L"ZUKcntrl.ini";
        std::wstring kept = get(data, L"ini" + bits);
        if (!kept.empty() && !write_file(ini, hex_decode(kept))) {
            log(h, L"cannot put the earlier settings back into " + ini);
            return ERROR_INSTALL_FAILURE;
        }
        if (!port.empty() &&
            !WritePrivateProfileStringW(L"Device", L"PortName", port.c_str(), ini.c_str())) {
            log(h, L"cannot write PortName into " + ini);
            return ERROR_INSTALL_FAILURE;
        }
        if (!codes.empty() &&
            !WritePrivateProfileStringW(L"FeliCa", L"SystemCode", codes.c_str(), ini.c_str())) {
            log(h, L"cannot write SystemCode into " + ini);
            return ERROR_INSTALL_FAILURE;
        }
        const std::wstring kept_values = get(data, L"keep" + bits);
        if (!kept_values.empty()) {
            const int restored = restore_missing_values(view_flag(bits), kept_values);
            if (restored < 0) {
                log(h, L"cannot write the earlier machine values back (" + bits + L"-bit view)");
                return ERROR_INSTALL_FAILURE;
            }
            if (restored > 0) {
                log(h, std::to_wstring(restored) +
                           L" machine value(s) the earlier package removed written back (" + bits +
                           L"-bit view)");
            }
        }
        std::wstring felica = get(data, L"felica" + bits);
        if (!felica.empty()) {
            HKEY key;
            LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                     KEY_SET_VALUE | view_flag(bits), nullptr, &key, nullptr);
            if (r != ERROR_SUCCESS) {
                log(h, L"cannot open the machine values (" + bits + L"-bit view)");
                return ERROR_INSTALL_FAILURE;
            }
            if (felica != L"-") {
                r = RegSetValueExW(key, L"FeliCa", 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(felica.c_str()),
                                   static_cast<DWORD>((felica.size() + 1) * sizeof(wchar_t)));
            } else {
                r = RegDeleteValueW(key, L"FeliCa");
                if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
            }
            RegCloseKey(key);
            if (r != ERROR_SUCCESS) {
                log(h, L"cannot change FeliCa (" + bits + L"-bit view)");
                return ERROR_INSTALL_FAILURE;
            }
        }
        if (!write_file(folder + L"ZUKcntrl.reg", reg_file(folder, bits))) {
            log(h, L"cannot write " + folder + L"ZUKcntrl.reg");
            return ERROR_INSTALL_FAILURE;
        }
    }
    return ERROR_SUCCESS;
}

// Deletes the key (below HKLM) in one view when nothing is left in it; whether it is gone.
bool delete_if_empty(const wchar_t *path, REGSAM flag) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | flag, &key) != ERROR_SUCCESS)
        return true;
    DWORD subkeys = 0, values = 0;
    const LONG r = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && subkeys == 0 && values == 0 &&
           RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, flag, 0) == ERROR_SUCCESS;
}

ZUK_CA ZukUndo(MSIHANDLE h) {
    const std::wstring data = property(h, L"CustomActionData");
    for (const View &view : kViews) {
        const std::wstring bits = view.bits;
        const std::wstring folder = get(data, L"dir" + bits);
        if (folder.empty() || get(data, L"fresh" + bits) != L"1") continue;
        // Runs after the files' own rollback: what is left is what the actions wrote.
        DeleteFileW((folder + L"ZUKcntrl.reg").c_str());
        DeleteFileW((folder + L"ZUKcntrl.ini").c_str());
        for (const wchar_t *sub : {L"PolicyDefinitions\\en-US", L"PolicyDefinitions\\ja-JP",
                                   L"PolicyDefinitions", L"include", L"lib"}) {
            RemoveDirectoryW((folder + sub).c_str());
        }
        const std::wstring dir = trim_slashes(folder);
        RemoveDirectoryW(dir.c_str());
        const size_t slash = dir.rfind(L'\\');
        if (slash != std::wstring::npos && slash > 2)
            RemoveDirectoryW(dir.substr(0, slash).c_str());
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | view_flag(bits), &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, L"FeliCa");
            RegCloseKey(key);
        }
        if (delete_if_empty(kKey, view_flag(bits))) delete_if_empty(kKorvaKey, view_flag(bits));
        log(h, L"the failed installation leaves nothing in " + dir + L" (" + bits + L"-bit view)");
    }
    return ERROR_SUCCESS;
}

ZUK_CA ZukSiteKeys(MSIHANDLE h) {
    const std::wstring data = property(h, L"CustomActionData");
    const std::wstring file = get(data, L"file"), folder = get(data, L"dir");
    if (file.empty()) return ERROR_SUCCESS;
    const std::wstring cli = folder + L"zukcli.exe";
    log(h, L"storing the site keys of " + file + L" (" + cli + L" keys install)");
    std::string output;
    const long code = run_program(L"\"" + cli + L"\" keys install \"" + file + L"\"", folder,
                                  kSiteKeysTimeoutMs, &output);
    std::wstring text = widen(output.c_str());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) log(h, L"zukcli: " + line);
        start = end + 1;
    }
    if (code != 0) {
        return refuse(h, L"The site keys of " + file + L" were not stored (zukcli keys install " +
                             (code < 0 ? std::wstring(L"did not run or did not finish")
                                       : L"ended with " + std::to_wstring(code)) +
                             L"): " + text);
    }
    log(h, L"the site keys are stored");
    return ERROR_SUCCESS;
}

ZUK_CA ZukRemove(MSIHANDLE h) {
    std::wstring data = property(h, L"CustomActionData");
    bool upgrade = get(data, L"upgrade") == L"1";
    bool keep_site_keys = get(data, L"sitekeys") != L"remove";
    for (const View &view : kViews) {
        std::wstring folder = get(data, std::wstring(L"dir") + view.bits);
        if (folder.empty()) continue;
        DeleteFileW((folder + L"ZUKcntrl.reg").c_str());
        if (!upgrade) {
            // The trace log the library wrote there under its default name, and its predecessor.
            DeleteFileW((folder + L"ZUKcntrl.log").c_str());
            DeleteFileW((folder + L"ZUKcntrl.log.old").c_str());
        }
        // The folder and the one around it (KORVA), each only when nothing is left in it.
        std::wstring dir = trim_slashes(folder);
        RemoveDirectoryW(dir.c_str());
        size_t slash = dir.rfind(L'\\');
        if (slash != std::wstring::npos && slash > 2)
            RemoveDirectoryW(dir.substr(0, slash).c_str());
    }
    if (upgrade) return ERROR_SUCCESS;
    // Every machine value of the package's views (including those written by hand) but the stored
    // site keys and the revocation list, which stay unless REMOVESITEKEYS=1 (a site that installs
    // again keeps its readers and cards working, and its revoked cards revoked); users' remembered
    // credentials (HKCU) stay.
    for (const View &view : kViews) {
        if (get(data, std::wstring(L"dir") + view.bits).empty())
            continue;  // a view this package has not
        REGSAM flag = view_flag(view.bits);
        if (keep_site_keys) {
            HKEY key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS | flag, &key) ==
                ERROR_SUCCESS) {
                const bool kept = clear_all_but_site_keys(key);
                RegCloseKey(key);
                if (kept) {
                    log(h, std::wstring(L"the stored site keys and the revocation list stay (") +
                               view.bits + L"-bit view); REMOVESITEKEYS=1 removes them too");
                    continue;
                }
            }
        }
        HKEY korva;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKorvaKey, 0, KEY_ALL_ACCESS | flag, &korva) ==
            ERROR_SUCCESS) {
            RegDeleteTreeW(korva, L"ZUKLib");
            DWORD subkeys = 0, values = 0;
            RegQueryInfoKeyW(korva, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr);
            RegCloseKey(korva);
            if (subkeys == 0 && values == 0)
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKorvaKey, flag, 0);
        }
    }
    // zukcli stores the site keys in every view a library reads, the 64-bit one too when this
    // package has no 64-bit library: asked to, the removal takes them from there as well.
    if (!keep_site_keys) {
        for (const View &view : kViews) {
            if (!get(data, std::wstring(L"dir") + view.bits).empty()) continue;  // done above
            remove_site_keys_alone(view_flag(view.bits));
        }
    }
    return ERROR_SUCCESS;
}
