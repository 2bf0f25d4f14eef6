#include "driver/join_list.h"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <string_view>
#include <system_error>

namespace {

// A vertex number of plain decimal digits from 1 to nvtxs; gives 1 for anything else.
[[nodiscard]] int read_vertex(std::string_view digits, int nvtxs, int& vertex) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return 1;
    }
    // Digits past the 32-bit range are out of range like any number above nvtxs.
    const std::from_chars_result result =
        std::from_chars(digits.data(), digits.data() + digits.size(), vertex);
    if (result.ec != std::errc{}) return 1;
    return vertex >= 1 && vertex <= nvtxs ? 0 : 1;
}

[[nodiscard]] int read_pair(std::string_view item, int nvtxs, JoinPair& pair) {
    const std::string_view::size_type colon = item.find(':');
    if (colon == std::string_view::npos) {
        if (read_vertex(item, nvtxs, pair.from) != 0) return 1;
        pair.to = pair.from;
        return 0;
    }
    if (read_vertex(item.substr(0, colon), nvtxs, pair.from) != 0) return 1;
    return read_vertex(item.substr(colon + 1), nvtxs, pair.to);
}

// The position of the first pair that repeats an earlier one, or the count of pairs.
std::size_t first_repeat(const std::vector<JoinPair>& pairs) {
    std::vector<std::size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // Equal pairs keep their order, so every one after the first of its kind is a repeat.
    std::stable_sort(order.begin(), order.end(),
                     [&pairs](std::size_t a, std::size_t b) { return pairs[a] < pairs[b]; });
    std::size_t first = pairs.size();
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (pairs[order[i - 1]] == pairs[order[i]]) first = std::min(first, order[i]);
    }
    return first;
}

}  // namespace

int take_join_pairs(const std::vector<std::string>& items, int nvtxs, std::vector<JoinPair>& pairs,
                    MessageSink& messages) {
    pairs.clear();
    // The items are read up to the first invalid one; a repeat before it is the first fault.
    std::size_t invalid = 0;
    for (; invalid < items.size(); ++invalid) {
        JoinPair pair{0, 0};
        if (read_pair(items[invalid], nvtxs, pair) != 0) break;
        pairs.push_back(pair);
    }
    const std::size_t repeat = first_repeat(pairs);
    if (repeat < pairs.size()) {
        messages.error("Error. Join %d:%d is given twice.\n", pairs[repeat].from, pairs[repeat].to);
        return 1;
    }
    if (invalid < items.size()) {
        messages.error("Error. Invalid join %s: vertices run from 1 to %d.\n",
                       items[invalid].c_str(), nvtxs);
        return 1;
    }
    return 0;
}
