#include "common/progress_line.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The line is redrawn at most this often.
constexpr std::chrono::milliseconds redraw_interval{100};

// A run shorter than this shows no line at all.
constexpr std::chrono::seconds quiet_start{1};

// Before this much of a phase has passed, a rate would say more about the clock than the run.
constexpr double shortest_rate_seconds = 0.1;

constexpr double bytes_per_megabyte = 1e6;

// Clears from the cursor to the end of the line.
constexpr char clear_to_end[] = "\x1b[K";
constexpr std::size_t clear_to_end_bytes = sizeof clear_to_end - 1;

// The most bytes written at once: a carriage return, the text or blanks over it, and blanks
// over the rest of a longer text, a clearing sequence or a closing carriage return.
constexpr std::size_t terminal_bytes = 2 * progress_text_bytes + 2;

// A signal handler waits this many times this long for a draw under way on another thread:
// a write to a terminal ends at once, unless the user stopped its output (Ctrl-S).
constexpr int draw_waits = 100;
constexpr long draw_wait_nanoseconds = 1000000;

// What a signal handler needs to take the line back, on whatever thread it runs: whether a
// line is drawn, and the bytes that erase it. Only the line's own writes change them, holding
// every signal back meanwhile, and the handler, which ends the drawing for good.
enum TerminalState : int { nothing_drawn, line_drawn, line_changing, run_ended };
std::atomic<int> terminal_state{nothing_drawn};
static_assert(std::atomic<int>::is_always_lock_free);
int signal_terminal = -1;
char signal_erase[terminal_bytes];
std::size_t signal_erase_length = 0;

// Forms at line the bytes that erase a text of text_length columns; returns their length.
std::size_t form_erase(bool is_dumb, std::size_t text_length, char* line) {
    line[0] = '\r';
    if (!is_dumb) {
        std::memcpy(line + 1, clear_to_end, clear_to_end_bytes);
        return 1 + clear_to_end_bytes;
    }
    std::memset(line + 1, ' ', text_length);
    line[1 + text_length] = '\r';
    return text_length + 2;
}

// Writes all of text to descriptor; a terminal that fails is left alone, since the line is
// only ever a courtesy.
void write_all(int descriptor, const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

// Appends seconds as M:SS, or H:MM:SS from an hour on, and returns the new length.
int append_clock(char* text, int length, std::int64_t seconds) {
    const int room = static_cast<int>(progress_text_bytes) - length;
    const long long hours = seconds / 3600;
    const long long minutes = seconds / 60 % 60;
    const long long rest = seconds % 60;
    const int added = hours > 0 ? std::snprintf(text + length, static_cast<std::size_t>(room),
                                                "%lld:%02lld:%02lld", hours, minutes, rest)
                                : std::snprintf(text + length, static_cast<std::size_t>(room),
                                                "%lld:%02lld", minutes, rest);
    return std::min(length + std::max(added, 0), static_cast<int>(progress_text_bytes) - 1);
}

// Appends formatted text and returns the new length, which never passes the buffer.
[[gnu::format(printf, 3, 4)]] int append(char* text, int length, const char* format, ...) {
    const int room = static_cast<int>(progress_text_bytes) - length;
    std::va_list arguments;
    va_start(arguments, format);
    const int added =
        std::vsnprintf(text + length, static_cast<std::size_t>(room), format, arguments);
    va_end(arguments);
    return std::min(length + std::max(added, 0), static_cast<int>(progress_text_bytes) - 1);
}

}  // namespace

int format_progress(const ProgressFigures& figures, char* text) {
    text[0] = '\0';
    int length =
        append(text, 0, "%s", figures.phase == ProgressPhase::reading ? "reading" : "writing");
    if (figures.bytes_done < 0) {
        // Only the time is known: a pipe has no position to read.
        length = append(text, length, ", ");
        length = append_clock(text, length, static_cast<std::int64_t>(figures.seconds));
        return append(text, length, " so far");
    }
    const double done = static_cast<double>(figures.bytes_done);
    double share = 0.0;
    double total = 0.0;
    if (figures.bytes_total > 0) {
        total = static_cast<double>(figures.bytes_total);
        share = done / total;
    } else if (figures.parts_total > 0 && figures.parts_done > 0) {
        share = static_cast<double>(figures.parts_done) / static_cast<double>(figures.parts_total);
        total = done / share;
    }
    share = std::min(share, 1.0);
    if (total > 0.0) {
        length = append(text, length, " %.1f of %s%.1f MB", done / bytes_per_megabyte,
                        figures.bytes_total > 0 ? "" : "about ", total / bytes_per_megabyte);
    } else {
        length = append(text, length, " %.1f MB", done / bytes_per_megabyte);
    }
    if (figures.seconds >= shortest_rate_seconds) {
        length = append(text, length, ", %.1f MB/s", done / bytes_per_megabyte / figures.seconds);
    }
    if (share > 0.0) {
        const double left = figures.seconds * (1.0 - share) / share;
        length = append(text, length, ", ");
        length = append_clock(text, length, static_cast<std::int64_t>(std::ceil(left)));
        length = append(text, length, " left");
    }
    return length;
}

ProgressLine::~ProgressLine() {
    stop();
}

