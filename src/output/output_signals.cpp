#include "output/output_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "common/progress_line.h"

namespace {

// The signals whose default action ends the process, besides the real-time ones. SIGKILL and
// SIGSTOP cannot be caught; SIGXFSZ is ignored instead.
constexpr int ending_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// The longest entry set_cleanup_entry takes: ".graphrep-" and six characters.
constexpr int entry_capacity = 32;

int cleanup_directory = -1;
char cleanup_entry[entry_capacity];

void remove_temporary_and_end(int signal_number) {
    if (cleanup_directory >= 0) unlinkat(cleanup_directory, cleanup_entry, 0);
    // The shell's prompt comes next on the terminal: not after a stale progress line.
    take_back_progress_line();
    // The signal is blocked while its handler runs: it is delivered again, with the default
    // action, as soon as the handler returns, and the parent sees 128 + signal. A fault
    // (SIGSEGV, say) happens again at the same instruction, with the default action.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// A signal that has its default disposition gets the handler; every signal is held back
// while the handler runs, so that two handlers never meet.
void install_handler(int signal_number) {
    struct sigaction current = {};
    if (sigaction(signal_number, nullptr, &current) != 0) return;
    const bool is_default = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
    if (!is_default) return;
    struct sigaction action = {};
    action.sa_handler = remove_temporary_and_end;
    sigfillset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

void prepare_output_signals() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal_number : ending_signals)
        install_handler(signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        install_handler(signal_number);
}

SignalBlock::SignalBlock() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous_);
}

SignalBlock::~SignalBlock() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void set_cleanup_entry(int directory, const char* entry) {
    cleanup_directory = -1;
    if (directory < 0) return;
    std::snprintf(cleanup_entry, sizeof cleanup_entry, "%s", entry);
    cleanup_directory = directory;
}
