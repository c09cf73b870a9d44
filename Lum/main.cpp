// The client program: the application object runs everything.
#include "Lum/KivApp.h"

CKivApp theApp;

int main(int argc, char** argv)
{
    return AfxWinMain(argc, argv);
}
