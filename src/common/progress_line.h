// Progress line: where a long run stands, on the terminal of standard error.
//
// A timer thread of its own reads a few counters ten times a second and redraws one line in
// place: the phase, the bytes done and their total where it is known, the rate and the time
// left. Nothing shows before the run has gone on for a second, nor ever when the terminal is
// not one or the user asked for quiet. The stages only advance the counters, once per large
// block or piece they finish; the input's bytes are read from its file position, so the
// reader adds nothing. Whatever prints to the same terminal hides the line first (the message
// sink does this for every message) and shows it again afterwards; between phases the line is
// erased, and it is erased for good when the run ends, by a signal too. A terminal that
// declares itself dumb (TERM=dumb) gets no escape sequence: the line is taken back with a
// carriage return and blanks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "common/helper_threads.h"

enum class ProgressPhase { none, reading, writing };

// What a stage advances while the timer reads it; each counter is read on its own, so no lock.
struct ProgressCounters {
    std::atomic<std::int64_t> bytes_done{0};
    // The phase's bytes when known in advance; 0 when not.
    std::atomic<std::int64_t> bytes_total{0};
    // Parts of equal work finished and to do, when the bytes are not known in advance: the
    // share done estimates the total and the time left.
    std::atomic<std::int64_t> parts_done{0};
    std::atomic<std::int64_t> parts_total{0};
};

// A snapshot of a phase, as the line describes it.
struct ProgressFigures {
    ProgressPhase phase = ProgressPhase::none;
    double seconds = 0.0;          // since the phase began
    std::int64_t bytes_done = -1;  // -1: not known (a pipe read)
    std::int64_t bytes_total = 0;  // 0: not known
    std::int64_t parts_done = 0;   // with parts_total, the share done when bytes_total is 0
    std::int64_t parts_total = 0;
};

// The longest text of the line.
constexpr std::size_t progress_text_bytes = 160;

// Writes the line's text for figures at text (progress_text_bytes at most, terminated) and
// returns its length, e.g. "reading 12.3 of 80.0 MB, 45.6 MB/s, 0:02 left".
int format_progress(const ProgressFigures& figures, char* text);

// Erases the line, if one is drawn, for a signal that is about to end the process; no line is
// drawn afterwards. Safe in a signal handler: it only writes to the terminal. A draw under way
// on another thread is given a moment to finish first.
void take_back_progress_line();

class ProgressLine {
   public:
    ProgressLine() = default;
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();

    // Starts the timer when is_wanted and terminal is a terminal; otherwise, or when no
    // thread can be started, the line stays off and every other call does nothing.
    void start(int terminal, bool is_wanted);
    bool is_on() const {
        return timer_.count() > 0;
    }
    // The counters of the phase now under way, or null when the line is off: a stage handed
    // null counts nothing.
    ProgressCounters* counters() {
        return is_on() ? &counters_ : nullptr;
    }
    // Begins a phase with its counters at zero. When position_source is a descriptor (the
    // input), its file position is the bytes done, read through a duplicate kept until the
    // phase ends, so that the stage may close its own; bytes_total is 0 when not known.
    void begin_phase(ProgressPhase phase, int position_source, std::int64_t bytes_total);
    // Erases the line; nothing is drawn until the next phase begins.
    void end_phase();
    // Ends the timer and erases the line; the destructor does it too.
    void stop();

    // For whatever writes to the terminal: hide() erases the line and keeps the timer from
    // drawing it until show(). Each hide() is followed by one show() on the same thread.
    void hide();
    void show();

   private:
    void run_timer();
    void draw_locked();
    void erase_locked();
    void put_on_terminal(const char* line, std::size_t length, std::size_t text_length);
    void close_position_source_locked();

    HelperThreads timer_;  // the one timer thread while the line is on
    std::mutex mutex_;     // guards everything below but the counters
    std::condition_variable wake_;
    bool is_stopping_ = false;
    bool is_drawn_ = false;
    char drawn_[progress_text_bytes] = {};  // the text on the terminal
    std::size_t drawn_length_ = 0;
    int terminal_ = -1;
    bool is_dumb_ = false;  // only carriage returns and blanks
    int position_source_ = -1;
    ProgressPhase phase_ = ProgressPhase::none;
    std::chrono::steady_clock::time_point run_start_{};
    std::chrono::steady_clock::time_point phase_start_{};
    ProgressCounters counters_;
};
