// Driving the library's prompt dialogs.
#include "tests/wine/support/dialog_driver.h"

#include "tools/picture/window_picture.h"
#include "resources/dialog_ids.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"

namespace {

BOOL CALLBACK CollectControl(HWND child, LPARAM param) {
    DialogSnapshot *s = reinterpret_cast<DialogSnapshot *>(param);
    if (GetParent(child) != s->hwnd) return TRUE;
    ControlState c;
    c.id = GetDlgCtrlID(child);
    char buffer[2048] = {0};
    GetClassNameA(child, buffer, sizeof buffer);
    c.className = buffer;
    buffer[0] = '\0';
    GetWindowTextA(child, buffer, sizeof buffer);
    c.text = buffer;
    c.style = GetWindowLongA(child, GWL_STYLE);
    c.enabled = IsWindowEnabled(child) != FALSE;
    c.visible = IsWindowVisible(child) != FALSE;
    if (lstrcmpiA(c.className.c_str(), "Edit") == 0) {
        c.masked =
            (c.style & ES_PASSWORD) != 0 && SendMessageA(child, EM_GETPASSWORDCHAR, 0, 0) != 0;
        c.limit = static_cast<int>(SendMessageA(child, EM_GETLIMITTEXT, 0, 0));
    }
    s->controls.push_back(c);
    return TRUE;
}

std::string Describe(const DialogSnapshot &s) {
    std::string d = std::string(UiKindName(s.kind)) + " \"" + s.caption + "\"";
    for (const ControlState &c : s.controls) {
        if (!c.text.empty()) d += " [" + std::to_string(c.id) + ": " + c.text + "]";
    }
    return d;
}

}  // namespace

const char *UiKindName(UiKind kind) {
    switch (kind) {
    case UiKind::CardWait: return "card wait prompt";
    case UiKind::Credentials: return "credentials prompt";
    case UiKind::Pin: return "PIN prompt";
    case UiKind::NoCard: return "no-card notice";
    case UiKind::PinError: return "PIN error notice";
    case UiKind::Accessing: return "card access window";
    case UiKind::MessageBox: return "message box";
    case UiKind::Other: return "unknown window";
    }
    return "unknown window";
}

UiKind KindOf(HWND window) {
    struct Signature {
        int id;
        UiKind kind;
    };
    static const Signature kSignatures[] = {
        {kMessageBoxTextId, UiKind::MessageBox},  {ZUK_IDC_WAIT_CANCEL, UiKind::CardWait},
        {ZUK_IDC_CRED_OK, UiKind::Credentials},   {ZUK_IDC_PIN_OK, UiKind::Pin},
        {ZUK_IDC_NOCARD_OK, UiKind::NoCard},      {ZUK_IDC_PINERR_OK, UiKind::PinError},
        {ZUK_IDC_ACCESS_TEXT, UiKind::Accessing},
    };
    for (const Signature &s : kSignatures) {
        if (GetDlgItem(window, s.id) != nullptr) return s.kind;
    }
    return UiKind::Other;
}

const ControlState *DialogSnapshot::Control(int id) const {
    for (const ControlState &c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::string DialogSnapshot::Text(int id) const {
    const ControlState *c = Control(id);
    return c ? c->text : std::string();
}

bool ReadDialog(HWND window, DialogSnapshot *out) {
    *out = DialogSnapshot{};
    if (!IsWindow(window)) return false;
    out->hwnd = window;
    out->kind = KindOf(window);
    char buffer[2048] = {0};
    GetWindowTextA(window, buffer, sizeof buffer);
    out->caption = buffer;
    out->topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    out->hasSystemMenu = (GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU) != 0;
    GetWindowRect(window, &out->rect);
    EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(out));
    return true;
}

bool WaitForKind(UiKind kind, DWORD thread, DWORD timeoutMs, DialogSnapshot *out, std::string *why,
                 const std::vector<HWND> &ignore) {
    SeenWindow seen;
    if (!WaitForWindow(&seen, timeoutMs, thread, ignore)) {
        *why =
            std::string("no ") + UiKindName(kind) + " within " + std::to_string(timeoutMs) + " ms";
        return false;
    }
    ReadDialog(seen.hwnd, out);
    if (out->kind == kind) return true;
    *why = std::string("expected a ") + UiKindName(kind) + ", got: " + Describe(*out);
    CloseByKind(seen.hwnd);
    return false;
}

bool CloseByKind(HWND window) {
    switch (KindOf(window)) {
    case UiKind::NoCard: PressButton(window, ZUK_IDC_NOCARD_OK); return true;
    case UiKind::PinError: PressButton(window, ZUK_IDC_PINERR_OK); return true;
    case UiKind::Accessing: return false;
    case UiKind::CardWait:
    case UiKind::Credentials:
    case UiKind::Pin:
    case UiKind::MessageBox:
    case UiKind::Other: PressButton(window, IDCANCEL); return true;
    }
    return false;
}

void SetEditText(HWND dialog, int id, const std::string &text) {
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TypeChars(HWND dialog, int id, const std::string &text) {
    HWND edit = GetDlgItem(dialog, id);
    for (unsigned char ch : text) SendMessageA(edit, WM_CHAR, ch, 1);
}

std::string EditText(HWND dialog, int id) {
    char buffer[4096] = {0};
    SendDlgItemMessageA(dialog, id, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

void SendEscape(HWND dialog) {
    // Through the dialog's message loop, where the dialog manager turns Esc into IDCANCEL.
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void SendCloseCommand(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::string SaveScreenshot(HWND window, const std::string &folder, const std::string &name) {
    std::string dir = ProgramDir() + "..\\screenshots\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += folder + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string path = dir + name + ".png";
    return SaveWindowPicture(window, path) ? path : "";
}
