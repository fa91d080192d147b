// One recorder per device root: a lock held on a file in the root for as
// long as the recorder runs. The system drops the lock when the process
// ends, however it ends, so a crashed recorder never blocks the next one.
#pragma once

#include <string>

// The lock file's name in the device root.
constexpr char INSTANCE_LOCK_NAME[] = ".tevo-recorder.lock";

// Takes the lock of the device root `hostRoot`: the lock's descriptor, or
// -1 with the reason in *error (another recorder holds it, or the root is
// missing or cannot be written). Release with ReleaseInstanceLock.
int AcquireInstanceLock(const std::string& hostRoot, std::string* error);
void ReleaseInstanceLock(int lock);
