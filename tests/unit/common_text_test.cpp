#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "common/text.h"

namespace {

TEST(JoinText, WritesWhatFitsAndAlwaysTerminates)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> pieces;
        size_t size;
        bool whole;
        const char* text;  // null: nothing to read, with no room
    } cases[] = {
        {"two pieces", {"ab", "cd"}, 5, true, "abcd"},
        {"one byte short", {"ab", "cd"}, 4, false, "abc"},
        {"cut in the first piece", {"abc", "d"}, 2, false, "a"},
        {"empty pieces", {"", ""}, 1, true, ""},
        {"no pieces", {}, 8, true, ""},
        {"no room", {"a"}, 0, false, nullptr},
        {"no pieces and no room", {}, 0, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c.whole, JoinText(buffer, c.size, c.pieces));
        // A text without its terminator inside the size reads on into the x's.
        if (c.text) {
            EXPECT_EQ(std::string(c.text), std::string(buffer, strnlen(buffer, c.size)));
        }
        EXPECT_EQ('x', buffer[c.size]) << "wrote past the size";
    }
}

}  // namespace
