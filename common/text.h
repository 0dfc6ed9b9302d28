// common/text.h: bounded text helpers. Every copy is cut to its buffer and
// always terminated; the caller learns whether it was cut and decides.
// Plain loops, no C runtime: the program that uses them may carry none.
#pragma once
#include <cstddef>
#include <initializer_list>

// Characters before the terminating NUL.
inline size_t TextLength(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// Byte for byte, no locale: "ENGLISH" equals only "ENGLISH".
inline bool IsSameText(const char* first, const char* second)
{
    size_t i = 0;
    for (; first[i] != '\0'; ++i) {
        if (first[i] != second[i])
            return false;
    }
    return second[i] == '\0';
}

// Whether `wanted` occurs among the first `size` bytes of data, NUL or not.
inline bool ContainsByte(const char* data, size_t size, char wanted)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == wanted)
            return true;
    }
    return false;
}

// Copies as much of src as fits and always terminates dst.
// Returns false when dst holds a cut copy.
inline bool CopyText(char* dst, size_t dstSize, const char* src)
{
    if (dstSize == 0)
        return src[0] == '\0';
    size_t i = 0;
    for (; i + 1 < dstSize && src[i] != '\0'; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
    return src[i] == '\0';
}

template <size_t N>
bool CopyText(char (&dst)[N], const char* src)
{
    return CopyText(dst, N, src);
}

// Writes the pieces one after another, as much as fits, and always
// terminates dst. Returns false when dst holds a cut text. No length limit
// of its own, unlike the system's formatter (wsprintfA stops at 1,024).
inline bool JoinText(char* dst, size_t dstSize, std::initializer_list<const char*> pieces)
{
    if (dstSize > 0)
        dst[0] = '\0';  // no pieces at all still leave an empty text
    size_t used = 0;
    for (const char* piece : pieces) {
        if (!CopyText(dst + used, dstSize - used, piece))
            return false;
        used += TextLength(piece);
    }
    return true;
}
