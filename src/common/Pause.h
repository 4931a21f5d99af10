#pragma once

#include <functional>

namespace zelvar {

// Blocks the calling thread (a port's sender) for the given number of milliseconds, as
// every sending sequence does after a serial write. Tests may install a recorder in place
// of the real sleep to check the pauses without waiting; it runs on the sender's thread.
void pauseMs(int milliseconds);

using PauseHook = std::function<void(int milliseconds)>;
// Installs a replacement for the real sleep; an empty hook restores sleeping.
void setPauseHook(PauseHook hook);

} // namespace zelvar
