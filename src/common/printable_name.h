// Printable name: how a file name is written inside a line of text, in the copies' comment
// line and in every message.
//
// A name may hold any byte but NUL; a newline in it would end the line early and let the
// rest pass for a line of its own (a header, a summary figure). Each such byte is written as
// "?" instead, so that the line stays one line.
#pragma once

// A byte that would end or bend a line: a control character or DEL.
inline bool is_control_byte(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}
