// Scripted message boxes: every box shown is recorded, a hook may act while it is "open" (as a
// window procedure could), and the answer comes from a script.  A box the script did not expect
// is answered with Cancel and counted, so a test can never hang on one.
#include <deque>
#include <mutex>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/messagebox.h"

namespace {

std::recursive_mutex g_lock;
std::deque<int> g_answers;
std::vector<FakeMessageBox> g_shown;
int g_unexpected = 0;
void (*g_hook)(const FakeMessageBox &, void *) = nullptr;
void *g_hookContext = nullptr;

}  // namespace

int PlatMessageBox(void *parent, const char *text, const char *caption, std::uint32_t style,
                   std::uint16_t language) {
    if (FakeCallFails(FAKE_CALL_MESSAGE_BOX)) return 0;
    FakeMessageBox box{parent, caption ? caption : "", text ? text : "", style, language};
    void (*hook)(const FakeMessageBox &, void *) = nullptr;
    void *context = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_shown.push_back(box);
        hook = g_hook;
        context = g_hookContext;
    }
    if (hook) hook(box, context);
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_answers.empty()) {
        ++g_unexpected;
        return PLAT_IDCANCEL;
    }
    int answer = g_answers.front();
    g_answers.pop_front();
    return answer;
}

void FakeMessageBoxReset() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_answers.clear();
    g_shown.clear();
    g_unexpected = 0;
    g_hook = nullptr;
    g_hookContext = nullptr;
}

void FakeMessageBoxScript(const std::vector<int> &answers) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_answers.assign(answers.begin(), answers.end());
}

void FakeMessageBoxSetHook(void (*hook)(const FakeMessageBox &, void *), void *context) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_hook = hook;
    g_hookContext = context;
}

const std::vector<FakeMessageBox> &FakeMessageBoxesShown() { return g_shown; }

int FakeMessageBoxUnexpected() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_unexpected;
}

// A scripted box is answered as soon as it is shown: there is never one to close.
void PlatMessageBoxClose() {}
