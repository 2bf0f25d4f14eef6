// Output file: gives the writer a stream and puts the finished file in place.
//
// An existing regular file (the input itself, when the names are equal) keeps its old
// content until the new file is complete: the bytes go to a temporary file in the same
// directory, which replaces the target by rename only after every write, the flush and the
// close succeeded. A symbolic link is written through, an existing file keeps its permission
// bits, a new one gets 0666 less the umask. Anything that is not a regular file (a terminal,
// a pipe, /dev/null, /dev/full) is written directly. Each failure prints its one message.
#pragma once

#include <cstdio>
#include <string>

struct OutputFile {
    std::string name;            // as the user gave it; used in messages
    std::string target_path;     // the file that ends up holding the graph
    std::string temporary_path;  // empty when writing directly
    std::FILE* stream = nullptr;
};

// Opens a stream for output_name. Prints "Error. Cannot open graph file: %s\n" and returns
// 1 when the file cannot be written (missing directory, no write permission).
[[nodiscard]] int open_output_file(const std::string& output_name, OutputFile& output);

// Flushes and closes the stream and moves the temporary file into place. On any failure it
// removes the temporary file, leaves the target untouched, prints "Error. Cannot write graph
// file: %s\n" and returns 1.
[[nodiscard]] int finish_output_file(OutputFile& output);

// Closes the stream and removes the temporary file after a failed write, then prints the
// write-failure message. The target keeps its old content.
void abandon_output_file(OutputFile& output);
