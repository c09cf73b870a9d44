// Head pictures of users and groups from the web server, loaded in the
// background for the program and every module it loads.
//
// One loader thread runs a small fixed number of transfers at a time
// (libcurl's multi interface) from a queue; no thread is started per
// picture. A head is fetched at most once per session and kept: asking again
// for a head that is known or on its way starts nothing. Heads that arrive are
// handed to the UI thread in batches, and each listener is called once per
// batch, so a list repaints once for many pictures. Until a head has arrived
// the caller shows its fallback picture.
//
// Addresses: the web server of Lum.ini, "/upload/face/<id>.png" for a user
// and "/upload/group/<id>.png" for a group, with the local time "%H%M%S" as
// the cache-breaking value "?r=".
//
// Everything here but the two counts at the end is called on the UI thread.
#pragma once

#include "platform/gdiplus.h"

#include <functional>
#include <vector>

namespace lumheads {

// One head as the web server answered it.
struct Head {
    bool group = false;  // a group's head, else a user's
    int id = 0;
    // The HTTP status of the answer; 0 when no answer came (the server could
    // not be reached, stalled, or the loader was stopped first).
    int status = 0;
    // The picture scaled to 40 x 40 (32-bit ARGB) when the answer was one;
    // null otherwise. Owned by the loader and kept for the session.
    Gdiplus::Bitmap* image = nullptr;
};

// Whether the web server holds a head of its own for the entry: any answer
// but 404 (a page's probe of the picture; the picture itself may still be
// unreadable).
inline bool HasOwnHead(const Head& head)
{
    return head.status != 0 && head.status != 404;
}

// Called on the UI thread with the heads of one batch (valid during the call).
using Listener = std::function<void(const std::vector<const Head*>& batch)>;

// Asks for a head. Nothing happens when it is known or on its way in this
// session, unless `again` is true (the own head at a login), which fetches
// it anew once the fetch under way, if any, is done. Ids below 1 are ignored.
void RequestHead(bool group, int id, bool again = false);
// The head as known in this session; null while it is not known (never
// asked for, or on its way).
const Head* FindHead(bool group, int id);

// Listeners of every batch; the cookie removes one. A module removes its
// listeners before it is unloaded.
int AddHeadListener(Listener listener);
void RemoveHeadListener(int cookie);

// A new session: the heads known so far are forgotten (fetches under way go
// on and are kept when they arrive).
void ForgetHeads();
// Ends every transfer under way and stops the loader thread without waiting
// for any server; heads that had arrived are first handed to the listeners.
// Then the session's heads are forgotten. A later request starts the loader
// again.
void StopHeadLoader();
// Heads asked for and not yet handed to the UI thread (any thread).
int PendingHeads();
// Of those, the heads that have come and wait for the UI thread (any thread).
int ArrivedHeads();

}  // namespace lumheads
