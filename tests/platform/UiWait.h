// Waiting in tests for what the UI thread has done, never for a fixed time.
#pragma once

#include "platform/uiapp.h"

#include <memory>

namespace uiwait {

// Runs the UI loop until the work queued for the UI thread before this call
// has run: posted messages, work queued by other threads and messages they
// sent (one queue, in the order they came). False when it has not run within
// `timeoutMs`.
inline bool QueuedWorkDone(int timeoutMs = 5000)
{
    auto ran = std::make_shared<bool>(false);
    lumui::QueueOnUiThread([ran] { *ran = true; });
    return lumui::PumpUntil([ran] { return *ran; }, timeoutMs);
}

}  // namespace uiwait
