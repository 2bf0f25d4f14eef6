// Run sequence: one pass from the command line to the written file.
//
// Parses the options, refuses what cannot run, reads and checks the graph, builds the vertex
// graph and writes the copies, in that order and each once. It decides the exit status: 0
// after a completed run (and after --help or --version), 1 after any refusal or failure.
#pragma once

// Runs graphrep on argv and returns the process exit status.
[[nodiscard]] int run_graphrep(int argc, const char* const* argv);
