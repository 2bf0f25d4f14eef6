// Entry text: the bytes of the vertex numbers, vertex weights and edge weights of an output
// line, each followed by its blank.
//
// Everything here runs once per entry of the output, so it is inline and makes no call on
// the usual path: vertex numbers come from a table of four-digit groups, and edge weights
// from a small table of the texts of recently written weights. The appenders store a few
// bytes past the end of what they write; the caller's buffer keeps number_text_slack bytes
// of room past the last entry for them.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

// The most bytes one entry takes: a renumbered vertex is below 2^62 (a neighbour plus copy
// times nvtxs, all ints), so at most a sign and 19 digits, then the blank.
constexpr std::int64_t max_entry_bytes = 21;

// The most bytes an edge weight's text takes with its blank: at most nine significant
// digits, a sign, a point and an exponent such as e-38.
constexpr std::int64_t max_weight_bytes = 16;

// The room past the last entry that the appenders may store into.
constexpr std::int64_t number_text_slack = 64;

namespace entry_text_detail {

constexpr std::array<char, 40000> make_digit_quads() {
    std::array<char, 40000> quads{};
    for (int i = 0; i < 10000; ++i) {
        quads[4 * i] = static_cast<char>('0' + i / 1000);
        quads[4 * i + 1] = static_cast<char>('0' + i / 100 % 10);
        quads[4 * i + 2] = static_cast<char>('0' + i / 10 % 10);
        quads[4 * i + 3] = static_cast<char>('0' + i % 10);
    }
    return quads;
}

// "0000", "0001", ..., "9999" back to back: a vertex number is at most three look-ups.
inline constexpr std::array<char, 40000> digit_quads = make_digit_quads();

// Writes value (below 10000) without leading zeros and returns the end. Four bytes are
// always stored, the last digits of the quad and what follows it in the table; the bytes
// past the end are overwritten by whatever comes next, within the room the caller made.
inline char* append_short(char* text, std::uint32_t value) {
    const int length = 1 + (value >= 10) + (value >= 100) + (value >= 1000);
    std::memcpy(text, &digit_quads[4 * value + 4 - length], 4);
    return text + length;
}

// Writes value (below 10000) as exactly four digits and returns the end.
inline char* append_quad(char* text, std::uint32_t value) {
    std::memcpy(text, &digit_quads[4 * value], 4);
    return text + 4;
}

// Writes value in decimal at text and returns the end: its leading group without zeros,
// then the groups of four digits below it.
inline char* append_digits(char* text, std::uint32_t value) {
    if (value < 10000) return append_short(text, value);
    if (value < 100000000) {
        const std::uint32_t high = value / 10000;
        text = append_short(text, high);
        return append_quad(text, value - high * 10000);
    }
    const std::uint32_t top = value / 100000000;
    const std::uint32_t rest = value - top * 100000000;
    const std::uint32_t middle = rest / 10000;
    text = append_short(text, top);
    text = append_quad(text, middle);
    return append_quad(text, rest - middle * 10000);
}

}  // namespace entry_text_detail

// Writes one entry, the number and its blank, at text and returns the end. Numbers up to
// 2^32 - 1 take the table; anything else (a -wide output past it, or a number never met in
// a checked graph) still comes out right.
inline char* append_entry(char* text, std::int64_t value) {
    if (value >= 0 && value <= std::int64_t{UINT32_MAX}) {
        text = entry_text_detail::append_digits(text, static_cast<std::uint32_t>(value));
    } else {
        text = std::to_chars(text, text + max_entry_bytes, value).ptr;
    }
    *text = ' ';
    return text + 1;
}

// Writes the entries from first to last (excluded), each plus offset, at text and returns the
// end. The caller has made room for max_entry_bytes per entry.
inline char* append_entries(char* text, const int* first, const int* last, std::int64_t offset) {
    for (const int* entry = first; entry != last; ++entry) {
        text = append_entry(text, *entry + offset);
    }
    return text;
}

// The text of one edge weight, its blank included.
struct WeightText {
    std::uint32_t bits = 0;
    std::uint32_t length = 0;  // 0: the slot holds no text yet
    char text[max_weight_bytes] = {};
};

// The texts of recently written weights, in slots chosen by the weight's bits. A mesh has few
// distinct weights, and forming the shortest text of a float costs far more than copying it.
// Each formatting thread has its own.
struct WeightTexts {
    static constexpr int slot_bits = 10;
    std::array<WeightText, 1 << slot_bits> slots{};
};

// The shortest text that the reader turns back into the same float, and its blank, at text
// (max_weight_bytes of room). A positive weight too small or too large for a float is stored
// as zero or infinity; "0" would read back as a bad weight and "inf" as no weight at all, so
// they get the shortest text that a float rounds the same way. Returns the length.
std::uint32_t form_weight_text(float weight, char* text);

// Writes weight and its blank at text and returns the end; max_weight_bytes are stored.
inline char* append_weight(char* text, float weight, WeightTexts& texts) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &weight, sizeof bits);
    WeightText& slot = texts.slots[(bits * 2654435761u) >> (32 - WeightTexts::slot_bits)];
    // Several weights share a slot: only the weight's own bits make a hit.
    if (slot.length == 0 || slot.bits != bits) {
        slot.bits = bits;
        slot.length = form_weight_text(weight, slot.text);
    }
    std::memcpy(text, slot.text, max_weight_bytes);
    return text + slot.length;
}

// Writes each entry plus offset with its weight, as append_entries does; the caller has made
// room for max_entry_bytes + max_weight_bytes per entry.
inline char* append_weighted_entries(char* text, const int* first, const int* last,
                                     const float* weight, std::int64_t offset, WeightTexts& texts) {
    for (const int* entry = first; entry != last; ++entry, ++weight) {
        text = append_entry(text, *entry + offset);
        text = append_weight(text, *weight, texts);
    }
    return text;
}
