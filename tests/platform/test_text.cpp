// Texts from outside shown on a terminal or in a window.

#include <gtest/gtest.h>

#include "platform/Text.h"

using onex::platform::printable;
using onex::platform::shownReply;

TEST(Text, PrintableIsAsciiWhateverTheBytes) {
    // Control bytes, DEL and every byte from 0x80 up (a Latin-1 micro sign, a
    // C1 control, the two bytes of a UTF-8 letter) come out as \xNN.
    EXPECT_EQ(printable("a\tb\x7f\x01"), "a\\tb\\x7f\\x01");
    EXPECT_EQ(printable("5\xb5s \x9b \xc3\xa9"), "5\\xb5s \\x9b \\xc3\\xa9");
    // The cut counts the bytes taken, before escaping.
    EXPECT_EQ(shownReply(std::string(79, 'x') + "\xff\xff"), std::string(79, 'x') + "\\xff...");
}
