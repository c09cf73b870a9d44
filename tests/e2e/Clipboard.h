// The display's clipboard, read from outside as another program reads it.
//
// A web page handles typed keys in order, but a click on a button of the
// program may overtake keys the page has not handled yet. A test that needs
// typed text to have landed copies it (ctrl+a, ctrl+c: handled after every
// key typed before) and waits for the clipboard to hold exactly that text.
#pragma once

#include <string>

namespace e2e {

// The clipboard's text (UTF-8) as its owner gives it now; empty when there
// is no owner or it gives no text within `timeoutMs`.
std::string ClipboardText(int timeoutMs = 2000);

}  // namespace e2e
