#include "brxtool/arguments.h"

#include <cstdio>

namespace {

const known_option_t* find_known(const std::vector<known_option_t>& known, const std::string& name)
{
    for (const known_option_t& option : known)
        if (name == option.name)
            return &option;
    return nullptr;
}

}  // namespace

std::string arguments_t::value(const std::string& name) const
{
    auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
}

bool number_option(const arguments_t& arguments, const char* where, const char* name, uint32_t lowest,
                   uint32_t highest, uint32_t& number, const char* what)
{
    if (!arguments.has(name))
        return true;
    const std::string text = arguments.value(name);
    uint64_t value = 0;
    for (const char c : text)
        value = c < '0' || c > '9' || value > highest ? UINT64_MAX : value * 10 + static_cast<uint64_t>(c - '0');
    if (text.empty() || value < lowest || value > highest) {
        fprintf(stderr, "brxtool: %s--%s takes %s from %u to %u, not '%s'\n", where, name, what, lowest, highest,
                text.c_str());
        return false;
    }
    number = static_cast<uint32_t>(value);
    return true;
}

std::vector<std::string> arguments_t::values(const std::string& name) const
{
    std::vector<std::string> all;
    for (auto [at, end] = given.equal_range(name); at != end; ++at)
        all.push_back(at->second);
    return all;
}

bool parse_arguments(int argc, char** argv, int first, const std::vector<known_option_t>& known,
                     arguments_t& arguments)
{
    bool options_end = false;
    for (int i = first; i < argc; ++i) {
        std::string argument = argv[i];
        if (options_end || argument.size() < 2 || argument[0] != '-') {
            arguments.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            options_end = true;
            continue;
        }
        std::string name = argument.substr(argument.rfind("--", 0) == 0 ? 2 : 1);
        std::string value;
        bool has_value = false;
        if (size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            has_value = true;
        }
        const known_option_t* option = find_known(known, name);
        if (option == nullptr && name != "help") {
            fprintf(stderr, "brxtool: unknown option %s\n", argument.c_str());
            return false;
        }
        bool takes_value = option != nullptr && option->takes_value;
        if (takes_value && !has_value) {
            if (i + 1 >= argc) {
                fprintf(stderr, "brxtool: option --%s needs a value\n", name.c_str());
                return false;
            }
            value = argv[++i];
        } else if (!takes_value && has_value) {
            fprintf(stderr, "brxtool: option --%s takes no value\n", name.c_str());
            return false;
        }
        arguments.options[name] = value;
        arguments.given.emplace(name, value);
    }
    return true;
}
