// Output file: gives the writer a stream and puts the finished file in place.
//
// The kernel decides what the output name means: it is opened for writing as a shell
// redirect would open it (every symbolic link, permission and protection check applies,
// but nothing is emptied), and the run acts on the file that this reaches. Anything that is
// not a regular file (a terminal, a pipe, /dev/null, /dev/full), and the very file already
// open as standard output or standard error, is written directly through an open
// descriptor, never replaced. A regular file keeps its old content until the new one is
// complete: the bytes go to an unnamed file in the target's directory (a named
// ".graphrep-XXXXXX" file where the file system has no unnamed files, which the handlers of
// output_signals.h remove when a signal ends the run), which is linked in over the target
// only after every write, the flush and the close succeeded. The replacement keeps the
// permission bits 0777 of the old file and, where the process may set them, its owner and
// group; a new file gets 0666 less the umask.
//
// An output file is committed by finish; one that goes out of scope uncommitted is
// abandoned: its stream closed, its temporary file removed, the target untouched. Each
// failure prints its one message to the sink it is handed. One output is open per process
// (the signal handlers know one temporary file), after prepare_output_signals.
#pragma once

#include <cstdio>
#include <string>

#include "common/message_sink.h"

// What an open output holds.
struct OutputHandles {
    std::string name;  // as the user gave it; used in messages
    std::FILE* stream = nullptr;
    bool is_replacing = false;    // false when written directly
    bool target_exists = false;   // when replacing: the entry is there to be renamed over
    int directory = -1;           // when replacing: the target's directory, held open
    std::string entry;            // when replacing: the target's name inside that directory
    int unnamed = -1;             // a second descriptor of the unnamed file, to link it in
    std::string temporary_entry;  // the named temporary file inside directory, or empty
};

class OutputFile {
   public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Abandons the file unless finish has run.
    ~OutputFile();

    // Opens a stream for name. Prints the message of report_cannot_open and returns 1
    // when the file cannot be written (missing directory, no write permission, a directory
    // that does not let a file be created beside the target); nothing is then held open.
    [[nodiscard]] int open(const std::string& name, MessageSink& messages);

    // Gives a stream that writes directly through a duplicate of descriptor (standard output,
    // for instance); the caller's descriptor stays open. name is used in messages. Prints the
    // open-failure message and returns 1 when the descriptor cannot be duplicated.
    [[nodiscard]] int open_descriptor(int descriptor, const std::string& name,
                                      MessageSink& messages);

    // The stream to write to, until finish or abandonment.
    std::FILE* stream() const {
        return handles_.stream;
    }
    // True when a regular file is replaced rather than written directly.
    bool is_replacing() const {
        return handles_.is_replacing;
    }

    // Flushes and closes the stream and moves the new file into place. On any failure it
    // abandons the file, prints the message of report_cannot_write and returns 1.
    [[nodiscard]] int finish(MessageSink& messages);

    // Abandons the file after a write that fell short and prints the write-failure message.
    void fail(MessageSink& messages);

   private:
    OutputHandles handles_;
};
