#include "Lum/session/SessionState.h"

SessionState::SessionState() : now_(std::make_shared<SessionSnapshot>()) {}

std::shared_ptr<const SessionSnapshot> SessionState::Now() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return now_;
}

void SessionState::Change(const std::function<void(SessionSnapshot&)>& change)
{
    std::lock_guard<std::mutex> lock(lock_);
    auto next = std::make_shared<SessionSnapshot>(*now_);
    change(*next);
    now_ = std::move(next);
}
