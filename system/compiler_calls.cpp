// The two library functions the compiler calls on its own, for structure
// copies and for zeroing ("= {}"), which the saver has to supply since it
// carries no C runtime. Nothing else should reach them. Like all the saver's
// code, this file is compiled without loop pattern recognition, or GCC would
// turn these loops back into calls to themselves.
#include <cstddef>

extern "C" void* memcpy(void* destination, const void* source, size_t size)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    for (size_t i = 0; i < size; ++i)
        to[i] = from[i];
    return destination;
}

extern "C" void* memset(void* destination, int value, size_t size)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    for (size_t i = 0; i < size; ++i)
        to[i] = static_cast<unsigned char>(value);
    return destination;
}
