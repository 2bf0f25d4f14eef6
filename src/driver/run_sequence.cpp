#include "driver/run_sequence.h"

int run_graphrep(int, const char* const*) {
    return 1;
}
