#include "common/weight_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

int form_weight_digits(float weight, char* text) {
    char* end = text;
    if (weight == 0.0f && !std::signbit(weight)) {
        end = std::copy_n("1e-46", 5, text);
    } else if (weight == std::numeric_limits<float>::infinity()) {
        end = std::copy_n("1e39", 4, text);
    } else {
        end = std::to_chars(text, text + weight_text_room, weight).ptr;
    }
    return static_cast<int>(end - text);
}
