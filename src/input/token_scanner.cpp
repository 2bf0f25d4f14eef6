#include "input/token_scanner.h"

int next_int(TokenScanner&, std::FILE*, ScanStatus& status) {
    status = scan_end_of_input;
    return 0;
}

double next_real(TokenScanner&, std::FILE*, ScanStatus& status) {
    status = scan_end_of_input;
    return 0.0;
}

void skip_rest_of_line(std::FILE*) {}
