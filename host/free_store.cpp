// The saver's free store, process plumbing rather than saver behaviour.
// `new (std::nothrow)` from the C++ runtime wraps the throwing operator new in
// a try block, and that alone links the runtime's whole exception and
// name-demangling machinery (over 100 KiB) into a saver that never throws.
// These replacements answer null straight from malloc, and every matching
// delete hands the memory to free, so allocation and release visibly pair.
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

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
