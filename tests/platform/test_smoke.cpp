#include <gtest/gtest.h>

#include "platform/error.h"

TEST(Error, CarriesItsMessage) {
    sendrix::FileError e("In /x kann nicht geschrieben werden", 13);
    EXPECT_STREQ(e.what(), "In /x kann nicht geschrieben werden");
    EXPECT_EQ(e.errorNumber(), 13);
}
