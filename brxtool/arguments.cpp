#include "brxtool/arguments.h"

#include <cstdio>

namespace {

const option_spec_t* find_spec(const std::vector<option_spec_t>& specs, const std::string& name)
{
    for (const option_spec_t& spec : specs)
        if (name == spec.name)
            return &spec;
    return nullptr;
}

}  // namespace

std::string arguments_t::value(const std::string& name) const
{
    auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
}

bool parse_arguments(int argc, char** argv, int first, const std::vector<option_spec_t>& specs,
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
        const option_spec_t* spec = find_spec(specs, name);
        if (spec == nullptr && name != "help") {
            fprintf(stderr, "brxtool: unknown option %s\n", argument.c_str());
            return false;
        }
        bool takes_value = spec != nullptr && spec->takes_value;
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
    }
    return true;
}
