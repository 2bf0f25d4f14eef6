// Line read: the standard bounded line read, in its form without the stream's lock where the
// C library has one.
//
// A stream that only one thread reads gains nothing from its lock, which costs a lock and
// an unlock per line; where the unlocked form is missing the standard call does the same.
#pragma once

#include <cstdio>

// Reads at most limit - 1 characters of stream into place, up to and including a newline,
// and ends them with a NUL. Returns place, or a null pointer when no character was read.
inline char* read_line(char* place, int limit, std::FILE* stream) {
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return fgets_unlocked(place, limit, stream);
#else
    return std::fgets(place, limit, stream);
#endif
}
