#include "driver/run_sequence.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer ends the process when an allocation fails. The run's blocks must come
// back empty instead, as they do in the plain build, so that the run prints its memory
// message and ends with status 1.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

int main(int argc, char** argv) {
    return run_graphrep(argc, argv);
}
