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

// Types `text` into the input that has the keyboard, replacing what it
// holds, and returns once the input holds exactly `text`: it is copied back
// out (ctrl+a, ctrl+c), which the input's owner does only after it has
// handled every key typed before. Characters that are on no key are typed by
// remapping a key for each, and a program can read such a key before the new
// mapping and lose the character; then the text is typed again, as a person
// would. False when it never landed; `shown` receives what the input held.
bool TypeLanded(const std::string& text, std::string* shown = nullptr);

}  // namespace e2e
