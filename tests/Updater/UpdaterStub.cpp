// A small program that carries a product version and runs until it is asked
// to end: tests install copies of it as versioned files and as the client.
// With an argument, it writes that file when asked to end (SIGTERM), so a
// test can tell a gentle stop from a forced one.
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* g_marker = nullptr;

void onTerm(int)
{
    if (g_marker) {
        int fd = ::open(g_marker, O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) ::close(fd);
    }
    _exit(0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) g_marker = argv[1];
    std::signal(SIGTERM, onTerm);
    for (;;) ::pause();
}
