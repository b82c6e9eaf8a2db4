/*
 * answer_pin.c - a test host that answers the library's PIN prompt itself, for automated runs
 * (a kiosk's self-test, a CI job against the simulated reader).
 *
 *   answer_pin [PIN]     opens the reader, senses the card, asks ZUKGetUserAccount who the user
 *                        is and types PIN (default 1234) into the PIN prompt when it appears
 *
 * The prompt is found with a WH_CBT hook on the calling thread: the library shows its dialogs on
 * the thread that calls it, and the hook sees each one activated, after its controls are set up.
 * The PIN prompt is the dialog that holds the PIN edit (control id 1042); its OK button is 1043
 * (not IDOK), its Cancel button 1044.  The answers are posted, so the dialog handles them in its
 * own message loop.  Never destroy a library dialog from outside: the library then ends the process.
 *
 * The PIN is given once.  After a wrong PIN the library shows its wrong-PIN notice (OK button 1052;
 * not shown when ZUK_UNATTENDED=1) and asks again with a new PIN prompt: the notice is dismissed
 * and the new prompt cancelled, so the call returns ZUK_ERR_PIN_WRONG (3) instead of typing the
 * same wrong PIN until the card locks.
 *
 * Build like host.c (64-bit shown; i686-w64-mingw32-gcc for a 32-bit host):
 *   x86_64-w64-mingw32-gcc -I<ZUKcntrl>\include answer_pin.c -L<ZUKcntrl>\lib -lZUKcntrl -luser32 -o answer_pin.exe
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "ZUKcntrl.h"

#define PIN_EDIT 1042
#define PIN_OK 1043
#define PIN_CANCEL 1044
#define WRONG_PIN_OK 1052

static HHOOK g_hook;
static const char *g_pin = "1234";
static HWND g_given;      /* the PIN prompt that got the PIN */
static int g_given_closed; /* and has closed since */
static int g_answered;    /* PIN prompts given the PIN (0 or 1) */
static int g_cancelled;   /* PIN prompts cancelled: the library asking again */

static void click(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

static LRESULT CALLBACK watch_windows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND dialog = (HWND)wParam;
        if (GetDlgItem(dialog, PIN_EDIT) != NULL && GetDlgItem(dialog, PIN_OK) != NULL) {
            if (g_given == NULL) {
                SetDlgItemTextA(dialog, PIN_EDIT, g_pin);
                click(dialog, PIN_OK);
                g_given = dialog;
                ++g_answered;
            } else if (dialog != g_given || g_given_closed) {
                click(dialog, PIN_CANCEL);  /* asked again: the PIN given was wrong */
                ++g_cancelled;
            }
        } else if (GetDlgItem(dialog, WRONG_PIN_OK) != NULL) {
            click(dialog, WRONG_PIN_OK);
        }
    } else if (code == HCBT_DESTROYWND && (HWND)wParam == g_given) {
        g_given_closed = 1;  /* a later prompt is a new one, even under the same handle */
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

int main(int argc, char **argv)
{
    char account[128];
    char password[256];
    AccountRequest request;
    int handle = 0, present = 0, result;

    if (argc > 1) g_pin = argv[1];
    result = ZUKOpen(&handle);
    if (result != ZUK_OK) {
        printf("ZUKOpen failed: %d\n", result);
        return 1;
    }
    result = ZUKSenseCard(handle, &present);
    if (result == ZUK_OK && present == 1) {
        g_hook = SetWindowsHookExA(WH_CBT, watch_windows, NULL, GetCurrentThreadId());
        memset(&request, 0, sizeof request);
        request.Version = ZUK_ACCOUNT_REQUEST_VERSION;
        request.AccountBuffer = account;
        request.AccountLength = (int)sizeof account;
        request.PasswordBuffer = password;
        request.PasswordLength = (int)sizeof password;
        result = ZUKGetUserAccount(handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, NULL);
        UnhookWindowsHookEx(g_hook);
        if (result == ZUK_OK) {
            printf("user: %.*s (password of %d bytes)\n", request.AccountLength, account,
                   request.PasswordLength);
        } else {
            printf("ZUKGetUserAccount failed: %d\n", result);
        }
        SecureZeroMemory(password, sizeof password);
    } else {
        printf("no card on the reader (%d)\n", result);
        result = result == ZUK_OK ? ZUK_ERR_NO_CARD : result;
    }
    printf("PIN prompts answered: %d, cancelled: %d\n", g_answered, g_cancelled);
    ZUKClose(handle);
    return result == ZUK_OK ? 0 : 1;
}
