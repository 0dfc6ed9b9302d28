#include "tests/support/debug_capture.h"

#include <windows.h>

namespace {
std::vector<std::string>* g_sink;  // the capture that is active, if any

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (g_sink && record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
        if (length > 0 && text[length - 1] == '\0')
            --length;
        g_sink->emplace_back(text, length);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
}  // namespace

DebugOutputCapture::DebugOutputCapture()
{
    g_sink = &strings_;
    handler_ = AddVectoredExceptionHandler(1, OnException);
}

DebugOutputCapture::~DebugOutputCapture()
{
    RemoveVectoredExceptionHandler(handler_);
    g_sink = nullptr;
}
