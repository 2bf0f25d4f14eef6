#include "driver/option_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string source_file(const std::string& path) {
    std::ifstream in(std::string(GRAPHREP_SOURCE_DIR) + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every run of white space as one blank, so that a message wrapped over lines still matches.
std::string with_single_blanks(const std::string& text) {
    std::string result;
    for (char c : text) {
        bool is_blank = c == ' ' || c == '\n' || c == '\t';
        if (!is_blank) {
            result += c;
        } else if (!result.empty() && result.back() != ' ') {
            result += ' ';
        }
    }
    return result;
}

// The arguments of a macro line: words, or quoted strings that keep their blanks.
std::vector<std::string> macro_arguments(const std::string& rest) {
    std::vector<std::string> arguments;
    for (std::size_t at = 0; at < rest.size();) {
        if (rest[at] == ' ') {
            ++at;
        } else if (rest[at] == '"') {
            std::size_t end = rest.find('"', at + 1);
            if (end == std::string::npos) end = rest.size();
            arguments.push_back(rest.substr(at + 1, end - at - 1));
            at = end + 1;
        } else {
            std::size_t end = std::min(rest.find(' ', at), rest.size());
            arguments.push_back(rest.substr(at, end - at));
            at = end;
        }
    }
    return arguments;
}

// The manual page as its reader sees the words: font macros joined as they print (.B and .I
// with blanks, the alternating ones without), escapes for fonts and joins dropped, \- as -.
std::string manual_page_text(const std::string& source) {
    std::istringstream lines(source);
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '.') {
            std::size_t blank = std::min(line.find(' '), line.size());
            std::string macro = line.substr(1, blank - 1);
            std::vector<std::string> arguments = macro_arguments(line.substr(blank));
            const char* joint = macro == "B" || macro == "I" ? " " : "";
            bool is_alternating = macro.size() == 2 && std::strchr("BIR", macro[0]) != nullptr &&
                                  std::strchr("BIR", macro[1]) != nullptr;
            bool is_font = macro == "B" || macro == "I" || is_alternating;
            line.clear();
            for (std::size_t i = 0; is_font && i < arguments.size(); ++i)
                line += (i == 0 ? "" : joint) + arguments[i];
        }
        text += line + "\n";
    }
    const std::pair<const char*, const char*> escapes[] = {
        {"\\c\n", ""}, {"\\fB", ""}, {"\\fI", ""}, {"\\fR", ""},
        {"\\fP", ""},  {"\\-", "-"}, {"\\ ", " "},
    };
    for (const auto& [escape, replacement] : escapes) {
        for (std::size_t at; (at = text.find(escape)) != std::string::npos;)
            text.replace(at, std::strlen(escape), replacement);
    }
    return text;
}

// What the usage text names: each option of its option list ("-h, --help" gives two) and
// each of the run's own messages, without the reason after it.
void usage_names(std::vector<std::string>& options, std::vector<std::string>& messages) {
    std::istringstream lines(usage_text());
    bool is_in_messages = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Every message is listed", 0) == 0) is_in_messages = false;
        if (is_in_messages) messages.push_back(line.substr(2, line.find("  ", 2) - 2));
        if (line.find("The run's own messages") != std::string::npos) is_in_messages = true;
        if (line.rfind("  -", 0) != 0) continue;
        std::string names = line.substr(2, line.find("  ", 2) - 2);
        for (std::size_t at = 0; at < names.size();) {
            std::size_t end = std::min(names.find(", ", at), names.size());
            std::string name = names.substr(at, end - at);
            options.push_back(name.substr(0, name.find(' ')));
            at = end + 2;
        }
    }
}

// Whether name stands in text as a word of its own: "-in" in "-in FILE", not in "-input".
bool names_option(const std::string& text, const std::string& name) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        char after = at + name.size() < text.size() ? text[at + name.size()] : ' ';
        if (!std::isalnum(static_cast<unsigned char>(after)) && after != '-') return true;
    }
    return false;
}

TEST(OptionTable, the_readme_and_the_manual_page_name_every_option_and_message_of_the_usage) {
    std::vector<std::string> options;
    std::vector<std::string> messages;
    usage_names(options, messages);
    // The list is read as it is printed: an option or a message the parse missed is missed
    // in the documents too.
    ASSERT_EQ(options.size(), option_table().size() + 3);
    ASSERT_GE(messages.size(), 14u);
    const std::pair<const char*, std::string> documents[] = {
        {"README.md", with_single_blanks(source_file("README.md"))},
        {"man/graphrep.1", with_single_blanks(manual_page_text(source_file("man/graphrep.1")))},
    };
    for (const auto& [document, text] : documents) {
        SCOPED_TRACE(document);
        ASSERT_FALSE(text.empty());
        for (const std::string& option : options)
            EXPECT_TRUE(names_option(text, option)) << option;
        for (const std::string& message : messages) {
            EXPECT_NE(text.find(with_single_blanks(message)), std::string::npos) << message;
        }
    }
}

// The lines the usage text forms from the tables rather than holds: the synopsis of both
// kinds of run, the formats' own words wrapped under the descriptions, and the names an
// unknown format is not.
TEST(OptionTable, forms_the_synopsis_and_the_format_words_from_the_tables) {
    const std::string text = usage_text();
    const char* const formed[] = {
        "Usage: graphrep -in FILE -times K [-from NAME] [-out FILE] [-nconnect N]\n"
        "                [-connect LIST] [-join LIST] [-weights] [-threads N]\n"
        "                [-format NAME] [-part I/P] [-strict] [-repair] [-wide] [-stats]\n"
        "                [-quiet]\n"
        "       graphrep -check -in FILE [-from NAME] [-strict] [-repair] [-stats]\n"
        "                       [-quiet]\n\n",
        "\n  -format NAME    text (the default) or parhip: the binary layout of 64-bit\n"
        "                  fields that distributed partitioners read in parallel\n  -part ",
        "\n  Error. Invalid format NAME.              not text or parhip\n",
    };
    for (const char* lines : formed) {
        EXPECT_NE(text.find(lines), std::string::npos) << lines;
    }
}

TEST(OptionTable, no_option_string_begins_with_another) {
    std::vector<std::string> names = {"-h", "--help", "--version"};
    for (const OptionEntry& entry : option_table())
        names.push_back(entry.name);
    for (const std::string& name : names) {
        for (const std::string& other : names) {
            if (&name == &other) continue;
            EXPECT_NE(other.rfind(name, 0), 0u) << other << " begins with " << name;
        }
    }
}

TEST(OptionTable, every_switch_and_only_a_switch_stands_alone) {
    for (const OptionEntry& entry : option_table()) {
        SCOPED_TRACE(entry.name);
        const char* argv[] = {"graphrep", entry.name};
        RunOptions options;
        parse_command_line(2, argv, options);
        EXPECT_EQ(options.option_without_value, entry.value_name == nullptr ? "" : entry.name);
        // A switch turns its field on; an option with a value has a setter for it.
        EXPECT_EQ(entry.turns_on != nullptr, entry.value_name == nullptr);
        EXPECT_EQ(entry.set != nullptr, entry.value_name != nullptr);
    }
}

}  // namespace
