// The reader and card exports: each runs its worker inside the call frame with its retry prompt.
#include "api/frame.h"
#include "api/workers.h"

namespace {

// ZUKOpen takes the reader's mutex before anything else and gives it back when it fails;
// ZUKClose gives it back whatever its result.
const ExportFrame kOpenFrame = {"ZUKOpen", kMsgRetryCaption, kMsgRetryText, true, false};
const ExportFrame kCloseFrame = {"ZUKClose", kMsgRetryCaption, kMsgRetryText, false, true};
const ExportFrame kSenseFrame = {"ZUKSenseCard", kMsgRetryCaption, kMsgRetryText, false, false};
const ExportFrame kVerifyFrame = {"ZUKVerifyPIN", kMsgRetryCaption, kMsgRetryText, false, false};
const ExportFrame kNameFrame = {"ZUKGetUserName", kMsgRetryCaption, kMsgRetryText, false, false};
const ExportFrame kUserOptionFrame = {"ZUKGetUserOption", kMsgRetryCaption, kMsgRetryText, false,
                                      false};
const ExportFrame kAdminOptionFrame = {"ZUKGetAdminOption", kMsgRetryCaption, kMsgRetryText, false,
                                       false};
const ExportFrame kMaxLengthFrame = {"ZUKGetMaxLength", kMsgBusyCaption, kMsgBusyText, false,
                                     false};

struct HandleArgs {
    int handle;
    int *value;
};

struct TextArgs {
    int handle;
    char *buffer;
    int *length;
    int (*worker)(int handle, char *buffer, int *length);
};

struct VerifyArgs {
    int handle;
    int pinLength;
    const char *pin;
};

struct PairArgs {
    int *first;
    int *second;
};

int RunOpen(void *context) { return OpenWorker(static_cast<HandleArgs *>(context)->value); }

int RunClose(void *context) { return CloseWorker(static_cast<HandleArgs *>(context)->handle); }

int RunSense(void *context) {
    HandleArgs *args = static_cast<HandleArgs *>(context);
    return SenseCardWorker(args->handle, args->value);
}

int RunVerify(void *context) {
    VerifyArgs *args = static_cast<VerifyArgs *>(context);
    return VerifyPinWorker(args->handle, args->pinLength, args->pin);
}

int RunText(void *context) {
    TextArgs *args = static_cast<TextArgs *>(context);
    return args->worker(args->handle, args->buffer, args->length);
}

int RunMaxLength(void *context) {
    PairArgs *args = static_cast<PairArgs *>(context);
    return MaxLengthWorker(args->first, args->second);
}

}  // namespace

extern "C" int ZUKAPI ZUKOpen(int *handle) {
    HandleArgs args{0, handle};
    const int code = RunExport(kOpenFrame, RunOpen, &args);
    // Every failure leaves the handle 0, also one the frame decided before the worker ran (the
    // reader held elsewhere past OpenWait, the busy prompt cancelled).
    if (code != ZUK_OK && handle != nullptr) *handle = 0;
    return code;
}

extern "C" int ZUKAPI ZUKClose(int handle) {
    HandleArgs args{handle, nullptr};
    return RunExport(kCloseFrame, RunClose, &args);
}

extern "C" int ZUKAPI ZUKSenseCard(int handle, int *present) {
    HandleArgs args{handle, present};
    return RunExport(kSenseFrame, RunSense, &args);
}

extern "C" int ZUKAPI ZUKVerifyPIN(int handle, int pinLength, const char *pin) {
    VerifyArgs args{handle, pinLength, pin};
    return RunExport(kVerifyFrame, RunVerify, &args);
}

extern "C" int ZUKAPI ZUKGetUserName(int handle, char *buffer, int *length) {
    TextArgs args{handle, buffer, length, UserNameWorker};
    return RunExport(kNameFrame, RunText, &args);
}

extern "C" int ZUKAPI ZUKGetUserOption(int handle, char *buffer, int *length) {
    TextArgs args{handle, buffer, length, UserOptionWorker};
    return RunExport(kUserOptionFrame, RunText, &args);
}

extern "C" int ZUKAPI ZUKGetAdminOption(int handle, char *buffer, int *length) {
    TextArgs args{handle, buffer, length, AdminOptionWorker};
    return RunExport(kAdminOptionFrame, RunText, &args);
}

extern "C" int ZUKAPI ZUKGetMaxLength(int *maxIdLength, int *maxPasswordLength) {
    PairArgs args{maxIdLength, maxPasswordLength};
    return RunExport(kMaxLengthFrame, RunMaxLength, &args);
}
