// Loaded ahead of the C library into the program under test (LD_PRELOAD), it makes every
// request for an unnamed file fail as a file system without them does, so that the tests
// run the named temporary file and its signal handlers on any machine.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

extern "C" int openat(int directory, const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    using OpenAt = int (*)(int, const char*, int, ...);
    static OpenAt next_openat = reinterpret_cast<OpenAt>(dlsym(RTLD_NEXT, "openat"));
    return next_openat(directory, path, flags, mode);
}
