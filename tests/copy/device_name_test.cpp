// Device names: the four forms in their order, sscanf's reading of the numbers, the paths built.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "copy/device_name.h"

TEST(device_name, recognises_the_four_forms_in_order)
{
    // path nullptr: a wrong name
    const struct { const char *name, *lowered, *path; int number, bus, target; } cases[] = {
        {"\\\\.\\TAPE0", "\\\\.\\tape0", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape", "\\\\.\\tape", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape1junk", "\\\\.\\tape1junk", "\\\\.\\Tape1", 1, 0, 0},
        {"\\\\.\\SCSI10:1:7", "\\\\.\\scsi10:1:7", "\\\\.\\Scsi10:", 10, 1, 7},
        {"\\\\.\\scsi3:x:5", "\\\\.\\scsi3:x:5", "\\\\.\\Scsi3:", 3, 0, 0},
        {"TAPE7", "tape7", "\\\\.\\Tape7", 7, 0, 0},
        {"\\\\.\\CDROM0", "\\\\.\\cdrom0", nullptr, 0, 0, 0},
        {"\\\\?\\tape0", "\\\\?\\tape0", nullptr, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        char scratch[64];
        device_name_t device;
        device.number = device.bus = device.target = 9;  // numbers the name lacks become 0
        const bool recognised = recognise_device_name(name.data(), scratch, sizeof scratch, device);
        EXPECT_EQ(name, c.lowered) << c.name;
        ASSERT_EQ(recognised, c.path != nullptr) << c.name;
        if (!recognised)
            continue;
        memset(scratch, 'x', sizeof scratch);  // the path is a copy of its own
        EXPECT_STREQ(device.path, c.path) << c.name;
        EXPECT_EQ(std::vector<int>({device.number, device.bus, device.target}), std::vector<int>({c.number, c.bus, c.target}))
            << c.name;
    }
}
