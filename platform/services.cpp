#include "platform/services.h"

#include <mutex>

// The system's services are defined beside what they use: the message box
// in uiapp.cpp, sounds in sound.cpp, the dialogs in commdlg.cpp, opening
// documents in shell.cpp, starting programs in process.cpp, the program
// folder in files.cpp.

namespace lumui {

namespace {

struct Installed {
    std::mutex lock;
    const std::shared_ptr<Services> system = std::make_shared<SystemServices>();
    std::shared_ptr<Services> current = system;
};

// Made on first use and never destroyed: threads still running while the
// process ends (reapers, workers) may ask for the services.
Installed& installed()
{
    static Installed* slot = new Installed;
    return *slot;
}

}  // namespace

DWORD SystemServices::ExitWaitMs()
{
    return 3000;
}

std::shared_ptr<Services> GetServices()
{
    Installed& slot = installed();
    std::lock_guard<std::mutex> guard(slot.lock);
    return slot.current;
}

std::shared_ptr<Services> InstallServices(std::shared_ptr<Services> services)
{
    Installed& slot = installed();
    std::lock_guard<std::mutex> guard(slot.lock);
    std::shared_ptr<Services> before = std::move(slot.current);
    slot.current = services ? std::move(services) : slot.system;
    return before;
}

}  // namespace lumui
