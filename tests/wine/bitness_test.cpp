// The library comes in two bitnesses.  A host loading the one that does not match its own must get
// a plain load failure (ERROR_BAD_EXE_FORMAT), never a crash, and the request record must keep the
// layout that docs/api.md gives for this bitness (hosts written in other languages copy it).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>

#include "ZUKcntrl.h"

namespace {

TEST(Bitness, AccountRequestHasTheDocumentedLayout) {
#ifdef _WIN64
    const std::size_t expected[] = {0, 8, 16, 24, 32, 36, 40, 48};
#else
    const std::size_t expected[] = {0, 4, 8, 12, 16, 20, 24, 28};
#endif
    const std::size_t actual[] = {
        offsetof(AccountRequest, Version),        offsetof(AccountRequest, AccountBuffer),
        offsetof(AccountRequest, AccountLength),  offsetof(AccountRequest, PasswordBuffer),
        offsetof(AccountRequest, PasswordLength), offsetof(AccountRequest, Reserved1),
        offsetof(AccountRequest, Reserved2),      sizeof(AccountRequest)};
    for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "field " << i << " (the last is the size)";
    }
}

#ifdef ZUK_OTHER_BITNESS_DLL
TEST(Bitness, TheOtherBitnessLibraryFailsToLoadCleanly) {
    ASSERT_NE(GetFileAttributesA(ZUK_OTHER_BITNESS_DLL), INVALID_FILE_ATTRIBUTES)
        << ZUK_OTHER_BITNESS_DLL << " must be built (scripts/test.sh builds both trees)";
    SetLastError(0);
    HMODULE module = LoadLibraryA(ZUK_OTHER_BITNESS_DLL);
    const DWORD error = GetLastError();
    if (module != nullptr) FreeLibrary(module);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}
#endif

}  // namespace
