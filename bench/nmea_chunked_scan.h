// The memory limit of reading a log: the file read in 256 KB pieces into
// one reused buffer and its lines counted with memchr. Nothing that reads
// the whole file can be much faster.
#pragma once

#include <cstddef>

// Number of '\n' in the file, or -1 when it cannot be read.
long CountLinesInChunks(const char* path);
