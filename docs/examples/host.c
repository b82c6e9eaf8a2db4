/*
 * host.c - a C host of ZUKcntrl.dll, linked with an import library.
 *
 *   host            prints the library's version, mode and the buffer sizes to use
 *   host reader     also opens the reader, tells whether a card is there, reads the user name
 *   host identify   asks the library who the user is (card and PIN, or typed ID and password)
 *
 * <ZUKcntrl> is the library folder of the bitness you build for: Program Files\KORVA\ZUKcntrl for
 * a 64-bit host, Program Files (x86)\KORVA\ZUKcntrl for a 32-bit one (on 64-bit Windows).
 * Build with MinGW-w64:
 *   x86_64-w64-mingw32-gcc -I<ZUKcntrl>\include host.c -L<ZUKcntrl>\lib -lZUKcntrl -o host.exe   (64-bit)
 *   i686-w64-mingw32-gcc -I<ZUKcntrl>\include host.c -L<ZUKcntrl>\lib -lZUKcntrl -o host.exe     (32-bit)
 * or with MSVC, from an x64 or an x86 Developer Command Prompt:
 *   cl /I<ZUKcntrl>\include host.c <ZUKcntrl>\lib\ZUKcntrl.lib
 * and run it with the ZUKcntrl.dll of the same bitness beside it or on the PATH.
 */
#include <stdio.h>
#include <string.h>

#include "ZUKcntrl.h"

/* Texts from the library carry their length and no terminator: print them by length. */
static int read_user_name(int handle)
{
    char name[256];
    int length = (int)sizeof name;
    int result = ZUKGetUserName(handle, name, &length);
    if (result == ZUK_OK) {
        printf("user name: %.*s\n", length, name);
    } else {
        printf("ZUKGetUserName failed: %d\n", result);
    }
    return result;
}

static int use_reader(void)
{
    int handle = 0;
    int present = 0;
    int result = ZUKOpen(&handle);
    if (result != ZUK_OK) {
        printf("ZUKOpen failed: %d\n", result);
        return result;
    }
    if (handle == 0) {
        printf("the library is configured without a reader (Device 0)\n");
        return ZUKClose(handle);
    }
    result = ZUKSenseCard(handle, &present);
    if (result == ZUK_OK && present) {
        result = read_user_name(handle);
    } else if (result == ZUK_OK) {
        printf("no card on the reader\n");
    }
    /* Close from the thread that opened: it releases the reader for other programs. */
    if (ZUKClose(handle) != ZUK_OK && result == ZUK_OK) result = ZUK_ERR_PORT_CLOSE;
    return result;
}

/* The library's main operation: it shows its own prompts and fills the two buffers. */
static int identify(void)
{
    char account[128], password[256];
    AccountRequest request;
    int handle = 0;
    int result = ZUKOpen(&handle);
    if (result != ZUK_OK) return result;
    memset(&request, 0, sizeof request);
    request.Version = ZUK_ACCOUNT_REQUEST_VERSION;
    request.AccountBuffer = account;
    request.AccountLength = (int32_t)sizeof account;
    request.PasswordBuffer = password;
    request.PasswordLength = (int32_t)sizeof password;
    result = ZUKGetUserAccount(handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, NULL);
    if (result == ZUK_OK) {
        printf("user: %.*s (password of %d bytes)\n", (int)request.AccountLength, account,
               (int)request.PasswordLength);
    } else if (result == ZUK_CANCELLED) {
        printf("cancelled by the user\n");
    }
    /* A real host hands the password on, then clears it. */
    memset(password, 0, sizeof password);
    ZUKClose(handle);
    return result;
}

int main(int argc, char **argv)
{
    int version = 0, mode = 0, max_id = 0, max_password = 0;
    /* The mode first: it is the one call that answers without a prompt when the library is
       switched off on this machine (every other call would offer Retry first). */
    int result = ZUKGetLibMode(&mode, 0);
    if (result != ZUK_OK) {
        printf("ZUKGetLibMode failed: %d\n", result);
        return 1;
    }
    if (mode == 0) {
        printf("mode: switched off; the host uses its own log-on\n");
        return 0;
    }
    printf("mode: %s\n", mode == 256 ? "account from a card" : "account from a card or typed");

    result = ZUKGetLibVersion(&version);
    if (result == ZUK_OK) {
        printf("ZUKcntrl %d.%d.%d\n", (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
    }
    if (result == ZUK_OK) result = ZUKGetMaxLength(&max_id, &max_password);
    if (result == ZUK_OK) printf("buffers: user ID %d bytes, password %d bytes\n", max_id, max_password);

    if (result == ZUK_OK && argc > 1 && strcmp(argv[1], "reader") == 0) result = use_reader();
    if (result == ZUK_OK && argc > 1 && strcmp(argv[1], "identify") == 0) result = identify();
    return result == ZUK_OK ? 0 : 1;
}
