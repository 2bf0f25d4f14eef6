// Output choice: the format of the output file and the share of it this run writes.
//
// A run writes the output in one of the formats of the format table (-format), the whole file
// or one part of it (-part I/P). Refusals print their one line through the run's message sink.
#pragma once

#include "common/message_sink.h"
#include "driver/command_line.h"
#include "driver/run_settings.h"

// Reads -format and -part into settings.output. Prints "Error. Invalid format NAME.", "Error.
// Invalid part VALUE.", the message of report_part_needs_regular_file (when the graph goes to
// standard output) or "Error. Declared connections cannot be written in the NAME format." and
// returns 1. A check takes no choice.
[[nodiscard]] int choose_output(const RunOptions& options, RunSettings& settings,
                                MessageSink& messages);
