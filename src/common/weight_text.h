// Weight text: the one text of an edge weight as stored, for the copies that carry weights
// and for the messages that name a weight.
//
// A weight is stored as a float. Its text is the shortest one that the reader turns back
// into the same float, so a file written with weights reads back as the same graph, and a
// message names a weight the way the copies would write it.
#pragma once

// Room that every weight text fits in: at most nine significant digits, a sign, a point and
// an exponent such as e-38.
constexpr int weight_text_room = 16;

// Writes the shortest text of weight at text (at least weight_text_room bytes, no NUL) and
// gives its length. A positive weight too small or too large for a float was stored as zero
// or infinity; "0" would read back as a bad weight and "inf" not at all, so they get the
// shortest texts that a float rounds the same way, 1e-46 and 1e39.
int form_weight_digits(float weight, char* text);
