#include "driver/output_choice.h"

#include "common/run_messages.h"
#include "output/part_plan.h"

int choose_output(const RunOptions& options, RunSettings& settings, MessageSink& messages) {
    OutputChoice& choice = settings.output;
    choice = OutputChoice{};
    if (options.check_only) return 0;
    choice.format = find_output_format(options.format_name);
    if (choice.format == nullptr) {
        messages.error("Error. Invalid format %s.\n", options.format_name.c_str());
        return 1;
    }
    if (options.has_part) {
        if (read_part_value(options.part_value.c_str(), choice.part_index, choice.part_count) !=
            0) {
            messages.error("Error. Invalid part %s.\n", options.part_value.c_str());
            return 1;
        }
        // The parts meet in one file at their own positions: a stream has none.
        if (settings.graph_to_standard_output) {
            report_part_needs_regular_file(messages);
            return 1;
        }
    }
    if (!choice.format->holds_declared_connections && settings.nconnect > 0) {
        messages.error("Error. Declared connections cannot be written in the %s format.\n",
                       choice.format->name);
        return 1;
    }
    return 0;
}
