// Text in a JSON document.
#pragma once

#include <string>

// text between double quotes, with quotes, backslashes and control characters escaped; a byte
// that is no UTF-8 is taken as Latin-1, so that the document always parses.
std::string json_string(const std::string& text);
