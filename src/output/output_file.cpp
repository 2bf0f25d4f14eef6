#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "common/run_messages.h"
#include "output/output_signals.h"

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
[[nodiscard]] int open_direct(int descriptor, OutputHandles& output) {
    output.stream = descriptor < 0 ? nullptr : fdopen(descriptor, "w");
    if (output.stream != nullptr) return 0;
    if (descriptor >= 0) close(descriptor);
    return 1;
}

// Writing through a duplicate shares the open file and its position with the descriptor,
// so the graph lands after what was written there before (and at the end, with ">>").
[[nodiscard]] int open_duplicate(int descriptor, OutputHandles& output) {
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
[[nodiscard]] int open_named_temporary(OutputHandles& output, int& descriptor) {
    SignalBlock block;
    for (int attempt = 0; attempt < temporary_name_attempts && descriptor < 0; ++attempt) {
        std::string entry = temporary_name(attempt);
        descriptor = openat(output.directory, entry.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, new_file_mode);
        if (descriptor >= 0) {
            output.temporary_entry = entry;
            set_cleanup_entry(output.directory, entry.c_str());
        } else if (errno != EEXIST) {
            break;
        }
    }
    return descriptor < 0 ? 1 : 0;
}

// Opens the file that receives the graph in output.directory. An unnamed file vanishes with
// the process however it ends; only when complete is it given a name.
[[nodiscard]] int open_temporary(const struct stat* old_status, OutputHandles& output) {
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
[[nodiscard]] int open_new_target(const std::string& name, OutputHandles& output) {
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
                                   OutputHandles& output) {
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
[[nodiscard]] int open_existing_target(const std::string& name, OutputHandles& output) {
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
void release_output(OutputHandles& output) {
    if (output.stream != nullptr) std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary_entry.empty()) {
        SignalBlock block;
        unlinkat(output.directory, output.temporary_entry.c_str(), 0);
        output.temporary_entry.clear();
        set_cleanup_entry(-1, nullptr);
    }
    if (output.unnamed >= 0) close(output.unnamed);
    output.unnamed = -1;
    if (output.directory >= 0) close(output.directory);
    output.directory = -1;
}

[[nodiscard]] int rename_temporary(OutputHandles& output) {
    if (renameat(output.directory, output.temporary_entry.c_str(), output.directory,
                 output.entry.c_str()) != 0) {
        return 1;
    }
    output.temporary_entry.clear();
    return 0;
}

// Gives the unnamed file a name. A new target is linked in under its own name; an existing
// one is replaced by rename, for which the file needs a temporary name for a moment.
[[nodiscard]] int link_unnamed(OutputHandles& output) {
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
[[nodiscard]] int put_in_place(OutputHandles& output) {
    SignalBlock block;
    int result = output.unnamed >= 0 ? link_unnamed(output) : rename_temporary(output);
    if (result != 0 && !output.temporary_entry.empty()) {
        unlinkat(output.directory, output.temporary_entry.c_str(), 0);
        output.temporary_entry.clear();
    }
    set_cleanup_entry(-1, nullptr);
    return result;
}

[[nodiscard]] int refuse_output(OutputHandles& output, MessageSink& messages) {
    release_output(output);
    output.is_replacing = false;
    report_cannot_open(messages, output.name.c_str());
    return 1;
}

void report_write_failure(const OutputHandles& output, MessageSink& messages) {
    report_cannot_write(messages, output.name.c_str());
}

}  // namespace

OutputFile::~OutputFile() {
    release_output(handles_);
}

int OutputFile::open(const std::string& name, MessageSink& messages) {
    release_output(handles_);
    handles_ = OutputHandles{};
    handles_.name = name;
    if (name.empty()) return refuse_output(handles_, messages);
    struct stat entry_status;
    bool is_new_name = lstat(name.c_str(), &entry_status) != 0 && errno == ENOENT;
    int result =
        is_new_name ? open_new_target(name, handles_) : open_existing_target(name, handles_);
    return result == 0 ? 0 : refuse_output(handles_, messages);
}

int OutputFile::open_descriptor(int descriptor, const std::string& name, MessageSink& messages) {
    release_output(handles_);
    handles_ = OutputHandles{};
    handles_.name = name;
    return open_duplicate(descriptor, handles_) == 0 ? 0 : refuse_output(handles_, messages);
}

int OutputFile::finish(MessageSink& messages) {
    if (handles_.stream == nullptr) {
        report_write_failure(handles_, messages);
        return 1;
    }
    bool is_written = std::fflush(handles_.stream) == 0 && std::ferror(handles_.stream) == 0;
    // The close is checked even after a failed flush: it may be the first to see the error.
    bool is_closed = std::fclose(handles_.stream) == 0;
    handles_.stream = nullptr;
    bool is_in_place =
        is_written && is_closed && (!handles_.is_replacing || put_in_place(handles_) == 0);
    release_output(handles_);
    if (!is_in_place) {
        report_write_failure(handles_, messages);
        return 1;
    }
    return 0;
}

void OutputFile::fail(MessageSink& messages) {
    release_output(handles_);
    report_write_failure(handles_, messages);
}
