/*
 * own_pin_pad.c - a host with its own PIN entry: the library shows no window at all.
 *
 *   own_pin_pad PIN [PIN...]   waits up to 10 s for a card, shows the PIN tries the card has
 *                              left, then identifies the user with each PIN in turn (as a PIN pad
 *                              would hand them over) until one is accepted or the card locks
 *   own_pin_pad cancel         waits for a card on a second thread and ends that wait from the
 *                              first with ZUKCancel, as a host's Cancel button or its shutdown would
 *
 * The host-driven calls return each outcome at once: ZUK_OK with the account, ZUK_ERR_PIN_WRONG
 * (3) with the tries left, ZUK_ERR_PIN_LOCKED_NOW (7) when that PIN locked the card,
 * ZUK_ERR_CARD_LOCKED (6) for a locked or revoked card, ZUK_ERR_NO_CARD (5) when no card is there.
 * Nothing is retried behind the host's back and no prompt, notice or card-access window appears.
 *
 * Build like host.c (64-bit shown; i686-w64-mingw32-gcc for a 32-bit host):
 *   x86_64-w64-mingw32-gcc -I<ZUKcntrl>\include own_pin_pad.c -L<ZUKcntrl>\lib -lZUKcntrl -o own_pin_pad.exe
 * or with MSVC: cl /I<ZUKcntrl>\include own_pin_pad.c <ZUKcntrl>\lib\ZUKcntrl.lib
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "ZUKcntrl.h"

static int g_handle;

/* The second thread of "cancel": a card wait without a time-out. */
static DWORD WINAPI wait_for_card(LPVOID result)
{
    int present = 0;
    *(int *)result = ZUKWaitForCard(g_handle, 1, -1, &present);
    return 0;
}

static int cancel_a_wait(void)
{
    int result = 0x7FFFFFFF;
    HANDLE thread = CreateThread(NULL, 0, wait_for_card, &result, 0, NULL);
    DWORD start;
    if (thread == NULL) return 1;
    Sleep(500); /* the user looks at "lay your card", then presses the host's Cancel */
    start = GetTickCount();
    ZUKCancel();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    printf("card wait ended: %d%s (%lu ms after the cancel)\n", result,
           result == ZUK_CANCELLED ? " (cancelled)" : "", (unsigned long)(GetTickCount() - start));
    return result == ZUK_CANCELLED ? 0 : 1;
}

/* One identification with the PIN the host's own field collected; 1 when the host may ask for
 * another PIN. */
static int identify(const char *pin)
{
    char account[128];
    char password[256];
    AccountRequest request;
    int tries = -1;
    int result;
    memset(&request, 0, sizeof request);
    request.Version = ZUK_ACCOUNT_REQUEST_VERSION;
    request.AccountBuffer = account;
    request.AccountLength = (int32_t)sizeof account;
    request.PasswordBuffer = password;
    request.PasswordLength = (int32_t)sizeof password;
    result = ZUKGetUserAccountWithPin(g_handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, pin,
                                      (int)strlen(pin), &tries);
    switch (result) {
    case ZUK_OK:
        /* Texts carry their length and no terminator. */
        printf("user: %.*s (password of %d bytes)\n", (int)request.AccountLength, account,
               (int)request.PasswordLength);
        SecureZeroMemory(password, sizeof password);
        return 0;
    case ZUK_ERR_PIN_WRONG:
        printf("wrong PIN, %d tries left\n", tries);
        return 1;
    case ZUK_ERR_PIN_LOCKED_NOW:
        printf("wrong PIN: the card is locked now\n");
        return 0;
    case ZUK_ERR_CARD_LOCKED:
        printf("the card is locked\n");
        return 0;
    case ZUK_ERR_NO_CARD:
        printf("no card on the reader\n");
        return 0;
    default:
        printf("ZUKGetUserAccountWithPin failed: %d\n", result);
        return 0;
    }
}

int main(int argc, char **argv)
{
    int present = 0;
    int tries = 0;
    int limit = 0;
    int i;
    int result;
    if (argc < 2) {
        printf("usage: own_pin_pad PIN [PIN...] | own_pin_pad cancel\n");
        return 2;
    }
    result = ZUKOpen(&g_handle);
    if (result != ZUK_OK) {
        printf("ZUKOpen failed: %d\n", result);
        return 1;
    }
    if (strcmp(argv[1], "cancel") == 0) {
        result = cancel_a_wait();
        ZUKClose(g_handle);
        return result;
    }
    /* The library polls the reader; the host only waits (or cancels). */
    result = ZUKWaitForCard(g_handle, 1, 10000, &present);
    if (result != ZUK_OK || !present) {
        printf("no card laid (%d)\n", result);
        ZUKClose(g_handle);
        return 1;
    }
    if (ZUKGetPinTries(g_handle, &tries, &limit) == ZUK_OK)
        printf("PIN tries left: %d of %d\n", tries, limit);
    for (i = 1; i < argc; ++i) {
        if (!identify(argv[i])) break;
    }
    ZUKClose(g_handle);
    return 0;
}
