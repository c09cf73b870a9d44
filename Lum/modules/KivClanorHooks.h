// The group list's "edit group information" carried out by the group
// information editor Clanor, loaded into the list's own module, with the
// list as the window its results go to.
#pragma once

// Puts the Clanor command in front of the group list's plug-in hook (the
// hook already installed still gets every other command). Installing twice
// changes nothing.
void InstallClanorHooks();
