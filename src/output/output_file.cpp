#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>

namespace {

// A new file gets these permission bits less the umask, as a shell redirect creates it.
constexpr mode_t new_file_mode = 0666;

// The permission bits a replacement takes over: set-user-ID, set-group-ID and sticky are
// dropped, since the new content is not what they were granted to.
constexpr mode_t kept_mode_bits = 0777;

// A temporary name is the prefix and this many random characters; a name already taken is
// tried again, up to a limit, with new characters.
constexpr char temporary_prefix[] = ".graphrep-";
constexpr int temporary_random_length = 6;
constexpr int temporary_name_attempts = 100;

// The target's directory is held open only to work inside it, never read.
#ifdef O_PATH
constexpr int directory_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The signals after which a named temporary file is removed before the process ends.
constexpr int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int cleanup_signal_count = sizeof cleanup_signals / sizeof cleanup_signals[0];

// What the handler needs to remove the named temporary file; it is set while every signal
// is blocked, so the handler never sees it half written.
int cleanup_directory = -1;
char cleanup_entry[sizeof temporary_prefix + temporary_random_length];
struct sigaction previous_actions[cleanup_signal_count];
bool is_cleanup_installed = false;

void remove_temporary_and_end(int signal_number) {
    unlinkat(cleanup_directory, cleanup_entry, 0);
    // The signal is blocked while its handler runs: it is delivered again, with the default
    // action, as soon as the handler returns, and the parent sees 128 + signal.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Holds back every signal that can be held back, so that a name given to the new file is
// either taken back or in place before a signal can end the run.
void block_signals(sigset_t& previous) {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous);
}

void restore_signals(const sigset_t& previous) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// Called with every signal blocked. A signal that the run was started with ignored (nohup)
// stays ignored.
void install_cleanup(int directory, const std::string& entry) {
    cleanup_directory = directory;
    std::snprintf(cleanup_entry, sizeof cleanup_entry, "%s", entry.c_str());
    struct sigaction action = {};
    action.sa_handler = remove_temporary_and_end;
    sigemptyset(&action.sa_mask);
    for (int signal_number : cleanup_signals)
        sigaddset(&action.sa_mask, signal_number);
    for (int i = 0; i < cleanup_signal_count; ++i) {
        sigaction(cleanup_signals[i], nullptr, &previous_actions[i]);
        if (previous_actions[i].sa_handler != SIG_IGN) {
            sigaction(cleanup_signals[i], &action, nullptr);
        }
    }
    is_cleanup_installed = true;
}

// Called with every signal blocked.
void remove_cleanup() {
    if (!is_cleanup_installed) return;
    for (int i = 0; i < cleanup_signal_count; ++i)
        sigaction(cleanup_signals[i], &previous_actions[i], nullptr);
    is_cleanup_installed = false;
}

// Six characters from the clock, the process and the attempt: enough that two runs in one
// directory rarely meet, and a name that is taken costs only another attempt.
std::string temporary_name(int attempt) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr std::uint64_t letter_count = sizeof letters - 1;
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t bits = (static_cast<std::uint64_t>(now.tv_nsec) * 0x9e3779b97f4a7c15u) ^
                         (static_cast<std::uint64_t>(getpid()) << 32) ^
                         (static_cast<std::uint64_t>(attempt) * 0xbf58476d1ce4e5b9u);
    std::string name = temporary_prefix;
    for (int i = 0; i < temporary_random_length; ++i) {
        name += letters[bits % letter_count];
        bits /= letter_count;
    }
    return name;
}

// Splits a path at its last slash. The entry is empty when the path ends with a slash.
void split_path(const std::string& path, std::string& directory, std::string& entry) {
    std::string::size_type slash = path.rfind('/');
    directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    entry = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_same_file(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The standard descriptor (output or error) that already holds this file, or -1.
int standard_descriptor_of(const struct stat& status) {
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat standard;
        if (fstat(descriptor, &standard) == 0 && is_same_file(standard, status)) return descriptor;
    }
    return -1;
}

// Takes over descriptor, also when it fails.
[[nodiscard]] int open_direct(int descriptor, OutputFile& output) {
    output.stream = descriptor < 0 ? nullptr : fdopen(descriptor, "w");
    if (output.stream != nullptr) return 0;
    if (descriptor >= 0) close(descriptor);
    return 1;
}

// Writing through a duplicate shares the open file and its position with the descriptor,
// so the graph lands after what was written there before (and at the end, with ">>").
[[nodiscard]] int open_duplicate(int descriptor, OutputFile& output) {
    return open_direct(fcntl(descriptor, F_DUPFD_CLOEXEC, 0), output);
}

// The path by which the kernel reached an open file, with every link resolved.
[[nodiscard]] int path_of_descriptor(int descriptor, std::string& path) {
    std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char buffer[PATH_MAX];
    ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof buffer) return 1;
    path.assign(buffer, static_cast<std::size_t>(length));
    return path.front() == '/' ? 0 : 1;
}

