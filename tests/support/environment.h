// Setting a variable of the test process's own environment, where getenv and children see it.
#pragma once

#include <string>

void set_environment(const std::string& name, const std::string& value);  // empty: removes it
