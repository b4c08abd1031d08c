#include <cstdlib>

#include "tests/support/environment.h"

void set_environment(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }
