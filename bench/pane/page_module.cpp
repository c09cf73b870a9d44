// The module that holds the bare page of bench_pane (a program embeds one
// resource manifest, and the bench program embeds the client's).
#include "platform/resources.h"

HINSTANCE BenchPanePageModule()
{
    return AfxGetInstanceHandle();
}
