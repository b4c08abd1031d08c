// The two C runtime extensions the program uses.
#include <cctype>

#include "platform/platform.h"

char* _strlwr(char* text)
{
    for (char* at = text; *at != '\0'; ++at) {
        unsigned char c = static_cast<unsigned char>(*at);
        if (std::isalpha(c)) *at = static_cast<char>(std::tolower(c));
    }
    return text;
}

int64_t _ftelli64(FILE* stream) { return ftello(stream); }
