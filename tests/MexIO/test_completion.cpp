// The check that ends a sequence reports the instrument's error entries as
// the instrument wrote them.

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "MexIO/Completion.h"

using namespace onex;

TEST(Completion, ErrorEntriesAreShownAsTheInstrumentSentThem) {
    std::deque<std::string> queue = {"+10,\"Device-specific;overheated\"",
                                     " -221,\"Settings\aconflict\" \r", "+0,\"No error\""};
    const Status s = awaitCompletion([&](std::string_view q) -> Status {
        if (q == "*OPC?") return {0, "1"};
        std::string e = queue.front();
        queue.pop_front();
        return {0, e};
    });
    EXPECT_EQ(s.status, mexio::kInstrumentError);
    // The sign stays; surrounding blanks go, a control byte is escaped.
    EXPECT_EQ(s.response, "+10,\"Device-specific;overheated\"; -221,\"Settings\\x07conflict\"");
}
