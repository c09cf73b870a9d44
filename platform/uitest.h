// What tests of the program ask the window layer about: the top-level windows
// on the screen and the popup menu that is open. Not for the program itself.
#pragma once

#include "platform/window.h"

#include <vector>

namespace lumui {
// The top-level windows (those without a parent) shown on the screen now,
// in the order they were made.
std::vector<HWND> VisibleTopLevelWindows();
// The windows inside `parent` (children, their children and so on), in the
// order they were made.
std::vector<HWND> DescendantWindows(HWND parent);
// The command ids the open popup menu offers, its submenus included, in
// order (separators, submenu entries and disabled items left out); empty
// when no menu is open.
std::vector<UINT> OpenPopupMenuCommands();
// Ends the open popup menu with `id` chosen, as a click on that item does
// (the item may lie in a submenu). False when the open menu does not offer it.
bool ChooseOpenMenuCommand(UINT id);
}  // namespace lumui
