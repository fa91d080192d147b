// The recorder's messages: one line each on stderr, which the service
// manager keeps in the journal.
#pragma once

// Writes "tevo-recorder: " + the formatted message + a line feed.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
