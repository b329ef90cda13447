// An X server of this test program's own. Tests that map windows, read back
// their pixels or drive the pointer and keyboard with XTest must not share a
// display with other tests running at the same time: another program's
// window over ours, or its pointer moves, would decide the result.
#pragma once

#include <string>

namespace testsupport {

// Starts Xvfb on a free display once per process and points DISPLAY at it;
// later calls answer the same. False, with the reason, when no server could
// be started (Xvfb not installed, or it failed): callers skip then.
// VELTRANE_SHARED_DISPLAY=1 keeps the caller's DISPLAY instead (to watch a
// test on a real screen).
bool UsePrivateDisplay(std::string* why);

}  // namespace testsupport
