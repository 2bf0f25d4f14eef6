#include "output/number_text.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

std::uint32_t form_weight_text(float weight, char* text) {
    char scratch[32];
    char* end = scratch;
    if (weight == 0.0f && !std::signbit(weight)) {
        end = std::copy_n("1e-46", 5, scratch);
    } else if (weight == std::numeric_limits<float>::infinity()) {
        end = std::copy_n("1e39", 4, scratch);
    } else {
        end = std::to_chars(scratch, scratch + sizeof scratch, weight).ptr;
    }
    *end++ = ' ';
    const std::uint32_t length = static_cast<std::uint32_t>(end - scratch);
    assert(length <= max_weight_bytes);
    std::memcpy(text, scratch, length);
    return length;
}
