// Helpers every feature plug-in uses: the head-image probe of the web
// server, escaping of text for the places a page puts it, and the offering
// of a message to the plug-in's own windows.
#pragma once

#include "platform/CString.h"
#include "platform/msgdef.h"

// Whether the web server holds an own head image for a user (isGroup FALSE,
// "/upload/face/<id>.png") or a group ("/upload/group/<id>.png"). Only a 404
// answer means no; a server that cannot be reached counts as no image, so
// a page is never left half-built.
BOOL HasCustomHeadImage(BOOL isGroup, const CString& id);

// Text for HTML element content: & < > " ' become entities.
CString EscapeHtmlText(const CString& text);
// Text for an attribute value (single or double quoted): as above.
inline CString EscapeHtmlAttr(const CString& text)
{
    return EscapeHtmlText(text);
}
// A script string literal in double quotes; quotes, backslashes, line
// breaks and the characters < > & ' are written as escapes, so the literal
// is also safe inside an HTML attribute or a script element.
CString ScriptString(const CString& text);

// A number (100 to 1000100, as decimal text) put after the address of a
// head picture so that no cache answers for it.
CString CacheBustingNumber();

// Offers a message to the plug-in module's own windows, from the target
// window up through its parents; TRUE when one of them consumed it.
BOOL ModulePreTranslateMessage(MSG* msg);
