// The updater program: the application object runs everything.
#include "Updater/UpdaterApp.h"

CUpdaterApp theApp;

int main(int argc, char** argv)
{
    return AfxWinMain(argc, argv);
}
