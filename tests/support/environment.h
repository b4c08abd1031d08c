// Setting a variable of the test process's own environment, where getenv sees it.
#pragma once

#include <string>

void set_environment(const std::string& name, const std::string& value);
