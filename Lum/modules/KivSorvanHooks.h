// The commands of the contact lists and the one-to-one chat windows that the
// search plug-in Sorvan carries out: "加为好友" (the lists' 9043, the chat
// window's 1022) and "邀请加入我的群" (the lists' 9037, the chat window's
// 1023). Each list and each chat window keeps its own Sorvan module.
#pragma once

// Puts the Sorvan commands in front of the lists' and the chat windows'
// plug-in hooks (the hooks already installed still get every other
// command). Installing twice changes nothing.
void InstallSorvanHooks();
