// The saver's free store. `new (std::nothrow)` from the C++ runtime wraps the
// throwing operator new in a try block, and that alone links the runtime's
// whole exception and name-demangling machinery (over 100 KiB) into a saver
// that never throws. This replacement answers null straight from malloc;
// the runtime's operator delete already hands memory back to free.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}
