// The JSON reader verify --manifest trusts: what it takes, and where it stops on what it does not.
#include <gtest/gtest.h>

#include "brxtool/json_read.h"

TEST(json_read, values_and_the_place_of_each_fault)
{
    const std::pair<std::string, std::string> cases[] = {
        {"{\"a\": [1, -2.5e+3, true, null], \"b\": \"x\\u00e9\\ud83d\\ude00\\n\"}", ""},
        {std::string(64, '[') + std::string(64, ']'), ""},
        {std::string(66, '['), "byte 65: nested too deep"},
        {"", "byte 0: a value was expected"},
        {"{\"a\" 1}", "byte 5: ':' was expected"},
        {"[1 2]", "byte 3: ',' or ']' was expected"},
        {"\"abc", "byte 4: the string does not end"},
        {"\"\\q\"", "byte 3: an unknown escape"},
        {"\"\\u12\"", "byte 3: four hexadecimal digits were expected"},
        {"\"\\u12x4\"", "byte 5: a hexadecimal digit was expected"},
        {"\"\\ud800\\u0041\"", "byte 13: a low surrogate was expected"},
        {"\"a\tb\"", "byte 3: a control character stands in a string"},
        {"-", "byte 1: a digit was expected"},
        {"1.", "byte 2: a digit was expected"},
        {"tru", "byte 0: a value was expected"},
        {"{} {}", "byte 3: the document goes on after its value"},
    };
    for (const auto& [text, why] : cases) {
        json_value_t value;
        std::string reason;
        EXPECT_EQ(parse_json(text, value, reason), why.empty()) << text;
        EXPECT_EQ(reason, why) << text;
    }
    json_value_t value;
    std::string reason;
    ASSERT_TRUE(parse_json(cases[0].first, value, reason));
    uint64_t number = 0;
    EXPECT_EQ(value["b"].text, "x\xC3\xA9\xF0\x9F\x98\x80\n");
    EXPECT_TRUE(value["a"].items[0].whole(number) && number == 1);
    EXPECT_FALSE(value["a"].items[1].whole(number));
    EXPECT_EQ(value["missing"]["deeper"].kind, json_value_t::kind_t::null);
    ASSERT_TRUE(parse_json("[18446744073709551615, 18446744073709551616]", value, reason));
    EXPECT_TRUE(value.items[0].whole(number) && number == UINT64_MAX);
    EXPECT_FALSE(value.items[1].whole(number));
}
