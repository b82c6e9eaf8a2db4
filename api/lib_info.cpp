// ZUKGetLibVersion and ZUKGetLibMode: the two queries that need no reader.
#include "api/frame.h"
#include "settings/config.h"
#include "settings/trace.h"
#include "zuk_version.h"

// The public header's version is written by hand (hosts compile against it); the build's own
// version, from the CMake project, must agree with it.
static_assert(
    ZUK_LIB_VERSION == ((ZUK_VERSION_MAJOR << 16) | (ZUK_VERSION_MINOR << 8) | ZUK_VERSION_PATCH),
    "include/ZUKcntrl.h ZUK_LIB_VERSION differs from the project version in CMakeLists.txt");

namespace {

struct VersionArgs {
    int *version;
};

int VersionWorker(void *context) {
    VersionArgs *args = static_cast<VersionArgs *>(context);
    int code = ZUK_OK;
    if (GetLibraryMode() == kLibraryModeOff) {
        code = ZUK_ERR_DISABLED;
    } else if (!args->version) {
        code = ZUK_ERR_PARAM;
    } else {
        *args->version = ZUK_LIB_VERSION;
    }
    Trace("ZUKGetLibVersion", "ZUK", static_cast<std::uint32_t>(code));
    return code;
}

struct ModeArgs {
    int *mode;
};

int ModeWorker(void *context) {
    ModeArgs *args = static_cast<ModeArgs *>(context);
    int code = ZUK_OK;
    if (!args->mode) {
        code = ZUK_ERR_PARAM;
    } else {
        // Only the two operating modes are reported; every other value, 0 included, reads as 0.
        std::uint32_t mode = GetLibraryMode();
        *args->mode = (mode == kLibraryModeCard || mode == kLibraryModeCardOrTyped)
                          ? static_cast<int>(mode)
                          : 0;
    }
    Trace("ZUKGetLibMode", "ZUK", static_cast<std::uint32_t>(code));
    return code;
}

const ExportFrame kVersionFrame = {"ZUKGetLibVersion", kMsgBusyCaption, kMsgBusyText, false, false};
const ExportFrame kModeFrame = {"ZUKGetLibMode", kMsgBusyCaption, kMsgBusyText, false, false};

}  // namespace

extern "C" int ZUKAPI ZUKGetLibVersion(int *version) {
    VersionArgs args{version};
    return RunExport(kVersionFrame, VersionWorker, &args);
}

extern "C" int ZUKAPI ZUKGetLibMode(int *mode, int /*reserved: accepted and not looked at*/) {
    ModeArgs args{mode};
    return RunExport(kModeFrame, ModeWorker, &args);
}
