// snprintf through the system's C runtime. With libstdc++'s headers, every
// snprintf in the saver lands in MinGW's own formatter (__mingw_vsnprintf),
// which carries a floating-point printer and its locale machinery: more code
// than the rest of the saver, for "%s", "%d" and "%lu". Defining the entry
// here keeps the library's copy out of the image and hands the work to
// MinGW's msvcrt wrapper instead, which keeps C99's promises: the output is
// always terminated, and the answer is the length the whole text needs.
// Only the saver's image links this; the test programs keep MinGW's own.
#include <cstdarg>
#include <cstddef>

extern "C" int __cdecl __ms_vsnprintf(char* out, size_t size, const char* format, va_list arguments);

extern "C" int __cdecl __mingw_vsnprintf(char* out, size_t size, const char* format, va_list arguments)
{
    return __ms_vsnprintf(out, size, format, arguments);
}
