// Printable name: how a file name is written inside a line of text, in the copies' comment
// line and in every message.
//
// A name may hold any byte but NUL; a newline in it would end the line early and let the
// rest pass for a line of its own (a header, a summary figure). Each such byte is written as
// "?" instead, so that the line stays one line.
#pragma once

#include <string>
#include <string_view>

// A byte that would end or bend a line: a control character or DEL.
inline bool is_control_byte(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

// The name as a line of text writes it, for a message that names more than one file.
inline std::string printable_name(std::string_view name) {
    std::string text(name);
    for (char& c : text) {
        if (is_control_byte(c)) c = '?';
    }
    return text;
}
