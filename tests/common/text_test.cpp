#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace orva {
namespace {

TEST(Text, BoundedCopyAndAppend) {
    char buffer[8];
    int size = sizeof buffer;
    TextCopyBounded(buffer, "abcdefghij", &size);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(size, 7);

    size = sizeof buffer;
    TextCopyBounded(buffer, "ab", &size);
    EXPECT_EQ(size, 2);
    size = sizeof buffer;
    TextAppendBounded(buffer, "cd", &size);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(size, 4);
    size = sizeof buffer;
    TextAppendBounded(buffer, "efghij", &size);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(size, 7);
    size = sizeof buffer;
    TextAppendBounded(buffer, "x", &size);  // full: nothing changes
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(size, 7);
}

TEST(Text, DupAndLengths) {
    char* d = TextDupN("abcdef", 3);
    EXPECT_STREQ(d, "abc");
    TextFree(d);
    d = TextDupN("abcdef", -1);
    EXPECT_STREQ(d, "abcdef");
    TextFree(d);
    EXPECT_EQ(TextDupN("", -1), nullptr);
    EXPECT_EQ(TextDupN(nullptr, -1), nullptr);
    TextFree(nullptr);
    EXPECT_EQ(StrLen(nullptr), 0u);

    EXPECT_EQ(TextPrintableLength("ab\tc\x01z"), 4);
    EXPECT_EQ(TextPrintableLength("ab\x7f"), 2);
    EXPECT_EQ(TextPrintableLength("caf\xe9 ok"), 7);  // 8-bit characters are printable
    EXPECT_EQ(FileNameCharsLength("name.fits|x"), 9);
    EXPECT_EQ(FileNameCharsLength("dir/name"), 3);
    EXPECT_EQ(FileNameCharsLength("with blank"), 10);
    EXPECT_EQ(FileNameCharsLength("\"quoted\""), 0);
    EXPECT_EQ(FileNameCharsLength("a\tb"), 1);
    EXPECT_EQ(FileNameCharsLength("a?b"), 1);

    char tabs[] = "a\tb\t\tc";
    TextTabsToBlanks(tabs);
    EXPECT_STREQ(tabs, "a b  c");

    EXPECT_EQ(CountUntilRepeat("key   value", ' '), 6);
    EXPECT_EQ(CountUntilRepeat("key=value", ' '), 9);
    EXPECT_EQ(CountUntilRepeat("==x", '='), 2);
}

TEST(Text, RemoveChar) {
    char quoted[] = "'O''Brien'";
    EXPECT_EQ(TextRemoveChar(quoted, '\''), 0);
    EXPECT_STREQ(quoted, "O'Brien");
    char triple[] = "a'''b";
    TextRemoveChar(triple, '\'');
    EXPECT_STREQ(triple, "a'b");
    char four[] = "''''";
    TextRemoveChar(four, '\'');
    EXPECT_STREQ(four, "''");
    char none[] = "plain";
    TextRemoveChar(none, 'x');
    EXPECT_STREQ(none, "plain");
}

TEST(Text, WordLists) {
    const char list[] = "fits\0FIT\0*fts\0raw\0";
    EXPECT_EQ(FindWordInList("FITS", list), 0);
    EXPECT_EQ(FindWordInList("fit", list), 0);
    EXPECT_EQ(FindWordInList("fts", list), -1);   // starred entries are skipped
    EXPECT_EQ(FindWordInList("*fts", list), -1);
    EXPECT_EQ(FindWordInList("fi", list), -1);
    EXPECT_EQ(FindWordInList("fitsx", list), -1);
    EXPECT_EQ(FindWordInList("raw", list), 0);
    EXPECT_EQ(FindWordPrefixInList("raw.gz", list, 3), 0);
    EXPECT_EQ(FindWordPrefixInList("rawgz", list, 4), -1);
    EXPECT_EQ(FindWordPrefixInList("Fitsgz", list, 4), 0);

    // Entries after the 1024th are not looked at.
    std::string big;
    for (int i = 0; i < 1024; ++i) big += "w" + std::to_string(i) + '\0';
    std::string more = big + "late" + '\0' + '\0';
    EXPECT_EQ(FindWordInList("w1023", more.c_str()), 0);
    EXPECT_EQ(FindWordInList("late", more.c_str()), -1);
}

TEST(Text, Checksums) {
    // Values from Python's zlib.crc32 and the CRC-16/MODBUS check value 0x4B37.
    EXPECT_EQ(TextCrc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(TextCrc32("a"), 0xE8B7BE43u);
    EXPECT_EQ(TextCrc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(TextCrc32(""), 0u);
    EXPECT_EQ(TextCrc32(nullptr), 0u);

    EXPECT_EQ(NameHash24("123456789"), 0x4B7F37u);  // (0x4B37 << 8) | 0x4B37
    EXPECT_EQ(NameHash24("affine"), 0xBDBF22u);
    EXPECT_EQ(NameHash24("convl"), 0x8CBEBAu);
    EXPECT_EQ(NameHash24("A"), 0x707F7Fu);
    EXPECT_EQ(NameHash24(""), 0xFFFFFFu);
}

TEST(Text, CountPointers) {
    static int dummy;
    std::vector<const void*> list(400, &dummy);
    auto counted = [&](size_t n) {
        list.assign(n, &dummy);
        list.push_back(nullptr);
        return std::make_pair(CountPointers(list.data()), CountPointers256(list.data()));
    };
    EXPECT_EQ(counted(0), std::make_pair(0, 0));
    EXPECT_EQ(counted(3), std::make_pair(3, 3));
    EXPECT_EQ(counted(255), std::make_pair(255, 255));
    EXPECT_EQ(counted(256), std::make_pair(256, 256));
    EXPECT_EQ(counted(300), std::make_pair(300, 256));
    EXPECT_EQ(CountPointers(static_cast<const void* const*>(nullptr)), 0);
    const char* names[] = {"a", "b", nullptr};
    EXPECT_EQ(CountPointers(names), 2);
}

}  // namespace
}  // namespace orva
