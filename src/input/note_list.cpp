#include "input/note_list.h"

#include <new>

namespace {

void delete_blocks(NoteBlock* block) noexcept {
    while (block != nullptr) {
        NoteBlock* next = block->next;
        delete block;
        block = next;
    }
}

}  // namespace

NoteList::~NoteList() {
    delete_blocks(first);
    delete spare;
}

void add_note(NoteList& list, const Note& note) noexcept {
    // Once one note is missing the others are of no use: the reading reports the shortage.
    if (list.has_failed) return;
    if (list.last == nullptr || list.last->count == notes_per_block) {
        NoteBlock* block = list.spare;
        list.spare = nullptr;
        if (block == nullptr) block = new (std::nothrow) NoteBlock;
        if (block == nullptr) {
            list.has_failed = true;
            return;
        }
        if (list.last == nullptr) {
            list.first = block;
        } else {
            list.last->next = block;
        }
        list.last = block;
    }
    list.last->notes[list.last->count++] = note;
    ++list.size;
}

void clear_notes(NoteList& list) noexcept {
    NoteBlock* kept = list.first;
    if (kept != nullptr) {
        delete_blocks(kept->next);
        kept->next = nullptr;
        kept->count = 0;
        if (list.spare == nullptr) {
            list.spare = kept;
        } else {
            delete kept;
        }
    }
    list.first = nullptr;
    list.last = nullptr;
    list.size = 0;
    list.has_failed = false;
}
