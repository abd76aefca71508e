#include "common/clib_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <string>
#include <tuple>
#include <utility>
#include <algorithm>

namespace orva {
namespace {

static constexpr ClibConstString kLabel{"constant label"};

int32_t Count(const char* s) { return StrHeader(s)->count; }
uint32_t Capacity(const char* s) { return StrHeader(s)->capacity; }
// The text, checked against the counted length kept in front of it.
std::string Held(const char* s) {
    if (s == nullptr) return "<null>";
    if (StrLength(s) != std::strlen(s))
        return "<counted " + std::to_string(StrLength(s)) + ": " + s + ">";
    return s;
}

TEST(ClibString, DupHeader) {
    ClibString s = StrDup("abc", -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Held(s), "abc");
    EXPECT_TRUE(StrIsClib(s) && StrIsHeap(s));
    EXPECT_EQ(std::memcmp(s - 4, "XSRW", 4), 0);
    EXPECT_GE(Capacity(s), 4u);
    // The header layout the rest of the system relies on.
    int32_t count;
    uint32_t length, capacity;
    std::memcpy(&count, s - 16, 4);
    std::memcpy(&length, s - 12, 4);
    std::memcpy(&capacity, s - 8, 4);
    EXPECT_EQ(std::tuple(count, length, capacity), std::tuple(1, 3u, Capacity(s)));
    StrRelease(s);

    EXPECT_EQ(StrDup(nullptr, -1), nullptr);
    // A length beyond the text stops at its end; requests are cut to 0x100001 bytes.
    std::string big(0x100010, 'q');
    const std::pair<std::string, int> dups[] = {{"abcdef", 2}, {"xy", 100}, {big, -1}};
    for (const auto& [text, length] : dups) {
        ClibString part = StrDup(text.c_str(), length);
        EXPECT_EQ(Held(part),
                  text.substr(0, std::min<size_t>(length < 0 ? text.size() : length, 0x100000)));
        StrRelease(part);
    }
}

TEST(ClibString, ConstantsAndPlainTexts) {
    const char* label = kLabel;
    EXPECT_TRUE(StrIsClib(label) && StrIsConst(label) && !StrIsHeap(label));
    EXPECT_EQ(std::memcmp(label - 4, "XSRO", 4), 0);
    EXPECT_EQ(StrLength(label), 14u);  // counted

    ClibString holder = StrDup("old", -1);
    EXPECT_TRUE(StrShare(&holder, label));  // releases "old", stores the constant as is
    EXPECT_EQ(holder, label);
    StrRelease(holder);  // nothing happens to a constant
    StrReleaseClear(&holder);
    EXPECT_EQ(holder, label);  // not a heap string: the holder keeps it
    EXPECT_STREQ(label, "constant label");

    // Plain texts: not owned, refused by StrShare. A plain text with bytes in
    // front that look like part of a header is still plain.
    alignas(32) char buffer[64] = {};
    std::memcpy(buffer + 12, "XSRQ", 4);
    std::strcpy(buffer + 16, "plain");
    EXPECT_TRUE(StrIsClib(buffer + 16));  // only "XSR" is compared
    EXPECT_FALSE(StrIsHeap(buffer + 16) || StrIsConst(buffer + 16));
    EXPECT_EQ(StrHeader(buffer + 16), nullptr);
    EXPECT_FALSE(StrIsClib(buffer + 17));
    std::memcpy(buffer + 12, "XSQW", 4);
    EXPECT_FALSE(StrIsClib(buffer + 16));
    // A heap text whose block starts at 16 modulo 32: the bytes in front of it
    // are the allocator's, and looking at them must be harmless.
    std::vector<char*> blocks;
    char* plainHeap = nullptr;
    for (size_t size = 10; size < 400 && plainHeap == nullptr; ++size) {
        char* b = static_cast<char*>(std::malloc(size));
        blocks.push_back(b);
        if (reinterpret_cast<uintptr_t>(b) % 32 == 16) plainHeap = b;
    }
    if (plainHeap != nullptr) {
        std::strcpy(plainHeap, "heap text");
        EXPECT_FALSE(StrIsHeap(plainHeap));
        EXPECT_EQ(StrLength(plainHeap), 9u);
        StrRelease(plainHeap);  // not ours: left alone
    }
    for (char* b : blocks) std::free(b);
    EXPECT_FALSE(StrIsClib("literal") || StrIsClib(nullptr));
    EXPECT_EQ(std::pair(StrLength(buffer + 16), StrLength(nullptr)), std::pair(5u, 0u));
    EXPECT_FALSE(StrShare(&holder, buffer + 16) || holder != nullptr);
    EXPECT_FALSE(StrShare(&holder, nullptr));
    StrRelease(buffer + 16);
    EXPECT_STREQ(buffer + 16, "plain");
}

TEST(ClibString, ShareReleaseAndAssignNeverChangesOtherHolders) {
    ClibString shared = StrDup("shared", -1);
    ClibString second = nullptr;
    EXPECT_TRUE(StrShare(&second, shared));
    EXPECT_EQ(std::pair(second, Count(shared)), std::pair(shared, 2));
    StrReleaseClear(&second);
    EXPECT_EQ(std::pair(second, Count(shared)), std::pair(ClibString(nullptr), 1));
    StrReleaseClear(&shared);
    EXPECT_EQ(shared, nullptr);

    // Room enough: a shared string still is not written in place.
    ClibString a = nullptr;
    ASSERT_TRUE(StrReserve(&a, 64));
    ASSERT_TRUE(StrAssign(&a, "first", -1));
    ClibString b = nullptr;
    ASSERT_TRUE(StrShare(&b, a));
    ASSERT_TRUE(StrAssign(&b, "second", -1));
    EXPECT_EQ(Held(a) + "|" + Held(b), "first|second");
    EXPECT_EQ(std::pair(Count(a), Count(b)), std::pair(1, 1));

    // Too small: the same.
    ClibString c = StrDup("x", -1);
    ClibString d = nullptr;
    ASSERT_TRUE(StrShare(&d, c));
    ASSERT_TRUE(StrAssign(&d, "a much longer text", -1));
    EXPECT_EQ(Held(c) + "|" + Held(d), "x|a much longer text");
    for (ClibString owned : {a, b, c, d}) StrRelease(owned);
}

TEST(ClibString, AssignInPlaceGrowAndPrefix) {
    ClibString s = nullptr;
    ASSERT_TRUE(StrAssign(&s, nullptr, -1));  // a missing text assigns ""
    EXPECT_EQ(Held(s), "");
    ASSERT_TRUE(StrReserve(&s, 32));
    const char* before = s;
    ASSERT_TRUE(StrAssign(&s, "hello world", 5));
    EXPECT_EQ(s, before);  // sole owner with room: written in place
    EXPECT_EQ(Held(s), "hello");
    // The source may be the string itself.
    ASSERT_TRUE(StrAssign(&s, s + 2, -1));
    EXPECT_EQ(Held(s), "llo");
    std::string longer(100, 'z');
    ASSERT_TRUE(StrAssign(&s, longer.c_str(), -1));
    EXPECT_EQ(Held(s), longer);
    EXPECT_GE(Capacity(s), 101u);
    // A grow whose source is the string's own text.
    ClibString t = StrDup("abcdef", -1);
    ASSERT_TRUE(StrAssign(&t, t, -1));
    EXPECT_STREQ(t, "abcdef");
    // A plain text in the holder is replaced, not touched.
    const char* plain = "plain";
    ClibString h = plain;
    ASSERT_TRUE(StrAssign(&h, "new", -1));
    EXPECT_TRUE(StrIsHeap(h) && Held(plain) == "plain");
    for (ClibString owned : {h, s, t}) StrRelease(owned);
}

TEST(ClibString, ReserveAndCopy) {
    ClibString s = nullptr;
    ASSERT_TRUE(StrReserve(&s, 0));
    EXPECT_GE(Capacity(s), 1u);
    EXPECT_EQ(Held(s), "");
    ASSERT_TRUE(StrAssign(&s, "keep", -1));
    ASSERT_TRUE(StrReserve(&s, 0x200000));
    EXPECT_EQ(Capacity(s), 0x100001u);
    EXPECT_EQ(Held(s), "keep");  // a sole owner keeps its text

    // A shared string is replaced by a new empty one; the other owner keeps its text.
    ClibString other = nullptr;
    ASSERT_TRUE(StrShare(&other, s));
    ASSERT_TRUE(StrReserve(&other, 0x100001 + 5));  // room is there already: unchanged
    EXPECT_EQ(other, s);
    ClibString small = StrDup("ab", -1);
    ClibString smallOther = nullptr;
    ASSERT_TRUE(StrShare(&smallOther, small));
    ASSERT_TRUE(StrReserve(&smallOther, 50));
    EXPECT_NE(smallOther, small);
    EXPECT_EQ(Held(smallOther) + "|" + Held(small) + "|" + std::to_string(Count(small)), "|ab|1");

    // StrCopyInto: length field and characters; a target too small is refused.
    EXPECT_TRUE(StrCopyInto(smallOther, small));
    EXPECT_EQ(Held(smallOther), "ab");
    EXPECT_TRUE(StrCopyInto(smallOther, nullptr));
    EXPECT_EQ(Held(smallOther), "");
    EXPECT_FALSE(StrCopyInto(small, "too long for three"));
    EXPECT_STREQ(small, "ab");

    // StrSetCopy.
    ClibString holder = nullptr;
    EXPECT_TRUE(StrSetCopy(&holder, "copy") && Held(holder) == "copy");
    EXPECT_TRUE(StrSetCopy(&holder, nullptr) && holder == nullptr);

    // Direct writes through the buffer of a sole owner.
    char* buffer = StrBuffer(smallOther);
    ASSERT_NE(buffer, nullptr);
    std::strcpy(buffer, "direct");
    EXPECT_TRUE(StrSetLength(smallOther, 6));
    EXPECT_EQ(Held(smallOther), "direct");
    EXPECT_EQ(StrBuffer(kLabel), nullptr);

    for (ClibString owned : {s, other, small, smallOther}) StrRelease(owned);
}

}  // namespace
}  // namespace orva
