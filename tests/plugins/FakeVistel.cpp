// A stand-in for the card module, put beside the program by tests as
// "Vistel.dll": its Show records the arguments it was called with.
#include "platform/CString.h"
#include "platform/msgdef.h"

#include <string>

namespace {
int g_calls = 0;
std::string g_last;
}  // namespace

extern "C" __attribute__((visibility("default"))) int Show(int kind, int id, int ownUserId, CString account,
                                                            HWND notify, CString verifyCode)
{
    ++g_calls;
    g_last = std::to_string(kind) + "|" + std::to_string(id) + "|" + std::to_string(ownUserId) + "|" +
             account.GetString() + "|" + (notify ? "notify" : "none") + "|" + verifyCode.GetString();
    return 0;
}

// How often Show ran, and its last arguments as "kind|id|own|account|notify|key".
extern "C" __attribute__((visibility("default"))) int ShowCalls(const char** last)
{
    if (last) *last = g_last.c_str();
    return g_calls;
}
