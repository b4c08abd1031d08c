// SHA-256, to tell a complete image from one changed or cut since its journal line was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class sha256_t {
public:
    sha256_t();
    void add(const uint8_t* data, size_t length);
    // The digest in lower-case hexadecimal; the object is used up.
    std::string finish();

private:
    void block(const uint8_t* data);

    uint32_t state[8];
    uint8_t pending[64];
    size_t pending_length = 0;
    uint64_t total = 0;
};

// The digest and size of a whole file; false (with GetLastError()) when it cannot be read.
bool sha256_of_file(const std::string& name, std::string& digest, uint64_t& size);
