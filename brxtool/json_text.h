// Text in a JSON document.
#pragma once

#include <string>

// text between double quotes, with quotes, backslashes and control characters escaped.
std::string json_string(const std::string& text);
