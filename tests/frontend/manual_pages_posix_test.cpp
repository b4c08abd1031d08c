// The manual pages name exactly the commands, options and formats that the programs' help texts
// and parsers know, so that neither can change without the other.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "brxtool/brxtool_main.h"
#include "brxtool/commands.h"
#include "frontend/front_end_state.h"
#include "frontend/usage.h"

namespace {

using names_t = std::set<std::string>;

const std::regex long_option("--[a-z][a-z-]*");

std::vector<std::string> lines_of(std::istream&& text)
{
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

// A missing page names nothing, and so fails the comparisons.
std::vector<std::string> page(const char* name) { return lines_of(std::ifstream(std::string(BRX_SOURCE_DIR) + "/man/" + name)); }

void add_matches(const std::string& text, const std::regex& pattern, names_t& names)
{
    for (std::sregex_iterator match(text.begin(), text.end(), pattern), end; match != end; ++match)
        names.insert(match->str());
}

bool starts_with(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// What a command's --help names: the usage lines at its top (the first and the indented ones
// after it) and the first word of each indented option line.
names_t help_options(const char* help)
{
    names_t names;
    bool usage = true;
    for (const std::string& line : lines_of(std::istringstream(help))) {
        usage = usage && (names.empty() || starts_with(line, " "));
        const size_t word = line.find_first_not_of(' ');
        if (usage)
            add_matches(line, long_option, names);
        else if (word != 0 && word != std::string::npos && line.compare(word, 2, "--") == 0)
            add_matches(line.substr(word, line.find(' ', word) - word), long_option, names);
    }
    return names;
}

// brxtool's page: per "## command" under COMMANDS, the options its synopsis paragraphs name
// (first) and those its "*--option*" entries describe (second); each must be whole on its own.
struct page_command_t {
    names_t synopsis, entries;
};

std::map<std::string, page_command_t> page_commands()
{
    std::map<std::string, page_command_t> commands;
    std::string section, command;
    bool synopsis = false, paragraph_start = true;
    for (const std::string& line : page("brxtool.1.scd")) {
        if (starts_with(line, "# "))
            section = line, command.clear();
        else if (section == "# COMMANDS" && starts_with(line, "## "))
            commands[command = line.substr(3)];
        else if (!command.empty() && !line.empty()) {
            synopsis = paragraph_start ? starts_with(line, "*brxtool ") : synopsis;
            if (synopsis)
                add_matches(line, long_option, commands[command].synopsis);
            else if (starts_with(line, "*--"))
                add_matches(line, long_option, commands[command].entries);
        }
        paragraph_start = line.empty();
    }
    return commands;
}

// What the groups of word catch, joined, in each "*name*" entry of a section (an option, a format).
names_t page_entries(const char* name, const std::string& section, const std::regex& word)
{
    names_t entries;
    std::string current;
    for (const std::string& line : page(name)) {
        if (starts_with(line, "# "))
            current = line;
        std::smatch match;
        if (current == section && starts_with(line, "*") && std::regex_search(line, match, word))
            entries.insert(match[1].str() + match[2].str());
    }
    return entries;
}

}  // namespace

TEST(manual_pages, name_what_the_programs_take)
{
    names_t brx_options;
    add_matches(usage_text, std::regex("/[a-z]+=?"), brx_options);
    brx_options.insert({block_option, bad_option, skip_option, strict_option, progress_option, manifest_option,
                        buffer_option});
    EXPECT_EQ(page_entries("brx.1.scd", "# OPTIONS", std::regex("^\\*(/[a-z]+=?)")), brx_options);

    testing::internal::CaptureStdout();
    char program[] = "brxtool", help[] = "--help";
    char* argv[] = {program, help, nullptr};
    EXPECT_EQ(brxtool_main(2, argv), 0);
    names_t usage_commands;
    for (const std::string& line : lines_of(std::istringstream(testing::internal::GetCapturedStdout())))
        if (std::regex_search(line, std::regex("^  [a-z]+ ")))
            usage_commands.insert(line.substr(2, line.find(' ', 2) - 2));

    std::map<std::string, page_command_t> commands = page_commands();
    names_t page_names, table_commands;  // the page's, before the lookups below add any
    for (const auto& [name, command] : commands)
        page_names.insert(name);
    for (const command_t* command : brxtool_commands) {
        table_commands.insert(command->name);
        names_t parsed;
        for (const known_option_t& option : command->options)
            parsed.insert(std::string("--") + option.name);
        EXPECT_EQ(help_options(command->help), parsed) << command->name << "'s --help";
        EXPECT_EQ(commands[command->name].synopsis, parsed) << command->name << "'s synopsis in brxtool.1";
        EXPECT_EQ(commands[command->name].entries, parsed) << command->name << "'s options in brxtool.1";
    }
    EXPECT_EQ(usage_commands, table_commands);
    EXPECT_EQ(page_names, table_commands);

    names_t formats;  // "tap.tap": the name and the extension
    for (format_t format : {format_t::brx, format_t::tap, format_t::e11, format_t::aws, format_t::het})
        formats.insert(std::string(format_info(format).name) + format_info(format).extension);
    EXPECT_EQ(page_entries("brxtool.1.scd", "# FORMATS", std::regex("^\\*([a-z0-9]+)\\* \\((\\.[a-z0-9]+)\\)")), formats);
}
