// How long the program's own work may take in a test, by the build it runs
// in. Bounds on how long the UI thread may be held and on how long the
// program takes for work of its own (an animation, decoding a long line) are
// figures of the optimised build. The sanitizer build (AddressSanitizer and
// UndefinedBehaviorSanitizer, LUM_SANITIZE) checks every memory access and
// runs the same work 2 to 5 times as long, so there such a bound is taken
// kInstrumentedSlowdown times. Waits for a server or for another process are
// not figures of the program's speed and are not scaled.
#pragma once

namespace lumtest {

#ifdef LUM_SANITIZE
constexpr int kInstrumentedSlowdown = 5;
#else
constexpr int kInstrumentedSlowdown = 1;
#endif

// A bound of the optimised build, in milliseconds, for the build in use.
constexpr int ProgramMs(int ms)
{
    return ms * kInstrumentedSlowdown;
}

}  // namespace lumtest
