// Finding and answering the library's windows; see find_dialog.h.
#include "tools/dialogs/find_dialog.h"

#include <algorithm>

#include "resources/dialog_ids.h"

namespace {

struct Search {
    const DialogQuery *query;
    HWND found;
};

bool HoldsAnyOf(HWND window, const std::vector<int> &controls) {
    if (controls.empty()) return true;
    for (int id : controls) {
        if (GetDlgItem(window, id) != nullptr) return true;
    }
    return false;
}

BOOL CALLBACK Match(HWND window, LPARAM param) {
    Search *s = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (s->query->thread != 0 && thread != s->query->thread) return TRUE;
    char cls[32] = {0};
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0) return TRUE;
    const std::vector<HWND> &ignore = s->query->ignore;
    if (std::find(ignore.begin(), ignore.end(), window) != ignore.end()) return TRUE;
    if (!HoldsAnyOf(window, s->query->anyOfControls)) return TRUE;
    s->found = window;
    return FALSE;
}

}  // namespace

HWND FindDialog(const DialogQuery &query) {
    Search s{&query, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::string WindowText(HWND window) {
    char buffer[1024] = {0};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string ControlText(HWND dialog, int id) {
    char buffer[1024] = {0};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void AnswerPinDialog(HWND dialog, const char *pin) {
    SetDlgItemTextA(dialog, ZUK_IDC_PIN_EDIT, pin);
    PressButton(dialog, ZUK_IDC_PIN_OK);
}
