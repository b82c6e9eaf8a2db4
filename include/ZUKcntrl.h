/*
 * ZUKcntrl.h - public interface of the ZUKcntrl user-identification library.
 *
 * The library identifies the user from a FeliCa card laid on a PR300 reader (or from an ID and
 * password typed into its own prompt) and hands the host the user's account and password.  Every
 * export returns one of the result codes below.  Valid C and C++; on Windows every export uses the
 * __stdcall convention and is exported under its plain name (ZUKGetLibVersion, not
 * _ZUKGetLibVersion@4), so GetProcAddress and the import libraries both find it.
 */
#ifndef ZUKCNTRL_H
#define ZUKCNTRL_H

#include <stdint.h>

#if defined(_WIN32)
#define ZUKAPI __stdcall
#else
#define ZUKAPI
#endif


#ifdef __cplusplus
extern "C" {
#endif

/* Result codes (signed 32-bit). */
#define ZUK_OK                   0
#define ZUK_CANCELLED            (-1)        /* the user ended a prompt with Cancel, or ZUKCancel ended a wait */
#define ZUK_ERR_INCOMPLETE       1           /* a prompt cannot be shown, or the reader's answer stayed incomplete */
#define ZUK_ERR_NO_DATA          2           /* the card holds no account, or no PIN to verify */
#define ZUK_ERR_PIN_WRONG        3           /* the PIN does not match; the card's failure count was raised */
#define ZUK_ERR_DISABLED         4           /* the library is switched off (registry Mode 0 or unsupported) */
#define ZUK_ERR_NO_CARD          5           /* no card answered on the reader */
#define ZUK_ERR_CARD_LOCKED      6           /* the card's PIN failure count has reached its limit, or the card is revoked on this machine */
#define ZUK_ERR_PIN_LOCKED_NOW   7           /* wrong PIN, and this failure locked the card */
#define ZUK_ERR_ACCOUNT_STORE    16          /* the credential store cannot be written or holds no usable pair */
#define ZUK_ERR_VERSION          48          /* AccountRequest.Version is not 0x10000 */
#define ZUK_ERR_ALREADY_OPEN     256         /* the card session or serial port is already open */
#define ZUK_ERR_NOT_OPEN         512         /* the card session or serial port is not open */
#define ZUK_ERR_PORT_CLOSE       768         /* the serial port cannot be closed */
#define ZUK_ERR_PORT_OPEN        1280        /* the serial port cannot be opened, or the reader is not found */
#define ZUK_ERR_LINK_CLOSE       1536        /* the reader reported a failure while the link was being closed */
#define ZUK_ERR_BUSY             1792        /* another call of the library is in progress in this process, or another process holds the reader past OpenWait */
#define ZUK_ERR_HANDLE           2048        /* the reader handle is not 1 */
#define ZUK_ERR_PORT_IO          2304        /* configuring, purging, writing or reading the port failed */
#define ZUK_ERR_READER_STATUS    2560        /* the reader answered with an error status */
#define ZUK_ERR_PARAM            0x10000     /* an argument is invalid */
#define ZUK_ERR_BUFFER           0x20000     /* a caller's buffer is too small for the data */
#define ZUK_ERR_SYSTEM           0x40000     /* a system facility failed, or the site keys stored on the machine cannot be used */
#define ZUK_ERR_CARD_IO          0x1000000   /* the reader's answer was malformed or a card command failed */
#define ZUK_ERR_UNEXPECTED       0x7F000000  /* an unexpected prompt result or unmapped internal status */

/* The library version that ZUKGetLibVersion reports: 3.1.0. */
#define ZUK_LIB_VERSION          0x00030100

/* AccountRequest.Version must hold this value. */
#define ZUK_ACCOUNT_REQUEST_VERSION 0x10000

/* Request modes of ZUKGetUserAccount. */
#define ZUK_ACCOUNT_MODE_INTERACTIVE        0x0
#define ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER 0x1010000 /* also keep the pair for a later pick-up */
#define ZUK_ACCOUNT_MODE_PICKUP             0x10000   /* return the pair a hand-over call left */

/* The host's request record of ZUKGetUserAccount.  Texts are ANSI byte strings; the out lengths are
 * the only end markers the library guarantees. */
typedef struct AccountRequest {
    uint32_t Version;        /* must be ZUK_ACCOUNT_REQUEST_VERSION */
    char    *AccountBuffer;  /* receives the user account text */
    int32_t  AccountLength;  /* in: size of AccountBuffer (above 0); out: account text length */
    char    *PasswordBuffer; /* receives the password text */
    int32_t  PasswordLength; /* in: size of PasswordBuffer (above 0); out: password length */
    int32_t  Reserved1;      /* not interpreted; set to 0 */
    int32_t  Reserved2;      /* not interpreted; set to 0 */
} AccountRequest;

/* Opens the reader: *handle becomes 1 with a reader, 0 when the library runs without one. */
int ZUKAPI ZUKOpen(int *handle);
/* Closes the reader opened by ZUKOpen (call it from the thread that opened it). */
int ZUKAPI ZUKClose(int handle);
/* *present becomes 1 when a card answers on the reader, 0 when none does. */
int ZUKAPI ZUKSenseCard(int handle, int *present);
/* Verifies a PIN against the card; the failure count lives on the card. */
int ZUKAPI ZUKVerifyPIN(int handle, int pinLength, const char *pin);
/* Read a text from the card: *length is the buffer size in, the text length out (no terminator). */
int ZUKAPI ZUKGetUserName(int handle, char *buffer, int *length);
int ZUKAPI ZUKGetUserOption(int handle, char *buffer, int *length);
int ZUKAPI ZUKGetAdminOption(int handle, char *buffer, int *length);
/* The largest user ID and password the library hands out (128 and 256). */
int ZUKAPI ZUKGetMaxLength(int *maxIdLength, int *maxPasswordLength);
/* The library mode: 256 (card) or 768 (card or typed), 0 otherwise.  The second argument is ignored. */
int ZUKAPI ZUKGetLibMode(int *mode, int reserved);
/* The library version, ZUK_LIB_VERSION. */
int ZUKAPI ZUKGetLibVersion(int *version);
/* Identifies the user: fills the request's account and password buffers (see the request modes).
 * window is the parent of the library's prompts and may be null. */
int ZUKAPI ZUKGetUserAccount(int handle, AccountRequest *request, int mode, void *window);

/* ---- Host-driven identification ----------------------------------------------------------------
 * For hosts that draw their own prompts (a PIN pad, a kiosk, a web front-end, a sign-in screen).
 * These four exports never show a window of the library's (no prompt, notice, retry or busy box,
 * no card-access window): each outcome is returned at once, a reader error included (no retry
 * behind a prompt).  One that meets another call of the process in progress waits for it without
 * a window for at most 5 s (then ZUK_ERR_BUSY); ZUKCancel ends that wait.  The exports above behave
 * as they always did when these are not used. */

/* The PIN tries the card in session has left before it locks (*triesLeft; 0 once locked) and the
 * limit it keeps (*tryLimit); read from the card without writing it.  A card that sets no limit
 * gives *tryLimit 0 and *triesLeft -1; a card that holds no PIN gives ZUK_ERR_NO_DATA. */
int ZUKAPI ZUKGetPinTries(int handle, int *triesLeft, int *tryLimit);
/* ZUKGetUserAccount's flow with the PIN the host collected (pinLength bytes; a card that holds no
 * PIN ignores it).  mode: the request modes above; the remembered-pair rules apply as there.  A
 * wrong PIN returns ZUK_ERR_PIN_WRONG, or ZUK_ERR_PIN_LOCKED_NOW when it locked the card, at once;
 * *triesLeft (may be null) receives the tries the card has left after the call (-1: unknown).
 * Where ZUKGetUserAccount would wait for a card or show its typed-credentials prompt (no card on
 * the reader, Mode 768 included, or no reader) it returns ZUK_ERR_NO_CARD. */
int ZUKAPI ZUKGetUserAccountWithPin(int handle, AccountRequest *request, int mode, const char *pin,
                                    int pinLength, int *triesLeft);
/* Waits until a card is laid on the reader (wantPresent 1) or taken away (0), or timeoutMs passes
 * (-1: without bound); *present is the state at the end (so a time-out returns ZUK_OK with
 * *present != wantPresent).  ZUK_CANCELLED when ZUKCancel ended the wait. */
int ZUKAPI ZUKWaitForCard(int handle, int wantPresent, int timeoutMs, int *present);
/* Ends the call of this process that waits (for a card, for the reader another process holds, for
 * another call, or between a reader's retries) with ZUK_CANCELLED, promptly, releasing what it
 * holds.  Any thread may call it at any time: it returns ZUK_OK and does nothing when no call
 * waits. */
int ZUKAPI ZUKCancel(void);

#ifdef __cplusplus
}
#endif

#endif /* ZUKCNTRL_H */
