#include "platform/sound.h"

#include "platform/services.h"

#include <canberra.h>

#include <mutex>
#include <sys/stat.h>

namespace {

std::mutex g_soundLock;
ca_context* g_context = nullptr;
bool g_contextFailed = false;

// One context for the process, made on first use.
ca_context* Context()
{
    if (g_context || g_contextFailed) return g_context;
    if (ca_context_create(&g_context) != CA_SUCCESS) {
        g_context = nullptr;
        g_contextFailed = true;
        return nullptr;
    }
    ca_context_change_props(g_context, CA_PROP_APPLICATION_NAME, "Lum", nullptr);
    return g_context;
}

}  // namespace

BOOL PlaySound(const char* sound, void*, DWORD flags)
{
    if (!sound || !(flags & SND_FILENAME)) return FALSE;
    return lumui::GetServices()->PlaySoundFile(sound);
}

BOOL lumui::SystemServices::PlaySoundFile(const char* sound)
{
    std::lock_guard<std::mutex> lock(g_soundLock);
    struct stat st {};
    if (::stat(sound, &st) != 0 || !S_ISREG(st.st_mode)) return FALSE;
    ca_context* context = Context();
    if (!context) return FALSE;
    // Playing is asynchronous in the sound server either way; without
    // SND_ASYNC the caller does not wait for the end either.
    return ca_context_play(context, 0, CA_PROP_MEDIA_FILENAME, sound, CA_PROP_EVENT_DESCRIPTION, "message",
                           nullptr) == CA_SUCCESS;
}
