#include "tests/platform/UiProbe.h"

BEGIN_MESSAGE_MAP(UiProbe, CWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()
