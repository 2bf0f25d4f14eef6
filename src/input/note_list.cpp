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

void recycle_block(NoteList& list, NoteBlock* block) noexcept {
    block->next = nullptr;
    block->count = 0;
    if (list.spare == nullptr) {
        list.spare = block;
    } else {
        delete block;
    }
}

void clear_notes(NoteList& list) noexcept {
    if (list.first != nullptr) {
        delete_blocks(list.first->next);
        recycle_block(list, list.first);
    }
    list.first = nullptr;
    list.last = nullptr;
    list.size = 0;
    list.has_failed = false;
}
