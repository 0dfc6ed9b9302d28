// tests/support/debug_capture.h: collects this process's OutputDebugStringA
// texts while it lives. OutputDebugStringA raises DBG_PRINTEXCEPTION_C, which
// a vectored exception handler sees before the system swallows it.
#pragma once
#include <string>
#include <vector>

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // Every text in order, one entry per OutputDebugStringA call.
    const std::vector<std::string>& Strings() const { return strings_; }

private:
    void* handler_;
    std::vector<std::string> strings_;
};
