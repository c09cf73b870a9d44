// The contact and group lists' commands carried out by the cards plug-in
// Vistel: view a contact's or a group's card, edit a friend's remark, edit
// the own card in a group. Each list keeps its own Vistel module.
#pragma once

// Puts the Vistel commands in front of the lists' plug-in hooks (the hooks
// already installed still get every other command). Installing twice
// changes nothing.
void InstallVistelHooks();
