#include "system/decision_trace.h"

#include "common/text.h"

namespace {
const char kLinePrefix[] = "kubotrax: ";
const char kCutMark[] = "...\n";
// Room for the longest piece the saver says, a game's command line of up to
// 1,283 characters, and the words around it.
constexpr size_t kLineSize = 1536;
}  // namespace

void TraceDecision(std::initializer_list<const char*> pieces)
{
    char line[kLineSize];
    // The cut mark and the line end always fit behind what was cut.
    const size_t room = sizeof line - sizeof kCutMark;
    size_t used = 0;
    bool whole = CopyText(line, room, kLinePrefix);
    used = TextLength(line);
    for (const char* piece : pieces) {
        if (!whole)
            break;
        whole = CopyText(line + used, room - used, piece);
        used += TextLength(line + used);
    }
    CopyText(line + used, sizeof line - used, whole ? "\n" : kCutMark);
    OutputDebugStringA(line);
}

void TraceFailure(const char* what, DWORD code)
{
    TraceDecision({"failed: ", what, ", error ", DecimalText(code).Text()});
}

DecimalText::DecimalText(DWORD value) { wsprintfA(text_, "%lu", static_cast<unsigned long>(value)); }

DecimalText DecimalText::Signed(long value)
{
    DecimalText text;
    wsprintfA(text.text_, "%ld", value);
    return text;
}
