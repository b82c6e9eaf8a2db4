// The exports of ZUKcntrl.dll as function-pointer types, for the host programs and tests that
// find them with GetProcAddress (zukcli, the benchmark host, the Wine tests).
#ifndef ZUK_TOOLS_EXPORTS_H
#define ZUK_TOOLS_EXPORTS_H

#include "ZUKcntrl.h"

typedef int(ZUKAPI *OpenFn)(int *);
typedef int(ZUKAPI *CloseFn)(int);
typedef int(ZUKAPI *SenseFn)(int, int *);
typedef int(ZUKAPI *VerifyPinFn)(int, int, const char *);
typedef int(ZUKAPI *ReadTextFn)(int, char *, int *);
typedef int(ZUKAPI *MaxLengthFn)(int *, int *);
typedef int(ZUKAPI *LibModeFn)(int *, int);
typedef int(ZUKAPI *LibVersionFn)(int *);
typedef int(ZUKAPI *UserAccountFn)(int, AccountRequest *, int, void *);
typedef int(ZUKAPI *PinTriesFn)(int, int *, int *);
typedef int(ZUKAPI *UserAccountWithPinFn)(int, AccountRequest *, int, const char *, int, int *);
typedef int(ZUKAPI *WaitForCardFn)(int, int, int, int *);
typedef int(ZUKAPI *CancelFn)(void);

#endif
