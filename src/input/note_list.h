// Note list: the messages of the parallel reader, held compactly until they can be printed.
//
// A chunk's messages cannot be printed before the symmetry check has found the ones that go
// between them, so every message of the file is held until then: as a note of a kind and a few
// numbers, 16 bytes whatever its text, in blocks of a fixed count, so that holding more never
// copies or doubles what is held already. A file of five million repeated neighbours holds its
// warnings in 80 MB. A note that finds no memory is not held, and the list says so: the
// reading then reports the shortage of memory for the messages, not some other one.
#pragma once

#include <cstdint>

#include "input/reader_messages.h"

// One message as held, with the entries kept before it (in a chunk, the chunk's own; once
// the chunk is placed, the file's), which puts it in file order among the others. vertex and
// neighbour are those of its text, except for weights_differ, whose neighbour field holds the
// index of the other end's entry within that end's list: the edge and both weights are read
// from the arrays. A list holds distinct neighbours, fewer than 2^31, so the index fits where
// a position past 32 bits would not. Positions take 56 bits: 2^56 entries would take 256 PiB.
struct Note {
    Note() = default;
    constexpr Note(std::int64_t position, int note_vertex, int note_neighbour, NoteKind note_kind)
        : kept_before(static_cast<std::uint64_t>(position)),
          kind(note_kind),
          vertex(note_vertex),
          neighbour(note_neighbour) {}
    std::uint64_t kept_before : 56 = 0;
    NoteKind kind : 8 = NoteKind{};
    int vertex = 0;
    int neighbour = 0;
    std::int64_t position() const {
        return static_cast<std::int64_t>(kept_before);
    }
};
static_assert(sizeof(Note) <= 16, "a held message takes at most 16 bytes");

// 64 KiB of notes: few enough allocations, and little room left unused at the end.
constexpr int notes_per_block = 4095;

struct NoteBlock {
    NoteBlock* next = nullptr;
    int count = 0;
    Note notes[notes_per_block];
};

struct NoteList {
    NoteBlock* first = nullptr;
    NoteBlock* last = nullptr;
    NoteBlock* spare = nullptr;  // an emptied block, used before a new one is asked for
    std::int64_t size = 0;
    bool has_failed = false;  // a note was not held for want of memory

    NoteList() = default;
    NoteList(const NoteList&) = delete;
    NoteList& operator=(const NoteList&) = delete;
    ~NoteList();
};

// Holds note after the others; when no memory is left for it, sets has_failed instead.
void add_note(NoteList& list, const Note& note) noexcept;

// Empties the list, keeping one block for the notes to come.
void clear_notes(NoteList& list) noexcept;

// Takes an emptied block as the list's spare, or frees it when the list has one.
void recycle_block(NoteList& list, NoteBlock* block) noexcept;

// Visits every note in order.
template <class Visit>
void for_each_note(const NoteList& list, Visit visit) {
    for (const NoteBlock* block = list.first; block != nullptr; block = block->next) {
        for (int i = 0; i < block->count; ++i)
            visit(block->notes[i]);
    }
}

// Visits every note in order and frees each block once visited, so that the notes never
// stand twice in memory while they are handed on. The list ends empty.
template <class Visit>
void drain_notes(NoteList& list, Visit visit) {
    NoteBlock* block = list.first;
    list.first = nullptr;
    list.last = nullptr;
    list.size = 0;
    while (block != nullptr) {
        for (int i = 0; i < block->count; ++i)
            visit(block->notes[i]);
        NoteBlock* next = block->next;
        delete block;
        block = next;
    }
}

// Moves every note of from after those of to, in order, each through keep(note), which may
// change it and gives false to drop it. from's blocks serve to as they empty, so the two
// lists together never take more than a block or two beyond their notes. from ends empty,
// its failure handed on.
template <class Keep>
void move_notes(NoteList& from, NoteList& to, Keep keep) noexcept {
    to.has_failed = to.has_failed || from.has_failed;
    NoteBlock* block = from.first;
    from.first = nullptr;
    from.last = nullptr;
    from.size = 0;
    from.has_failed = false;
    while (block != nullptr) {
        for (int i = 0; i < block->count; ++i) {
            Note note = block->notes[i];
            if (keep(note)) add_note(to, note);
        }
        NoteBlock* next = block->next;
        recycle_block(to, block);
        block = next;
    }
}
