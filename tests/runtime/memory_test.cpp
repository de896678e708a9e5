// Aligned blocks, DynArray growth and the byte routines' overlap rules.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/dyn_array.h"
#include "runtime/memory.h"

TEST(AlignedAlloc, AddressIsAlignedWithStartStoredBelow) {
    for (uint32_t alignment : {1u, 16u, 64u}) {
        for (uint32_t size : {0u, 1u, 17u, 4096u}) {
            auto* address = static_cast<uint8_t*>(alignedAlloc(size, alignment));
            ASSERT_NE(address, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(address) % alignment, 0u);
            uint64_t start;
            std::memcpy(&start, address - 8, 8);
            EXPECT_GE(reinterpret_cast<uintptr_t>(address) - start, 8u);
            EXPECT_LT(reinterpret_cast<uintptr_t>(address) - start, 8u + alignment);
            std::memset(address, 0xAB, size);  // the whole size is usable
            alignedFree(address);
        }
    }
    alignedFree(nullptr);
}

TEST(AlignedAlloc, HugeSizeFailsInsteadOfWrapping) {
    EXPECT_EQ(alignedAlloc(0xFFFFFFF8u, 16), nullptr);
}

TEST(DynArray, AppendGrowsFrom32ByDoubling) {
    DynArray a;
    a.init(4);
    EXPECT_EQ(a.items, nullptr);
    for (uint32_t i = 0; i < 32; ++i) *static_cast<uint32_t*>(a.append()) = i;
    EXPECT_EQ(a.capacity, 32u);
    uint8_t* before = a.items;
    *static_cast<uint32_t*>(a.append()) = 32;
    EXPECT_EQ(a.capacity, 64u);
    EXPECT_NE(a.items, before);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.items) % 16, 0u);
    for (uint32_t i = 0; i <= 32; ++i) EXPECT_EQ(a.at<uint32_t>(i), i);
    a.release();
    a.release();  // second release sees null storage
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.elementSize, 4u);
}

TEST(DynArray, ResizeTakesExactlyAndShrinkKeepsStorage) {
    DynArray a;
    a.init(8, 100);
    EXPECT_EQ(a.capacity, 100u);
    EXPECT_EQ(a.count, 100u);
    uint8_t* storage = a.items;
    a.resize(10);
    EXPECT_EQ(a.count, 10u);
    EXPECT_EQ(a.capacity, 100u);
    EXPECT_EQ(a.items, storage);
    a.release();
}

TEST(DynArray, FindAndRemoveAt) {
    DynArray a;
    a.init(2);
    const uint16_t key = 7;
    EXPECT_EQ(a.find(&key), -1);
    for (uint16_t v : {1, 7, 3, 7}) *static_cast<uint16_t*>(a.append()) = v;
    EXPECT_EQ(a.find(&key), 1);
    a.removeAt(1);
    EXPECT_EQ(a.count, 3u);
    EXPECT_EQ(a.at<uint16_t>(0), 1);
    EXPECT_EQ(a.at<uint16_t>(1), 3);
    EXPECT_EQ(a.at<uint16_t>(2), 7);
    EXPECT_EQ(a.find(&key), 2);
    a.removeAt(a.count - 1);
    EXPECT_EQ(a.count, 2u);
    EXPECT_EQ(a.at<uint16_t>(1), 3);
    a.release();
}

TEST(DynArray, RemoveAtFromAFullArrayShiftsOnlyTheElementsAfterIt) {
    // 8-byte elements filled to capacity: the aligned block leaves 7 bytes
    // after its end, so a shift that took one element too many would read
    // past the heap block, which AddressSanitizer reports.
    for (const uint32_t index : {0u, 13u, 31u}) {
        DynArray a;
        a.init(8);
        for (uint64_t v = 0; v < 32; ++v) *static_cast<uint64_t*>(a.append()) = 100 + v;
        ASSERT_EQ(a.count, a.capacity);
        a.removeAt(index);
        ASSERT_EQ(a.count, 31u);
        for (uint32_t i = 0; i < a.count; ++i)
            EXPECT_EQ(a.at<uint64_t>(i), 100 + i + (i >= index ? 1 : 0)) << "removed " << index << ", element " << i;
        a.release();
    }
}

TEST(Bytes, MoveBytesHandlesOverlapBothWays) {
    char up[] = "abcdef";
    moveBytes(up + 1, up, 5);  // dst inside the source: back to front
    EXPECT_STREQ(up, "aabcde");
    char down[] = "abcdef";
    moveBytes(down, down + 1, 5);
    EXPECT_STREQ(down, "bcdeff");
}

TEST(Bytes, FillCompareAndStrings) {
    uint8_t buffer[11];
    EXPECT_EQ(fillWords(buffer, 0x1234, 11), buffer);
    for (uint8_t b : buffer) EXPECT_EQ(b, 0x34);
    fillBytes(buffer, 0, 11);
    uint8_t zeros[11] = {};
    EXPECT_TRUE(bytesEqual(buffer, zeros, 11));
    buffer[10] = 1;
    EXPECT_FALSE(bytesEqual(buffer, zeros, 11));
    EXPECT_TRUE(bytesEqual(buffer, zeros, 0));

    char text[8] = "XXXXXXX";
    copyChars(text, "ab");  // no terminator: what was there stays
    EXPECT_STREQ(text, "abXXXXX");
    EXPECT_EQ(stringLength(text), 7u);
    EXPECT_EQ(stringLength(""), 0u);
}
