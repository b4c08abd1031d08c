#include <cstdlib>

#include "tests/support/environment.h"

void set_environment(const std::string& name, const std::string& value) { _putenv_s(name.c_str(), value.c_str()); }
