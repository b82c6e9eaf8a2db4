// The call frame shared by every export: one call at a time per process, a retry prompt while the
// work fails, the reader's named mutex between processes, and the result-code helpers.
#ifndef ZUK_API_FRAME_H
#define ZUK_API_FRAME_H

#include <cstdint>

#include "ZUKcntrl.h"
#include "card/reader_mutex.h"
#include "platform/messagebox.h"

// Message ids of the frame's prompts (caption, text).
const std::uint32_t kMsgBusyCaption = 0x80001, kMsgBusyText = 0x80002;
const std::uint32_t kMsgRetryCaption = 0x90001, kMsgRetryText = 0x90002;
const std::uint32_t kMsgNoAccountCaption = 0x70001, kMsgNoAccountText = 0x70002;
const std::uint32_t kMsgLockedCaption = 0xA0001, kMsgLockedText = 0xA0002;
const std::uint32_t kMsgRevokedCaption = 0xB0001, kMsgRevokedText = 0xB0002;

// Message box styles in use.
const std::uint32_t kStyleRetryCancel = PLAT_MB_RETRYCANCEL | PLAT_MB_ICONEXCLAMATION;
const std::uint32_t kStyleNotice = PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION;

// Load and unload of the library: attach reads the settings and the message catalogue and
// returns false when the registry settings are missing or invalid.
bool LibraryAttach(void *moduleHandle);
// Reads the site keys stored on the machine (at load): the sessions and the credential store use
// them instead of the built-in keys; stored keys that cannot be used leave the library without
// keys (every open fails with the fault's status, no password is read or written), traced once.
void LoadSiteKeys();
void LibraryDetach();
void *GetModuleHandleOfLibrary();

int EnterApi();  // 0, or ZUK_ERR_BUSY when a call is already inside the frame
void LeaveApi();
bool ApiIsBusy();

// Waits for the reader's mutex (waitMs < 0: without bound): taken when this call took the
// process's hold on it; not taken when the process held it already or the mutex cannot be had;
// timed out when another thread or process still held it after waitMs; cancelled when ZUKCancel
// ended the wait first.
enum PortMutexWait { kPortMutexTaken, kPortMutexNotTaken, kPortMutexTimedOut, kPortMutexCancelled };
PortMutexWait AcquirePortMutexWithin(std::int32_t waitMs);
// The same without bound; true when taken.
bool AcquirePortMutex();
void ReleasePortMutex();
bool PortMutexHeld();

// Shows a message box with catalogue texts; a null parent makes it topmost and task-modal.
int ShowMessageBox(std::uint32_t captionId, std::uint32_t textId, std::uint32_t style,
                   void *parent);

// The frame's own prompts (busy, retry, no account, card locked) go through here.  With the INI's
// [Prompt] Unattended=1 no box is shown: the answer is Cancel (OK for a box without Cancel) at
// once, so a host without a person at the screen gets its code back.  A box that cannot be shown
// is answered the same way.
int AskFramePrompt(std::uint32_t captionId, std::uint32_t textId, std::uint32_t style,
                   void *parent);

// The reader errors: the results for which the prompts offer Retry and a host may try again (the
// rows of status/result_table.h marked so).
bool IsReaderError(int code);
// Whether trying again can end a failure otherwise: not ZUK_ERR_SYSTEM while the library holds no
// keys because the site keys stored on the machine cannot be used (every open fails the same way
// until an administrator installs the keys again or removes them), so no Retry is offered for it.
bool RetryCanHelp(int code);

// The export frame.  worker(context) is called until it returns 0 or -1, a failure Retry cannot
// mend (RetryCanHelp), or the user cancels the retry prompt (retryCaption/retryText).
// takesPortMutex: ZUKOpen's rules; releasesPortMutex: ZUKClose's.
struct ExportFrame {
    const char *name;
    std::uint32_t retryCaption;
    std::uint32_t retryText;
    bool takesPortMutex;
    bool releasesPortMutex;
};
int RunExport(const ExportFrame &frame, int (*worker)(void *context), void *context);

// The busy wait shared with the account export: 0 once this call owns the frame, ZUK_ERR_BUSY
// after the user cancelled the busy prompt, or ZUK_CANCELLED when ZUKCancel ended the wait (the
// frame is then untouched).  parent is the owner of the busy prompt (null: topmost and
// task-modal).  The calling export has opened its CallScope (api/cancel.h).
int WaitUntilFree(const char *exportName, void *parent = nullptr);

// The busy wait of the host-driven exports, without a window: 0 once this call owns the frame;
// ZUK_ERR_BUSY when the call in progress still holds it after kHostWaitForCallMs; ZUK_CANCELLED
// when ZUKCancel ended the wait.  It looks at the frame every kHostFramePollMs.
const std::uint32_t kHostWaitForCallMs = 5000;
const std::uint32_t kHostFramePollMs = 20;
int WaitForFrameWithoutWindow(const char *exportName);

// Traces ZUK_CANCELLED for the export and returns it.
int TraceCancelled(const char *exportName);

#endif
