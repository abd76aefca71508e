#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace orva {
namespace {

TEST(Text, BoundedCopyAndAppend) {
    char buffer[8];
    // Runs a bounded call with the whole buffer offered: the text and the size it reports.
    auto bounded = [&](void (*f)(char*, const char*, int*), const char* text) {
        int size = sizeof buffer;
        f(buffer, text, &size);
        return std::pair(std::string(buffer), size);
    };
    using Result = std::pair<std::string, int>;
    EXPECT_EQ(bounded(TextCopyBounded, "abcdefghij"), Result("abcdefg", 7));
    EXPECT_EQ(bounded(TextCopyBounded, "ab"), Result("ab", 2));
    EXPECT_EQ(bounded(TextAppendBounded, "cd"), Result("abcd", 4));
    EXPECT_EQ(bounded(TextAppendBounded, "efghij"), Result("abcdefg", 7));
    EXPECT_EQ(bounded(TextAppendBounded, "x"), Result("abcdefg", 7));  // full: nothing changes
}

TEST(Text, DupAndLengths) {
    char* d = TextDupN("abcdef", 3);
    EXPECT_STREQ(d, "abc");
    TextFree(d);
    d = TextDupN("abcdef", -1);
    EXPECT_STREQ(d, "abcdef");
    TextFree(d);
    EXPECT_TRUE(TextDupN("", -1) == nullptr && TextDupN(nullptr, -1) == nullptr);
    TextFree(nullptr);
    EXPECT_EQ(StrLen(nullptr), 0u);

    // 8-bit characters are printable.
    EXPECT_EQ(std::tuple(TextPrintableLength("ab\tc\x01z"), TextPrintableLength("ab\x7f"),
                         TextPrintableLength("caf\xe9 ok")),
              std::tuple(4, 2, 7));
    const std::pair<const char*, int> names[] = {{"name.fits|x", 9}, {"dir/name", 3},
                                                 {"with blank", 10}, {"\"quoted\"", 0},
                                                 {"a\tb", 1},        {"a?b", 1}};
    for (auto [text, length] : names) EXPECT_EQ(FileNameCharsLength(text), length) << text;

    char tabs[] = "a\tb\t\tc";
    TextTabsToBlanks(tabs);
    EXPECT_STREQ(tabs, "a b  c");

    EXPECT_EQ(std::tuple(CountUntilRepeat("key   value", ' '), CountUntilRepeat("key=value", ' '),
                         CountUntilRepeat("==x", '=')),
              std::tuple(6, 9, 2));
}

TEST(Text, RemoveChar) {
    char quoted[] = "'O''Brien'";
    EXPECT_EQ(TextRemoveChar(quoted, '\''), 0);
    EXPECT_STREQ(quoted, "O'Brien");
    const std::pair<std::string, const char*> cases[] = {
        {"a'''b", "a'b"}, {"''''", "''"}, {"plain", "plain"}};
    for (auto [text, expected] : cases) {
        TextRemoveChar(text.data(), '\'');
        EXPECT_STREQ(text.c_str(), expected);
    }
}

TEST(Text, WordLists) {
    const char list[] = "fits\0FIT\0*fts\0raw\0";
    // Starred entries are skipped.
    const std::pair<const char*, int> words[] = {
        {"FITS", 0}, {"fit", 0}, {"fts", -1}, {"*fts", -1}, {"fi", -1}, {"fitsx", -1}, {"raw", 0}};
    for (auto [word, found] : words) EXPECT_EQ(FindWordInList(word, list), found) << word;
    EXPECT_EQ(std::tuple(FindWordPrefixInList("raw.gz", list, 3),
                         FindWordPrefixInList("rawgz", list, 4),
                         FindWordPrefixInList("Fitsgz", list, 4)),
              std::tuple(0, -1, 0));

    // Entries after the 1024th are not looked at.
    std::string big;
    for (int i = 0; i < 1024; ++i) big += "w" + std::to_string(i) + '\0';
    std::string more = big + "late" + '\0' + '\0';
    EXPECT_EQ(FindWordInList("w1023", more.c_str()), 0);
    EXPECT_EQ(FindWordInList("late", more.c_str()), -1);
}

TEST(Text, Checksums) {
    // Values from Python's zlib.crc32 and the CRC-16/MODBUS check value 0x4B37.
    const std::pair<const char*, uint32_t> crcs[] = {
        {"123456789", 0xCBF43926u}, {"a", 0xE8B7BE43u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {"", 0u}, {nullptr, 0u}};
    for (auto [text, crc] : crcs) EXPECT_EQ(TextCrc32(text), crc) << (text ? text : "(null)");
    // The hash of "123456789" is (0x4B37 << 8) | 0x4B37.
    const std::pair<const char*, uint32_t> hashes[] = {
        {"123456789", 0x4B7F37u}, {"affine", 0xBDBF22u}, {"convl", 0x8CBEBAu}, {"A", 0x707F7Fu},
        {"", 0xFFFFFFu}};
    for (auto [text, hash] : hashes) EXPECT_EQ(NameHash24(text), hash) << text;
}

TEST(Text, CountPointers) {
    static int dummy;
    std::vector<const void*> list(400, &dummy);
    auto counted = [&](size_t n) {
        list.assign(n, &dummy);
        list.push_back(nullptr);
        return std::make_pair(CountPointers(list.data()), CountPointers256(list.data()));
    };
    for (int n : {0, 3, 255, 256, 300})
        EXPECT_EQ(counted(n), std::make_pair(n, std::min(n, 256))) << n;
    EXPECT_EQ(CountPointers(static_cast<const void* const*>(nullptr)), 0);
    const char* names[] = {"a", "b", nullptr};
    EXPECT_EQ(CountPointers(names), 2);
}

}  // namespace
}  // namespace orva
