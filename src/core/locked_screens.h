// The X screens whose mode-switch hot-keys the program has locked, so that
// every way out gives back each of them, not only the default screen. Kept
// in plain flags that the termination-signal handler may read.
#pragma once

namespace cvx {

// A connection describes at most 255 screens (the count is one byte), so the
// record covers every screen a server can have.
constexpr int kMaxLockedScreens = 256;

// Records that the program locks (true) or gave back (false) the hot-keys
// of `screen`. Call it before sending the lock, so that a signal arriving in
// between still unlocks. False, and nothing recorded, for a screen number
// outside the record.
bool mark_screen_locked(int screen, bool locked) noexcept;

// Whether the hot-keys of `screen` are recorded as locked; false outside the
// record. Async-signal-safe.
bool screen_locked(int screen) noexcept;

}  // namespace cvx
