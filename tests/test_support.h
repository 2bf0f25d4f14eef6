// Helpers shared by the test programs: feeding text to a component through a temporary
// stream, capturing what a component prints, and running the built program.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "memory_messages.h"

namespace test_support {

using memory_messages::MemoryMessages;

// A temporary stream holding text, rewound to its start. The caller hands it over (the
// reader closes it) or closes it.
inline std::FILE* stream_with(std::string_view text) {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) return nullptr;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        std::fclose(stream);
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

inline void capture_stdout() {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
}

inline std::string captured_stdout() {
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

inline std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_file(const std::string& path, std::string_view bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

inline bool file_exists(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    std::fclose(in);
    return true;
}

// A path unique to the running test and process, so that ctest -j can run tests side by
// side, and so can two builds of the suite (release and sanitizer) on the same machine.
inline std::string scratch_path(const std::string& suffix) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "/tmp/graphrep_" + std::to_string(getpid()) + "_" + info->test_suite_name() +
                       "_" + info->name() + "_" + suffix;
    return name;
}

struct ProgramRun {
    int exit_status = -1;
    std::string standard_output;
    std::string standard_error;
};

// Runs a shell command, collecting its standard output and its exit status; standard error
// goes where the command sends it.
inline ProgramRun run_shell(const std::string& command) {
    ProgramRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        run.standard_output.append(chunk, count);
    }
    int status = pclose(pipe);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// Runs the built program with a shell-quoted argument string (and an optional shell prefix
// such as "ulimit -v 100000;"), collecting standard output and standard error.
inline ProgramRun run_program(const std::string& arguments, const std::string& prefix = "") {
    std::string error_path = scratch_path("stderr");
    ProgramRun run =
        run_shell(prefix + " " + GRAPHREP_BINARY + " " + arguments + " 2>" + error_path);
    run.standard_error = file_bytes(error_path);
    std::remove(error_path.c_str());
    return run;
}

}  // namespace test_support
