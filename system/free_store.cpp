// The saver's free store, process plumbing rather than saver behaviour. The
// saver carries no C runtime, so there is no malloc: blocks come from the
// process heap, and every matching delete hands its block back there, so
// allocation and release visibly pair. The unit tests link the library
// without this file and keep the runtime's own operators.
#include <windows.h>

#include <new>

// The tag `new (std::nothrow)` passes. The C++ runtime, which would define it,
// is not linked; it is an empty constant, so no constructor runs for it.
namespace std {
const nothrow_t nothrow{};
}

namespace {
void* Allocate(std::size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

void Release(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
