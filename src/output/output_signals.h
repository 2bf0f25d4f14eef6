// Output signals: the signal dispositions that let the output file report or clean up after
// every way a run can end, set up once per process.
//
// A file size limit would end the process by SIGXFSZ at the first write beyond it, leaving no
// message: SIGXFSZ is ignored, and the write fails with EFBIG and is reported. Where the
// output's directory has no unnamed files, the new file has a name (".graphrep-XXXXXX") until
// it is in place: every signal whose default action ends the process and that can be caught
// gets a handler that removes that file and erases the progress line, then ends the process
// by the same signal with its default action, so that the parent sees the true cause. A
// signal that the run started with ignored (nohup) or handled (a sanitizer's) is left as it
// was.
//
// There is one temporary file to remove, so one output is open per process.
#pragma once

#include <signal.h>

// Ignores SIGXFSZ and installs the cleanup handlers. The driver calls it once, before any
// output is opened and before any thread starts.
void prepare_output_signals();

// Holds back every signal that can be held back for its lifetime, so that a name given to
// the new file is either taken back or in place before a signal can end the run.
class SignalBlock {
   public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

   private:
    sigset_t previous_;
};

// Names the temporary file that a handler removes: entry inside the open directory, or none
// with directory -1. Called inside a SignalBlock, so that the handler never sees it half set.
void set_cleanup_entry(int directory, const char* entry);
