#include "output/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// More hops than this through symbolic links is a loop; the name is then refused.
constexpr int max_link_hops = 40;

// What open_output_file learns about the name before it writes.
struct TargetFacts {
    std::string path;  // the name with every symbolic link followed
    bool exists = false;
    bool is_regular = false;
    mode_t mode = 0;  // permission bits to give the new file
};

std::string directory_of(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

mode_t new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Follows symbolic links from name to the file that is to be replaced, which need not exist
// yet (a dangling link names the file to create).
[[nodiscard]] int find_target(const std::string& name, TargetFacts& facts) {
    facts.path = name;
    for (int hop = 0; hop <= max_link_hops; ++hop) {
        struct stat status;
        if (lstat(facts.path.c_str(), &status) != 0) {
            if (errno != ENOENT) return 1;
            facts.mode = new_file_mode();
            return 0;
        }
        if (!S_ISLNK(status.st_mode)) {
            facts.exists = true;
            facts.is_regular = S_ISREG(status.st_mode);
            facts.mode = status.st_mode & 07777;
            return 0;
        }
        char link[PATH_MAX];
        ssize_t length = readlink(facts.path.c_str(), link, sizeof link - 1);
        if (length < 0) return 1;
        std::string destination(link, static_cast<std::size_t>(length));
        facts.path =
            destination.front() == '/' ? destination : directory_of(facts.path) + "/" + destination;
    }
    return 1;
}

// A file without any write permission bit is not replaced, even by a user whom the system
// would let write it: the rename would otherwise bypass the permission that protects it.
bool may_replace(const TargetFacts& facts) {
    return access(facts.path.c_str(), W_OK) == 0 && (facts.mode & 0222) != 0;
}

[[nodiscard]] int open_temporary(const TargetFacts& facts, OutputFile& output) {
    std::string pattern = directory_of(facts.path) + "/.graphrep-XXXXXX";
    int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) return 1;
    output.temporary_path = pattern;
    output.stream = fchmod(descriptor, facts.mode) == 0 ? fdopen(descriptor, "w") : nullptr;
    if (output.stream == nullptr) {
        close(descriptor);
        unlink(pattern.c_str());
        output.temporary_path.clear();
        return 1;
    }
    return 0;
}

[[nodiscard]] int refuse_output(const OutputFile& output) {
    std::printf("Error. Cannot open graph file: %s\n", output.name.c_str());
    return 1;
}

void print_write_failure(const OutputFile& output) {
    std::printf("Error. Cannot write graph file: %s\n", output.name.c_str());
}

}  // namespace

int open_output_file(const std::string& output_name, OutputFile& output) {
    output = OutputFile{};
    output.name = output_name;
    TargetFacts facts;
    if (output_name.empty() || find_target(output_name, facts) != 0) return refuse_output(output);
    output.target_path = facts.path;
    // Terminals, pipes and devices cannot be replaced: they are written as they are.
    if (facts.exists && !facts.is_regular) {
        output.stream = std::fopen(facts.path.c_str(), "w");
        return output.stream == nullptr ? refuse_output(output) : 0;
    }
    if (facts.exists && !may_replace(facts)) return refuse_output(output);
    if (open_temporary(facts, output) != 0) return refuse_output(output);
    return 0;
}

int finish_output_file(OutputFile& output) {
    bool is_written = std::fflush(output.stream) == 0 && std::ferror(output.stream) == 0;
    // The close is checked even after a failed flush: it may be the first to see the error.
    bool is_closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    bool is_in_place = is_written && is_closed;
    if (is_in_place && !output.temporary_path.empty()) {
        is_in_place = std::rename(output.temporary_path.c_str(), output.target_path.c_str()) == 0;
    }
    if (!is_in_place) {
        if (!output.temporary_path.empty()) unlink(output.temporary_path.c_str());
        print_write_failure(output);
        return 1;
    }
    return 0;
}

void abandon_output_file(OutputFile& output) {
    if (output.stream != nullptr) std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary_path.empty()) unlink(output.temporary_path.c_str());
    print_write_failure(output);
}
