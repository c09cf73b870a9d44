// A stand-in for the card module, put beside the program by tests as
// "Vistel.dll": its Show records the arguments it was called with.
#include "platform/CString.h"
#include "platform/msgdef.h"
#include "plugins/Vistel/VistelExports.h"
#include "tests/plugins/FakeVistelExports.h"

#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_calls = 0;
std::string g_last;
}  // namespace

// Declared from the headers, so the stand-in has the types callers use.
FAKE_EXPORT decltype(VistelExports::Show)::Function Show;
FAKE_EXPORT decltype(FakeVistelExports::ShowCalls)::Function ShowCalls;

FAKE_EXPORT int Show(int kind, int id, int ownUserId, CString account, HWND notify, CString verifyCode)
{
    ++g_calls;
    g_last = std::to_string(kind) + "|" + std::to_string(id) + "|" + std::to_string(ownUserId) + "|" +
             account.GetString() + "|" + (notify ? "notify" : "none") + "|" + verifyCode.GetString();
    return 0;
}

FAKE_EXPORT int ShowCalls(const char** last)
{
    if (last) *last = g_last.c_str();
    return g_calls;
}
