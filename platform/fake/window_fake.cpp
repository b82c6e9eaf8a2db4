// Windows of the native build: a test declares which handles exist.
#include <set>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/window.h"

namespace {
std::set<void *> g_windows;
}

void FakeWindowAdd(void *window) { g_windows.insert(window); }


void FakeWindowReset() { g_windows.clear(); }

bool PlatIsWindow(void *window) { return window != nullptr && g_windows.count(window) != 0; }
