#include "output/entry_text.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/weight_text.h"

std::uint32_t form_weight_text(float weight, char* text) {
    char scratch[weight_text_room + 1];
    char* end = scratch + form_weight_digits(weight, scratch);
    *end++ = ' ';
    const std::uint32_t length = static_cast<std::uint32_t>(end - scratch);
    assert(length <= max_weight_bytes);
    std::memcpy(text, scratch, length);
    return length;
}
