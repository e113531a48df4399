// Typed preference values: their kinds, and the numbers and texts they
// stand for.
#include "tests/support/test_support.h"

#include "platform/value.h"

#include <string>

TEST(Value, KindsAndConversions) {
    using namespace platform;
    EXPECT_TRUE(isNil(Value()));
    EXPECT_TRUE(isNumber(Value(true)));
    EXPECT_TRUE(isNumber(Value(3LL)));
    EXPECT_TRUE(isNumber(Value(0.5)));
    EXPECT_FALSE(isNumber(Value(std::string("1"))));
    EXPECT_TRUE(isString(Value(std::string())));

    EXPECT_EQ(stringValue(Value(true)), "1");
    EXPECT_EQ(stringValue(Value(false)), "0");
    EXPECT_EQ(stringValue(Value(-12LL)), "-12");
    EXPECT_EQ(stringValue(Value(0.5)), "0.5");
    EXPECT_EQ(stringValue(Value(2.0)), "2");
    EXPECT_EQ(stringValue(Value(0.1)), "0.1");
    EXPECT_EQ(stringValue(Value()), "");

    EXPECT_EQ(doubleValue(Value(std::string("  2.5e1xyz"))), 25.0);
    EXPECT_EQ(doubleValue(Value(std::string("-.5"))), -0.5);
    EXPECT_EQ(doubleValue(Value(std::string("abc"))), 0.0);
    EXPECT_EQ(doubleValue(Value(std::string("0x10"))), 0.0);  // no hex
    EXPECT_EQ(doubleValue(Value(std::string("inf"))), 0.0);
    EXPECT_EQ(doubleValue(Value(std::string("7e"))), 7.0);
    EXPECT_EQ(doubleValue(Value(true)), 1.0);
    EXPECT_EQ(doubleValue(Value(1LL << 40)), double(1LL << 40));

    EXPECT_STREQ(valueClassName(Value(1LL)), "NSNumber");
    EXPECT_STREQ(valueClassName(Value(std::string("x"))), "NSString");
    EXPECT_EQ(describe(Value()), "(null)");
    EXPECT_EQ(describe(Value(std::string("black"))), "black");
}
