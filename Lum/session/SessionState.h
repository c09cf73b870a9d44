// The login session as one value that workers can read without a window:
// the session key, the own user id and the user's folders.
//
// A snapshot never changes once published. The UI thread publishes a new one
// when the session changes (login, going offline, log-out); a worker takes
// the snapshot once and works with it to its end, so it never reads a field
// while the UI thread rewrites it, nor a key of one session with the folder of
// another.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct SessionSnapshot {
    std::string key;          // sent as `_key` with every service call; empty when offline
    int ownId = 0;            // the own user id; 0 when logged out
    std::string userFolder;   // "<program folder><own id>/" after login, else the program folder
};

class SessionState {
public:
    SessionState();

    // The snapshot in force now; it stays valid and unchanged as long as the
    // caller holds it.
    std::shared_ptr<const SessionSnapshot> Now() const;

    // Publishes a copy of the snapshot in force with `change` applied; the
    // changes of two callers are never mixed.
    void Change(const std::function<void(SessionSnapshot&)>& change);

private:
    mutable std::mutex lock_;
    std::shared_ptr<const SessionSnapshot> now_;
};
