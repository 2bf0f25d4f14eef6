// Helpers shared by the test programs: feeding text to a component through a temporary
// stream, capturing what a component prints, and running the built program on rows of a table.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
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

// The files of one test that runs the program: its input, its output, and a second output
// to compare the first with. None is left behind.
struct ScratchFiles {
    std::string input = scratch_path("in");
    std::string output = scratch_path("out");
    std::string reference = scratch_path("reference");
    ScratchFiles() = default;
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;
    ~ScratchFiles() {
        for (const std::string* path : {&input, &output, &reference})
            std::remove(path->c_str());
    }
    // The text with NAME standing for the input's path and OUT for the output's.
    std::string named(std::string text) const {
        for (std::size_t at; (at = text.find("NAME")) != std::string::npos;)
            text.replace(at, 4, input);
        for (std::size_t at; (at = text.find("OUT")) != std::string::npos;)
            text.replace(at, 3, output);
        return text;
    }
};

// A written graph without its comment line, which names the input.
inline std::string after_comment(const std::string& bytes) {
    return bytes.substr(bytes.find('\n') + 1);
}

// One run of the program on one input file, and all it must do. In the arguments, the shell
// prefix and the expected text, NAME stands for the input file and OUT for the output file.
// Every member has an initializer, so that a row names only the members it needs.
struct RunRow {
    std::string name{};
    std::string input{};  // the input file's bytes
    std::string arguments{};
    int exit_status = 0;
    std::string standard_output{};
    std::optional<std::string> output{};          // its bytes after the run; unset: none written
    std::optional<std::string> standard_error{};  // unset: not looked at
    std::optional<std::string> old_output{};      // its bytes before the run; unset: none
    std::string shell_prefix{};                   // such as "cat NAME |"
};

// Runs a row and checks it, giving the run for any further check.
inline ProgramRun expect_run(const ScratchFiles& files, const RunRow& row) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(write_file(files.input, row.input));
    if (row.old_output) {
        EXPECT_TRUE(write_file(files.output, *row.old_output));
    } else {
        std::remove(files.output.c_str());
    }
    ProgramRun run = run_program(files.named(row.arguments), files.named(row.shell_prefix));
    EXPECT_EQ(run.exit_status, row.exit_status);
    EXPECT_EQ(run.standard_output, files.named(row.standard_output));
    if (row.standard_error) {
        EXPECT_EQ(run.standard_error, files.named(*row.standard_error));
    }
    if (row.output) {
        EXPECT_EQ(file_bytes(files.output), files.named(*row.output));
    } else {
        EXPECT_FALSE(file_exists(files.output));
    }
    return run;
}

}  // namespace test_support