void take_back_progress_line() {
    int state = terminal_state.load();
    for (int wait = 0;; ++wait) {
        if (state == line_changing && wait < draw_waits) {
            const timespec pause{0, draw_wait_nanoseconds};
            nanosleep(&pause, nullptr);
            state = terminal_state.load();
        } else if (terminal_state.compare_exchange_strong(state, run_ended)) {
            break;
        }
    }
    if (state == line_drawn || state == line_changing) {
        write_all(signal_terminal, signal_erase, signal_erase_length);
    }
}

void ProgressLine::start(int terminal, bool is_wanted) {
    if (!is_wanted || is_on() || isatty(terminal) != 1) return;
    terminal_ = terminal;
    const char* terminal_type = std::getenv("TERM");
    is_dumb_ = terminal_type != nullptr && std::strcmp(terminal_type, "dumb") == 0;
    terminal_state.store(nothing_drawn);
    run_start_ = std::chrono::steady_clock::now();
    // Without a thread the run goes on without its line.
    timer_.make_room(1);
    (void)timer_.start([this] { run_timer(); });
}

void ProgressLine::begin_phase(ProgressPhase phase, int position_source, std::int64_t bytes_total) {
    if (!is_on()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    close_position_source_locked();
    if (position_source >= 0) position_source_ = dup(position_source);
    counters_.bytes_done.store(0, std::memory_order_relaxed);
    counters_.bytes_total.store(bytes_total, std::memory_order_relaxed);
    counters_.parts_done.store(0, std::memory_order_relaxed);
    counters_.parts_total.store(0, std::memory_order_relaxed);
    phase_ = phase;
    phase_start_ = std::chrono::steady_clock::now();
}

void ProgressLine::end_phase() {
    if (!is_on()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    erase_locked();
    close_position_source_locked();
    phase_ = ProgressPhase::none;
}

void ProgressLine::stop() {
    if (!is_on()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        is_stopping_ = true;
        erase_locked();
        close_position_source_locked();
        phase_ = ProgressPhase::none;
    }
    wake_.notify_all();
    timer_.join();
}

void ProgressLine::hide() {
    if (!is_on()) return;
    mutex_.lock();
    erase_locked();
}

void ProgressLine::show() {
    if (!is_on()) return;
    mutex_.unlock();
}

void ProgressLine::run_timer() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, redraw_interval, [this] { return is_stopping_; })) {
        const auto now = std::chrono::steady_clock::now();
        if (phase_ != ProgressPhase::none && now - run_start_ >= quiet_start) draw_locked();
    }
}

void ProgressLine::draw_locked() {
    ProgressFigures figures;
    figures.phase = phase_;
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - phase_start_).count();
    figures.bytes_done = counters_.bytes_done.load(std::memory_order_relaxed);
    // A pipe has no position: then only a stage that counts its bytes tells them.
    const std::int64_t position = position_source_ >= 0 ? lseek(position_source_, 0, SEEK_CUR) : -1;
    if (position >= 0) {
        figures.bytes_done = position;
    } else if (position_source_ >= 0 && figures.bytes_done == 0) {
        figures.bytes_done = -1;
    }
    figures.bytes_total = counters_.bytes_total.load(std::memory_order_relaxed);
    figures.parts_done = counters_.parts_done.load(std::memory_order_relaxed);
    figures.parts_total = counters_.parts_total.load(std::memory_order_relaxed);
    char text[progress_text_bytes];
    std::size_t text_length = static_cast<std::size_t>(format_progress(figures, text));
    // A line that wraps could not be taken back with a carriage return.
    winsize size{};
    if (ioctl(terminal_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        text_length = std::min<std::size_t>(text_length, size.ws_col - 1u);
    }
    // The same line again would only make the terminal work.
    if (is_drawn_ && text_length == drawn_length_ && std::memcmp(text, drawn_, text_length) == 0) {
        return;
    }
    char line[terminal_bytes];
    line[0] = '\r';
    std::memcpy(line + 1, text, text_length);
    std::size_t length = 1 + text_length;
    if (!is_dumb_) {
        std::memcpy(line + length, clear_to_end, clear_to_end_bytes);
        length += clear_to_end_bytes;
    } else if (is_drawn_ && drawn_length_ > text_length) {
        // Blanks over the rest of the longer text drawn before.
        std::memset(line + length, ' ', drawn_length_ - text_length);
        length += drawn_length_ - text_length;
    }
    put_on_terminal(line, length, text_length);
    std::memcpy(drawn_, text, text_length);
    drawn_length_ = text_length;
    is_drawn_ = true;
}

void ProgressLine::erase_locked() {
    if (!is_drawn_) return;
    char line[terminal_bytes];
    put_on_terminal(line, form_erase(is_dumb_, drawn_length_, line), 0);
    is_drawn_ = false;
}

// Writes line to the terminal, leaving text_length columns of text drawn (0: none), unless a
// signal has ended the drawing. Every signal is held back meanwhile, so that a handler never
// finds the line half written on its own thread.
void ProgressLine::put_on_terminal(const char* line, std::size_t length, std::size_t text_length) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    int state = terminal_state.load();
    if (state != run_ended && terminal_state.compare_exchange_strong(state, line_changing)) {
        write_all(terminal_, line, length);
        signal_terminal = terminal_;
        signal_erase_length = form_erase(is_dumb_, text_length, signal_erase);
        terminal_state.store(text_length > 0 ? line_drawn : nothing_drawn);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void ProgressLine::close_position_source_locked() {
    if (position_source_ >= 0) close(position_source_);
    position_source_ = -1;
}
