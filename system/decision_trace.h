// system/decision_trace.h: the saver says what it decides, one line at a time,
// on the debugger output (OutputDebugStringA), where a viewer such as
// DebugView or a debugger reads it and nothing else is written. Every line
// said here begins with "kubotrax: " so that a viewer can filter on it; the
// game's window keeps its own bare traces (its messages, the command line
// and the settings file's path: game/saver_proc.cpp, game/settings_file.cpp),
// which say what it was given, not what the saver decided. One call per
// decision, never one per input event.
#pragma once
#include <windows.h>

#include <initializer_list>

// Writes "kubotrax: ", the pieces one after another, and a line end, as one
// OutputDebugStringA. A line too long for its buffer is cut and ends in "...".
void TraceDecision(std::initializer_list<const char*> pieces);

// Writes "kubotrax: failed: <what>, error <code>".
void TraceFailure(const char* what, DWORD code);

// A number as decimal text, for the pieces of a line.
class DecimalText {
public:
    explicit DecimalText(DWORD value);
    static DecimalText Signed(long value);
    const char* Text() const { return text_; }

private:
    DecimalText() = default;
    char text_[16] = "";  // "%lu" and "%ld" write at most 11 characters
};
