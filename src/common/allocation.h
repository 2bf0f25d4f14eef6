// Allocation: the one place where a failed allocation becomes a result instead of an
// exception.
//
// No exception leaves a stage: each stage runs the steps that take memory through
// allocates_or_fails and turns a 1 into its own message, so that a memory shortage is reported
// once, by the stage that met it, and never as some other failure.
#pragma once

#include <new>
#include <stdexcept>

// Runs step (which may allocate) and gives 0, or 1 when the memory it asked for was not there:
// the allocator refused it, or the size asked for was past what a container can hold.
template <class Step>
[[nodiscard]] int allocates_or_fails(Step&& step) noexcept {
    try {
        step();
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    return 0;
}
