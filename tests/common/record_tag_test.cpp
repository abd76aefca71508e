#include "common/record_tag.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orva {
namespace {

TEST(RecordTag, FourCCHasTheCharactersInMemoryOrder) {
    uint32_t tag = FourCC("GWIN");
    char bytes[4];
    std::memcpy(bytes, &tag, 4);
    EXPECT_EQ(std::memcmp(bytes, "GWIN", 4), 0);
    static_assert(FourCC("GGRP") != FourCC("GWIN"));
}

TEST(RecordTag, CheckTagSafeComparesTheFirstWord) {
    struct Record {
        char tag[4];
        int value;
    };
    Record window{{'G', 'W', 'I', 'N'}, 7};
    EXPECT_TRUE(CheckTagSafe(&window, FourCC("GWIN")));
    EXPECT_FALSE(CheckTagSafe(&window, FourCC("GGRP")));
    EXPECT_FALSE(CheckTagSafe(nullptr, FourCC("GWIN")));
    // Any byte alignment is read safely.
    char raw[8] = {'x', 'G', 'G', 'R', 'P', 0, 0, 0};
    EXPECT_TRUE(CheckTagSafe(raw + 1, FourCC("GGRP")));
}

}  // namespace
}  // namespace orva
