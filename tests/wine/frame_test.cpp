// The call frame under Wine with real message boxes: the retry prompt, the busy prompt met by a
// second thread, and the reader's mutex between two processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ZUKcntrl.h"
#include "api/frame.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"
#include "tests/result_expect.h"

namespace {

typedef int(ZUKAPI *VersionFn)(int *);
typedef int(ZUKAPI *ModeFn)(int *, int);

// The catalogue text of an id as the shipped language file has it (for comparisons).
std::string CatalogueText(const std::string &file, const char *id) {
    std::string all = ReadWholeFile(InstallDir() + file);
    size_t at = all.find(std::string(id) + ",");
    if (at == std::string::npos) return "";
    size_t start = at + 9;
    size_t end = all.find_first_of(",\r\n", start);
    std::string text = all.substr(start, end - start);
    for (size_t p; (p = text.find("\\n")) != std::string::npos;) text.replace(p, 2, "\n");
    return text;
}

class FrameUi : public ::testing::Test {
protected:
    void SetUp() override {
        WriteMachineConfig();
        WriteIni("[Log]\r\nMode=3\r\n");
        DeleteFileA((InstallDir() + "ZUKcntrl.log").c_str());
    }
    void TearDown() override {
        CloseAllWindows();
        WriteIni("");
    }
};

TEST_F(FrameUi, RetryPromptRepeatsTheWorkerUntilCancel) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    VersionFn version = lib.Get<VersionFn>("ZUKGetLibVersion");
    CallThread call;
    StartCall(&call, [&] { return version(nullptr); });
    std::vector<HWND> seen;
    for (int i = 0; i < 3; ++i) {
        SeenWindow box;
        ASSERT_TRUE(WaitForWindow(&box, 10000, call.id, seen)) << "prompt " << i;
        EXPECT_EQ(box.caption, CatalogueText("ZukLang_0409.txt", "00080001"));
        EXPECT_EQ(box.text, CatalogueText("ZukLang_0409.txt", "00080002"));
        seen.push_back(box.hwnd);
        PressButton(box.hwnd, i < 2 ? IDRETRY : IDCANCEL);
        ASSERT_TRUE(WaitGone(box.hwnd, 5000));
    }
    ASSERT_TRUE(FinishCall(&call, 10000));
    EXPECT_RESULT(call.result, ZUK_ERR_PARAM);
    std::string log = ReadWholeFile(InstallDir() + "ZUKcntrl.log");
    size_t lines = 0;
    for (size_t p = log.find("ZUKGetLibVersion,ZUK,0x00010000\r\n"); p != std::string::npos;
         p = log.find("ZUKGetLibVersion,ZUK,0x00010000\r\n", p + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 3u) << "one trace line per attempt, CR LF ended:\n" << log;
}

TEST_F(FrameUi, SecondThreadMeetsTheBusyPrompt) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    VersionFn version = lib.Get<VersionFn>("ZUKGetLibVersion");
    ModeFn mode = lib.Get<ModeFn>("ZUKGetLibMode");

    CallThread first;
    StartCall(&first, [&] { return version(nullptr); });
    SeenWindow retry;
    ASSERT_TRUE(WaitForWindow(&retry, 10000, first.id));

    int m = 0;
    CallThread second;
    StartCall(&second, [&] { return mode(&m, 0); });
    SeenWindow busy;
    ASSERT_TRUE(WaitForWindow(&busy, 10000, second.id));
    EXPECT_EQ(busy.caption, CatalogueText("ZukLang_0409.txt", "00080001"));
    PressButton(busy.hwnd, IDRETRY);  // still busy: the prompt comes again
    ASSERT_TRUE(WaitGone(busy.hwnd, 5000));
    SeenWindow busyAgain;
    ASSERT_TRUE(WaitForWindow(&busyAgain, 10000, second.id, {busy.hwnd}));
    PressButton(busyAgain.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&second, 10000));
    EXPECT_RESULT(second.result, ZUK_ERR_BUSY);

    // The first call is unharmed: it still owns the frame and ends normally.
    PressButton(retry.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&first, 10000));
    EXPECT_RESULT(first.result, ZUK_ERR_PARAM);
    EXPECT_RESULT(mode(&m, 0), ZUK_OK) << "the frame is free again";
    EXPECT_EQ(m, 256);
}

