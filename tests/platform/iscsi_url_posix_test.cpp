// The iscsi:// device string: what it names, and the forms refused before any connection.
#include <gtest/gtest.h>

#include "platform/posix/iscsi_posix.h"
#include "platform/posix/transports.h"

namespace {

TEST(iscsi_url, well_formed_strings_name_portal_target_and_lun) {
    const struct {
        const char* text;
        const char* portal;
        const char* target;
        int lun;
    } cases[] = {
        {"iscsi://127.0.0.1:3261/iqn.2026-12.org.brx.test:tape/1", "127.0.0.1:3261",
         "iqn.2026-12.org.brx.test:tape", 1},
        {"iscsi://tapehost/iqn.2004-01.com.example:vtl.drive0/0", "tapehost:3260",
         "iqn.2004-01.com.example:vtl.drive0", 0},
        {"iscsi://[::1]:3262/iqn.x:y/16383", "[::1]:3262", "iqn.x:y", 16383},
        {"iscsi://h:65535/eui.0123456789abcdef/00012", "h:65535", "eui.0123456789abcdef", 12},
    };
    for (const auto& c : cases) {
        posix::iscsi_address_t address;
        ASSERT_EQ(posix::parse_iscsi_url(c.text, address), NO_ERROR) << c.text;
        EXPECT_EQ(address.portal, c.portal) << c.text;
        EXPECT_EQ(address.target, c.target) << c.text;
        EXPECT_EQ(address.lun, c.lun) << c.text;
    }
}

TEST(iscsi_url, malformed_strings_are_refused_and_open_nothing) {
    const char* cases[] = {
        "", "iscsi:/host/iqn.x:y/1", "ISCSI://host/iqn.x:y/1", "iscsi://host",
        "iscsi://host/iqn.x:y", "iscsi://host/iqn.x:y/", "iscsi://host/iqn.x:y/1/",         // LUN missing, empty, followed
        "iscsi://host/iqn.x:y/-1", "iscsi://host/iqn.x:y/1a", "iscsi://host/iqn.x:y/16384",  // beyond the flat LUN space
        "iscsi://host//1", "iscsi:///iqn.x:y/1", "iscsi://:3260/iqn.x:y/1",                  // no target, no host
        "iscsi://host:/iqn.x:y/1", "iscsi://host:0/iqn.x:y/1", "iscsi://host:65536/iqn.x:y/1",
        "iscsi://host:3260:1/iqn.x:y/1", "iscsi://[::1/iqn.x:y/1", "iscsi://[::1]x/iqn.x:y/1",
        "iscsi://user%secret@host/iqn.x:y/1", "iscsi://host/iqn x:y/1",  // credentials are not supported
    };
    for (const char* text : cases) {
        posix::iscsi_address_t address;
        address.lun = 99;
        EXPECT_EQ(posix::parse_iscsi_url(text, address), ERROR_INVALID_NAME) << text;
        EXPECT_EQ(address.lun, 99) << text;
        std::unique_ptr<posix::scsi_device_t> device;
        EXPECT_EQ(posix::open_iscsi_device(text, device), ERROR_INVALID_NAME) << text;
        EXPECT_FALSE(device) << text;
    }
    posix::iscsi_address_t address;
    EXPECT_EQ(posix::parse_iscsi_url(nullptr, address), ERROR_INVALID_NAME);
}

}  // namespace
