// Part plan: which share of the output file one of several independent processes writes.
//
// An output written in parts is the same file, byte for byte, as the one a single run writes;
// part I of P holds copies floor(I * K / P) up to floor((I + 1) * K / P) - 1 and, for part 0,
// what comes before the first copy. The shares of all parts follow from I, P and K alone, so
// the processes agree without talking to each other. Nothing here opens or prints.
#pragma once

#include <cstdint>

// The copies one part writes: first_copy up to end_copy (excluded), after the front when
// holds_front.
struct PartPlan {
    int first_copy = 0;
    int end_copy = 0;
    bool holds_front = true;
};

// Reads text "I/P": two runs of decimal digits and the slash between them, nothing else, with
// 0 <= I < P <= 2147483647. Returns 1, leaving index and count as they were, when text is not
// that.
[[nodiscard]] int read_part_value(const char* text, int& index, int& count);

// The share of part index out of count in an output of times copies.
PartPlan plan_part(int index, int count, int times);
