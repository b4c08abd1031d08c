#include <cstdlib>

#include "tests/support/environment.h"

void set_environment(const std::string& name, const std::string& value)
{
    value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
}
