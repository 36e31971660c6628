#include "workflows/field_number.h"

#include <gtest/gtest.h>

using ostrel::workflows::FieldNumber;

TEST(FieldNumber, TakesTheLeadingNumericPartAndRoundsHalvesToEven) {
    const struct {
        const char* text;
        int value;
    } accepted[] = {
        {"", 0},      {"abc", 0},     {"12", 12},       {"  12", 12},   {"12abc", 12},
        {"12 3", 12}, {"+7", 7},      {"2.5", 2},       {"3.5", 4},     {"0.5", 0},
        {"1.5", 2},   {"2.4999", 2},  {"2.5000001", 3}, {"2.6", 3},     {".5", 0},
        {".51", 1},   {"254.5", 254}, {"255", 255},     {"255.4", 255}, {"-0.4", 0},
        {"-0.5", 0},  {"007", 7},     {"1e3", 1},       {"2,5", 2},     {"4.", 4},
    };
    for (const auto& c : accepted) {
        const auto value = FieldNumber(c.text);
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_EQ(*value, c.value) << c.text;
    }
}

TEST(FieldNumber, RefusesWhatDoesNotFitOneByte) {
    for (const char* text :
         {"256", "255.5", "-1", "-0.6", "1000", "99999999999999999999", "-3.5"}) {
        EXPECT_FALSE(FieldNumber(text).has_value()) << text;
    }
}
