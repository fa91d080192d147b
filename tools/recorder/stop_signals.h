// The signals the recorder handles: SIGTERM and SIGINT end it cleanly (the
// lines received so far are written and flushed first); SIGPIPE and SIGXFSZ
// are ignored, so that a lost connection or a file size limit shows as a
// failed call instead of ending the recorder.
#pragma once

// Installs the handlers. Returns 0, or -1 when they cannot be installed.
int InstallStopSignals();
// The signal that asked the recorder to stop, or 0.
int StopSignal();
