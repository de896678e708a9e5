// Heap and aligned allocation, plus the byte and string routines that every
// other subsystem uses to copy, compare and fill memory.
#pragma once
#include <cstdint>

// Plain heap block of `bytes` bytes; contents undefined.
void* allocate(uint32_t bytes);
// Returns a block from `allocate` to the heap; null is ignored.
void deallocate(void* pointer);
// Calls of `allocate` so far, on all threads (alignedAlloc goes through it).
// For tests that prove a code path allocates nothing.
uint64_t allocationCount();

// Block whose address is a multiple of `alignment` (a power of two), with the
// heap block's start stored in the 8 bytes just below the returned address.
void* alignedAlloc(uint32_t size, uint32_t alignment);
// Frees a block from `alignedAlloc`; null is ignored.
void alignedFree(void* address);

// Copies n bytes front to back; the ranges must not overlap.
void copyBytes(void* dst, const void* src, uint32_t n);
// Copies n bytes, back to front when dst lies strictly inside (src, src + n).
void moveBytes(void* dst, const void* src, uint32_t n);
// True when the first n bytes are equal (true for n = 0).
bool bytesEqual(const void* a, const void* b, uint32_t n);
// Writes the low byte of value into n bytes, one at a time.
void fillBytes(void* dst, uint32_t value, uint32_t n);
// Same effect as fillBytes, four bytes at a time then the tail; returns dst.
void* fillWords(void* dst, uint32_t value, uint32_t n);
// Bytes before the terminating NUL.
uint32_t stringLength(const char* s);
// Copies the characters of src up to (not including) its NUL; no terminator.
void copyChars(char* dst, const char* src);
