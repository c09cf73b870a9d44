// Text put into an HTML page by the client or a feature module: the five
// characters that could end a text or an attribute value, as entities.
#pragma once

#include "platform/CString.h"

// &, <, >, " and ' as entities; everything else unchanged.
CString EscapeHtml(const CString& text);
