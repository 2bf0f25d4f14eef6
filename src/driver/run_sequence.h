// Run sequence: one pass from the command line to the written file.
//
// Parses the options, settles them into the run's settings, refuses what cannot run, reads
// and checks the graph, builds the vertex graph and writes the copies, in that order and each
// once. Every message goes through one sink on the stream the settings chose; the written
// graph is committed only after the sink's last flush, so that a run whose messages were lost
// leaves no file. It decides the exit status: 0 after a completed run (and after --help or
// --version), 1 after any refusal or failure, lost messages included.
#pragma once

// Runs graphrep on argv and returns the process exit status.
[[nodiscard]] int run_graphrep(int argc, const char* const* argv);