// Links an open file into the directory under entry.
[[nodiscard]] int link_descriptor(int descriptor, int directory, const std::string& entry) {
    std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    if (linkat(AT_FDCWD, path.c_str(), directory, entry.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
#ifdef AT_EMPTY_PATH
    // Without /proc, a process that may read any file (root) links the descriptor itself.
    if (errno == ENOENT && linkat(descriptor, "", directory, entry.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
#endif
    return 1;
}

// A file system without unnamed files gets a named one, removed by the cleanup handlers if a
// signal ends the run before it is in place.
[[nodiscard]] int open_named_temporary(OutputFile& output, int& descriptor) {
    sigset_t previous;
    block_signals(previous);
    for (int attempt = 0; attempt < temporary_name_attempts && descriptor < 0; ++attempt) {
        std::string entry = temporary_name(attempt);
        descriptor = openat(output.directory, entry.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, new_file_mode);
        if (descriptor >= 0) {
            output.temporary_entry = entry;
            install_cleanup(output.directory, entry);
        } else if (errno != EEXIST) {
            break;
        }
    }
    restore_signals(previous);
    return descriptor < 0 ? 1 : 0;
}

// Opens the file that receives the graph in output.directory. An unnamed file vanishes with
// the process however it ends; only when complete is it given a name.
[[nodiscard]] int open_temporary(const struct stat* old_status, OutputFile& output) {
    output.is_replacing = true;
    int descriptor = -1;
#ifdef O_TMPFILE
    descriptor = openat(output.directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, new_file_mode);
    if (descriptor >= 0) {
        output.unnamed = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        if (output.unnamed < 0) {
            close(descriptor);
            return 1;
        }
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return 1;
    }
#endif
    if (descriptor < 0 && open_named_temporary(output, descriptor) != 0) return 1;
    if (old_status != nullptr) {
        // Only root may give the file away; anyone may keep a group they belong to. Where
        // neither is allowed the file belongs to the runner, as a new file would.
        [[maybe_unused]] bool is_group_kept =
            fchown(descriptor, old_status->st_uid, old_status->st_gid) == 0 ||
            fchown(descriptor, static_cast<uid_t>(-1), old_status->st_gid) == 0;
        // After the owner: a change of owner may clear permission bits.
        if (fchmod(descriptor, old_status->st_mode & kept_mode_bits) != 0) {
            close(descriptor);
            return 1;
        }
    }
    return open_direct(descriptor, output);
}

// Nothing has this name yet: the file is created in its directory when complete.
[[nodiscard]] int open_new_target(const std::string& name, OutputFile& output) {
    std::string directory_name;
    split_path(name, directory_name, output.entry);
    if (output.entry.empty()) return 1;
    output.directory = open(directory_name.c_str(), directory_flags);
    if (output.directory < 0) return 1;
    return open_temporary(nullptr, output);
}

// descriptor is the regular file that opening the name reached. It is replaced through the
// directory entry that names it, which must still be that very file: otherwise a link or a
// directory changed in between and some other file would be replaced.
[[nodiscard]] int open_replacement(const std::string& name, int descriptor,
                                   const struct stat& status, bool was_created,
                                   OutputFile& output) {
    // A file without any write permission bit is not replaced, even by a user whom the
    // system lets write it (root): it is read-only on purpose.
    if (!was_created && (status.st_mode & 0222) == 0) return 1;
    std::string directory_name;
    struct stat name_status;
    if (lstat(name.c_str(), &name_status) == 0 && !S_ISLNK(name_status.st_mode)) {
        split_path(name, directory_name, output.entry);
    } else {
        std::string path;
        if (path_of_descriptor(descriptor, path) != 0) return 1;
        split_path(path, directory_name, output.entry);
    }
    if (output.entry.empty()) return 1;
    output.directory = open(directory_name.c_str(), directory_flags);
    struct stat entry_status;
    if (output.directory < 0 ||
        fstatat(output.directory, output.entry.c_str(), &entry_status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !is_same_file(entry_status, status)) {
        return 1;
    }
    if (!was_created) {
        output.target_exists = true;
        return open_temporary(&status, output);
    }
    // The open created the empty file a dangling link points to. It goes again at once, so
    // that no way the run ends leaves it behind; the new file takes its name when complete.
    if (unlinkat(output.directory, output.entry.c_str(), 0) != 0) return 1;
    return open_temporary(nullptr, output);
}

// Opens the name as a shell redirect does, without emptying the file: with O_CREAT, so that
// the kernel applies the same protections (links, FIFOs and files of other users in sticky
// directories) and a dangling link gets its target created, as it would by the shell.
[[nodiscard]] int open_existing_target(const std::string& name, OutputFile& output) {
    struct stat reached;
    bool reaches_a_file = stat(name.c_str(), &reached) == 0;
    int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, new_file_mode);
    if (descriptor < 0) {
        // A socket cannot be opened by name; one that is standard output is written through.
        int standard = errno == ENXIO && reaches_a_file ? standard_descriptor_of(reached) : -1;
        return standard < 0 ? 1 : open_duplicate(standard, output);
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        close(descriptor);
        return 1;
    }
    // Replacing the file that standard output or standard error writes to would drop what
    // the shell and this run put there before (and after): the graph joins it instead.
    int standard = standard_descriptor_of(status);
    if (standard >= 0) {
        close(descriptor);
        return open_duplicate(standard, output);
    }
    if (!S_ISREG(status.st_mode)) return open_direct(descriptor, output);
    bool was_created = !reaches_a_file && status.st_size == 0;
    int result = open_replacement(name, descriptor, status, was_created, output);
    close(descriptor);
    return result;
}

// Closes whatever output holds and removes a named temporary file that is not in place.
void release_output(OutputFile& output) {
    if (output.stream != nullptr) std::fclose(output.stream);
    output.stream = nullptr;
    sigset_t previous;
    block_signals(previous);
    if (!output.temporary_entry.empty()) {
        unlinkat(output.directory, output.temporary_entry.c_str(), 0);
    }
    output.temporary_entry.clear();
    remove_cleanup();
    restore_signals(previous);
    if (output.unnamed >= 0) close(output.unnamed);
    output.unnamed = -1;
    if (output.directory >= 0) close(output.directory);
    output.directory = -1;
}

[[nodiscard]] int rename_temporary(OutputFile& output) {
    if (renameat(output.directory, output.temporary_entry.c_str(), output.directory,
                 output.entry.c_str()) != 0) {
        return 1;
    }
    output.temporary_entry.clear();
    return 0;
}

// Gives the unnamed file a name. A new target is linked in under its own name; an existing
// one is replaced by rename, for which the file needs a temporary name for a moment.
[[nodiscard]] int link_unnamed(OutputFile& output) {
    if (!output.target_exists) {
        if (link_descriptor(output.unnamed, output.directory, output.entry) == 0) return 0;
        // Someone else created the name meanwhile: it is replaced like an existing target.
        if (errno != EEXIST) return 1;
    }
    for (int attempt = 0; attempt < temporary_name_attempts; ++attempt) {
        std::string entry = temporary_name(attempt);
        if (link_descriptor(output.unnamed, output.directory, entry) == 0) {
            output.temporary_entry = entry;
            return rename_temporary(output);
        }
        if (errno != EEXIST) return 1;
    }
    return 1;
}

// Runs with every signal blocked, so that a signal cannot end the run between the link and
// the rename: only SIGKILL or a power cut in those two calls leaves the temporary name.
[[nodiscard]] int put_in_place(OutputFile& output) {
    sigset_t previous;
    block_signals(previous);
    int result = output.unnamed >= 0 ? link_unnamed(output) : rename_temporary(output);
    if (result != 0 && !output.temporary_entry.empty()) {
        unlinkat(output.directory, output.temporary_entry.c_str(), 0);
        output.temporary_entry.clear();
    }
    remove_cleanup();
    restore_signals(previous);
    return result;
}

[[nodiscard]] int refuse_output(OutputFile& output) {
    release_output(output);
    output.is_replacing = false;
    std::printf("Error. Cannot open graph file: %s\n", output.name.c_str());
    return 1;
}

void print_write_failure(const OutputFile& output) {
    std::printf("Error. Cannot write graph file: %s\n", output.name.c_str());
}

// A file size limit would end the process with SIGXFSZ at the first write beyond it, leaving
// no message; ignored, the write fails with EFBIG and the failure is reported.
void ignore_file_size_signal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int open_output_file(const std::string& output_name, OutputFile& output) {
    output = OutputFile{};
    output.name = output_name;
    ignore_file_size_signal();
    if (output_name.empty()) return refuse_output(output);
    struct stat entry_status;
    bool is_new_name = lstat(output_name.c_str(), &entry_status) != 0 && errno == ENOENT;
    int result = is_new_name ? open_new_target(output_name, output)
                             : open_existing_target(output_name, output);
    return result == 0 ? 0 : refuse_output(output);
}

int open_output_descriptor(int descriptor, const std::string& name, OutputFile& output) {
    output = OutputFile{};
    output.name = name;
    ignore_file_size_signal();
    return open_duplicate(descriptor, output) == 0 ? 0 : refuse_output(output);
}

int finish_output_file(OutputFile& output) {
    bool is_written = std::fflush(output.stream) == 0 && std::ferror(output.stream) == 0;
    // The close is checked even after a failed flush: it may be the first to see the error.
    bool is_closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    bool is_in_place =
        is_written && is_closed && (!output.is_replacing || put_in_place(output) == 0);
    release_output(output);
    if (!is_in_place) {
        print_write_failure(output);
        return 1;
    }
    return 0;
}

void abandon_output_file(OutputFile& output) {
    release_output(output);
    print_write_failure(output);
}
