// common/text.h: bounded text helpers. Every copy is cut to its buffer and
// always terminated; the caller learns whether it was cut and decides.
#pragma once
#include <cstddef>

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
