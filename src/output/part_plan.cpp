#include "output/part_plan.h"

#include <limits>

#include "common/text_numbers.h"

namespace {

// Reads a run of decimal digits at text into value, up to the 32-bit limit, and returns the
// end; null when there is no digit or the digits pass the limit.
const char* read_digits(const char* text, std::int64_t& value) {
    value = 0;
    const char* position = text;
    for (; is_digit(*position); ++position) {
        value = value * 10 + (*position - '0');
        if (value > std::numeric_limits<int>::max()) return nullptr;
    }
    return position == text ? nullptr : position;
}

}  // namespace

int read_part_value(const char* text, int& index, int& count) {
    std::int64_t part_index = 0;
    std::int64_t part_count = 0;
    const char* position = read_digits(text, part_index);
    if (position == nullptr || *position != '/') return 1;
    position = read_digits(position + 1, part_count);
    if (position == nullptr || *position != '\0' || part_index >= part_count) return 1;
    index = static_cast<int>(part_index);
    count = static_cast<int>(part_count);
    return 0;
}

PartPlan plan_part(int index, int count, int times) {
    PartPlan plan;
    plan.first_copy = static_cast<int>(std::int64_t{index} * times / count);
    plan.end_copy = static_cast<int>((std::int64_t{index} + 1) * times / count);
    plan.holds_front = index == 0;
    return plan;
}