TEST(PortMutex, SecondProcessWaitsForTheFirst) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "zuk-test-child-acquired");
    ASSERT_TRUE(AcquirePortMutex());
    HANDLE child = StartChild("--mutex-child zuk-test-child-acquired 0 release");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 1500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the child took the mutex while this process held it";
    ReleasePortMutex();
    EXPECT_EQ(WaitForSingleObject(event, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(child, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 99;
    GetExitCodeProcess(child, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(child);
    CloseHandle(event);
}

TEST(PortMutex, AbandonedByAnEndedProcessIsTakenOver) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "zuk-test-child-abandons");
    HANDLE child = StartChild("--mutex-child zuk-test-child-abandons 300 abandon");
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(event, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(AcquirePortMutex()) << "the mutex of an ended owner is this process's now";
    EXPECT_TRUE(PortMutexHeld());
    ReleasePortMutex();
    WaitForSingleObject(child, 20000);
    CloseHandle(child);
    CloseHandle(event);
}

// Runs only in the process that ctest starts with a Japanese locale.
TEST(JapaneseLocale, PromptsShowTheJapaneseCatalogue) {
    if (!std::getenv("ZUK_EXPECT_JAPANESE")) GTEST_SKIP() << "needs LC_ALL=ja_JP.UTF-8";
    ASSERT_EQ(GetSystemDefaultLCID(), 0x0411u);
    WriteMachineConfig();
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    CallThread call;
    VersionFn version = lib.Get<VersionFn>("ZUKGetLibVersion");
    StartCall(&call, [&] { return version(nullptr); });
    SeenWindow box;
    ASSERT_TRUE(WaitForWindow(&box, 10000, call.id));
    EXPECT_EQ(box.caption, CatalogueText("ZukLang_0411.txt", "00080001"));
    EXPECT_EQ(box.text, CatalogueText("ZukLang_0411.txt", "00080002"));
    EXPECT_FALSE(box.caption.empty());
    PressButton(box.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&call, 10000));
    EXPECT_RESULT(call.result, ZUK_ERR_PARAM);
}

}  // namespace

namespace {

// Runs only in the process that ctest starts with a Mexican Spanish locale (0x080A): an index key
// written in upper case never matches, so the English line is used.
TEST(SpanishLocale, UpperCaseIndexKeyFallsBackToEnglish) {
    if (!std::getenv("ZUK_EXPECT_SPANISH")) GTEST_SKIP() << "needs LC_ALL=es_MX.UTF-8";
    ASSERT_EQ(GetSystemDefaultLCID(), 0x080Au);
    std::string dir = InstallDir() + "es\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CopyFileA((InstallDir() + "ZukLang_0409.txt").c_str(), (dir + "ZukLang_0409.txt").c_str(),
              FALSE);
    {
        std::ofstream index(dir + "ZukLang.csv", std::ios::binary | std::ios::trunc);
        index << "080A,ZukLang_es.txt\r\n0409,ZukLang_0409.txt\r\n";
        std::ofstream es(dir + "ZukLang_es.txt", std::ios::binary | std::ios::trunc);
        es << "00080001,Biblioteca\r\n";
    }
    WriteMachineConfig();
    SetMachineString("InstallPath", dir);
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    VersionFn version = lib.Get<VersionFn>("ZUKGetLibVersion");
    CallThread call;
    StartCall(&call, [&] { return version(nullptr); });
    SeenWindow box;
    ASSERT_TRUE(WaitForWindow(&box, 10000, call.id));
    EXPECT_EQ(box.caption, CatalogueText("ZukLang_0409.txt", "00080001"));
    PressButton(box.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&call, 10000));
    WriteMachineConfig();
}

}  // namespace
