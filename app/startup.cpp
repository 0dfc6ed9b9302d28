#include "app/startup.h"

#include "common/entry_lookup.h"
#include "setup/config_dialog.h"
#include "shell/crash_guard.h"
#include "shell/password.h"
#include "shell/saver_window.h"
#include "system/decision_trace.h"
#include "system/dpi_awareness.h"

namespace {
// How long a window named on the command line may take to answer.
constexpr UINT kWindowAnswerTimeoutMs = 3000;

bool IsBlankOrControl(unsigned char c) { return c != 0 && c <= 0x20; }

// Making a child of a window, or a dialog owned by it, waits on the window's
// thread; a thread that stopped handling messages would hang the saver for
// good. A window that does not answer a WM_NULL in time counts as no window.
bool IsAnswering(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWindowAnswerTimeoutMs,
                               &ignored) != 0;
}

// The owner used when the command line names none: the foreground window,
// unless it does not answer.
HWND AnsweringForegroundWindow()
{
    HWND foreground = GetForegroundWindow();
    return foreground && IsAnswering(foreground) ? foreground : nullptr;
}

const char* SkipSpaces(const char* text)
{
    while (*text == ' ')  // blanks only: a tab is not skipped here
        ++text;
    return text;
}

int RunMode(const ModeRequest& request)
{
    switch (request.mode) {
    case SaverMode::ConfigureNoOwner:
        DeclareDpiAwareness();
        return RunConfigDialog(nullptr);
    case SaverMode::Configure: {
        // Before the dialog, the process's first window: the awareness
        // cannot change once a window has been made.
        DeclareDpiAwareness();
        HWND owner = request.handleText ? WindowFromHandleText(request.handleText) : nullptr;
        return RunConfigDialog(owner ? owner : AnsweringForegroundWindow());
    }
    case SaverMode::Saver:
        return RunSaverWindow(nullptr);
    case SaverMode::Preview:
        return RunPreview(request.handleText);
    case SaverMode::ChangePassword: {
        // The password change belongs to Windows 95/98; elsewhere "a" selects nothing.
        if (!IsWindows9x())
            return -1;
        HWND owner = WindowFromHandleText(request.handleText);
        ChangeSaverPassword(owner ? owner : AnsweringForegroundWindow());
        return 0;
    }
    case SaverMode::Rejected:
        break;
    }
    return -1;
}

const char* ModeName(SaverMode mode)
{
    switch (mode) {
    case SaverMode::ConfigureNoOwner:
    case SaverMode::Configure:
        return "configure";
    case SaverMode::Saver:
        return "saver";
    case SaverMode::Preview:
        return "preview";
    case SaverMode::ChangePassword:
        return "change password";
    case SaverMode::Rejected:
        break;
    }
    return "none";
}

// The family and version the system tells this program (which may be a
// compatibility layer's answer rather than the system's own).
void TraceSystem()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        TraceFailure("reading the Windows version", GetLastError());
        return;
    }
    const bool windows9x = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    // Windows 95/98 keep the major and minor version in the build number's high word.
    const DWORD build = windows9x ? LOWORD(version.dwBuildNumber) : version.dwBuildNumber;
    TraceDecision({windows9x ? "Windows 95/98 family, version " : "Windows NT family, version ",
                   DecimalText(version.dwMajorVersion).Text(), ".", DecimalText(version.dwMinorVersion).Text(), ".",
                   DecimalText(build).Text()});
    // A field report must tell 64-bit Windows, where the game's key and files
    // are seen through WOW64, from 32-bit Windows. The entry came with XP SP2:
    // looked up, so the image still loads on older systems, all of them 32-bit.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64 = LookUpEntry<IsWow64ProcessFn>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64)
        TraceDecision({"32-bit program on 64-bit Windows (WOW64)"});
}

int ScanAndRunMode(void* tail)
{
    const char* text = static_cast<const char*>(tail);
    const ModeRequest request = ScanSaverMode(text);
    TraceDecision({"mode ", ModeName(request.mode), " (command line \"", text, "\")"});
    TraceSystem();
    return RunMode(request);
}
}  // namespace

const char* CommandTail(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        p = CharNextA(p);
        while (*p != '\0' && *p != '"')
            p = CharNextA(p);
        if (*p == '"')
            ++p;
    } else {
        while (static_cast<unsigned char>(*p) > ' ')
            p = CharNextA(p);
    }
    while (IsBlankOrControl(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

ModeRequest ScanSaverMode(const char* tail)
{
    for (const char* p = tail;; ++p) {
        // Read as a signed character: bytes 128 to 255 match no letter below.
        const signed char current = static_cast<signed char>(*p);
        switch (current) {
        case '\0':
            return {SaverMode::ConfigureNoOwner, nullptr};
        case ' ':
        case '-':
        case '/':
            continue;
        case 's':
        case 'S':
            return {SaverMode::Saver, nullptr};
        case 'p':
        case 'P':
        case 'l':
        case 'L':
            return {SaverMode::Preview, SkipSpaces(p + 1)};
        case 'c':
        case 'C':
            // Only a colon right after the letter introduces the owner's handle.
            return {SaverMode::Configure, p[1] == ':' ? p + 2 : nullptr};
        case 'a':
        case 'A':
            return {SaverMode::ChangePassword, SkipSpaces(p + 1)};
        default:
            return {SaverMode::Rejected, nullptr};
        }
    }
}

DWORD ParseWindowHandle(const char* text)
{
    DWORD value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<DWORD>(*text - '0');  // unsigned: wraps modulo 2^32
    return value;
}

HWND WindowFromHandleText(const char* text)
{
    const DWORD value = ParseWindowHandle(text);
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
    return value != 0 && IsWindow(window) && IsAnswering(window) ? window : nullptr;
}

int RunPreview(const char* text)
{
    HWND parent = WindowFromHandleText(text);
    if (!parent)
        return -1;
    TakeDpiAwarenessOf(parent);
    return RunSaverWindow(parent);
}

int DispatchSaverMode(HINSTANCE instance, const char* tail)
{
    RecordPlatform(instance);
    const int result = RunWithCrashGuard(ScanAndRunMode, const_cast<char*>(tail));
    TraceDecision({"exit code ", DecimalText::Signed(result).Text()});
    return result;
}
