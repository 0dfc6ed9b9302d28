#include "game/saver_proc.h"

#include <climits>

#include "common/handles.h"
#include "common/text.h"
#include "game/language.h"
#include "game/launch_context.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "run/game_run.h"
#include "shell/dismissal.h"
#include "shell/saver_window.h"
#include "system/decision_trace.h"
#include "system/dpi_awareness.h"

// The saver procedure keeps no state of its own: everything it needs lives in
// the settings module or is loaded afresh for each message. The one flag below
// exists for tests only.

namespace {
// Set by tests that keep a full-screen window alive; production never sets it.
bool g_neverFullScreenForTest;

const char kGameTitle[] = "KUBO TRAX";
const char kDefaultExe[] = "TRAX.exe";
constexpr size_t kExeNameSize = 128;

void ShowStartFailure(DWORD code)
{
    char* systemText = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&systemText), 0, nullptr);
    if (length && systemText) {
        MessageBoxA(nullptr, systemText, kGameTitle, MB_OK);
    } else {
        // The box never gets text that was not produced; the number at least is known.
        char codeText[32];
        FormatErrorCode(code, codeText, sizeof codeText);
        MessageBoxA(nullptr, codeText, kGameTitle, MB_OK);
    }
    if (systemText)
        LocalFree(systemText);
}

void StartGame()
{
    // Without an installation there is no game to start and nothing to say.
    SettingsFile* settings = CurrentSettings();
    if (!settings) {
        TraceDecision({"no game: no installation found"});
        return;
    }
    // The logon screen saver runs under a system account, which would hand
    // the game and its file dialogs to whoever passes: start nothing there.
    if (RunsAsServiceAccount()) {
        TraceDecision({"no game: the saver runs under a system account"});
        return;
    }
    char exeName[kExeNameSize];
    const DWORD exeLength = settings->GetString("DIRECTORIES", "Exe", kDefaultExe, exeName, sizeof exeName);
    if (const DWORD refusal = ExeNameRefusal(exeName, exeLength, sizeof exeName)) {
        TraceFailure("starting the game", refusal);
        ShowStartFailure(refusal);
        return;
    }
    char commandLine[kPathBufferSize];
    const int fitted = BuildGameCommandLine(InstallDirectory(), exeName, commandLine, sizeof commandLine);
    OutputDebugStringA(commandLine);
    OutputDebugStringA("\n");
    if (!fitted) {
        // A cut command line could name another program.
        TraceFailure("starting the game", ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    TraceDecision({"game command line: ", commandLine});

    // The game runs where the saver runs: on the NT family that is the
    // desktop the system shows while a saver runs, on every monitor.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    // From here the game is the screen saver: the run goes on as long as it
    // does (on Windows 95/98 the game alone carries it on).
    if (StartGameRun(commandLine, startup))
        return;
    const DWORD code = GetLastError();
    TraceFailure("starting the game", code);
    if (code != 0)
        ShowStartFailure(code);
}

LRESULT OnPaint(HWND window)
{
    if (!GetUpdateRect(window, nullptr, FALSE))
        return 0;  // nothing to paint
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc)
        PaintTitlePicture(dc, window);
    EndPaint(window, &paint);
    return dc ? 0 : 1;
}

void OnEraseBackground(HWND window)
{
    // The window's screen rectangle, used as client coordinates unchanged: it
    // covers a full-screen window exactly; the preview's black comes from
    // the paint, which fills the client area.
    RECT area;
    GetWindowRect(window, &area);
    WindowDC dc(window);
    if (dc.Get())
        FillRect(dc.Get(), &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}
// An end that lands beyond what a LONG holds is held at the limit.
LONG ClampToLong(long long value)
{
    return value < LONG_MIN ? LONG_MIN : value > LONG_MAX ? static_cast<LONG>(LONG_MAX) : static_cast<LONG>(value);
}

// Centres one axis of CenterRect. The sizes and halves are taken in 64 bits:
// a 32-bit span from one end of the coordinate range to the other does not
// fit a LONG, and for every span that does the answer is the same. Two
// halves, each rounded toward zero, not the half of the difference: 151
// pixels in 152 land at 1, not 0.
void CenterSpan(LONG containerLow, LONG containerHigh, LONG* low, LONG* high)
{
    const long long size = static_cast<long long>(*high) - *low;
    const long long containerSize = static_cast<long long>(containerHigh) - containerLow;
    const long long start = containerLow + containerSize / 2 - size / 2;
    *low = ClampToLong(start);
    *high = ClampToLong(start + size);
}
}  // namespace

int BuildGameCommandLine(const char* installDirectory, const char* exeName, char* out,
                         size_t outSize)
{
    return JoinText(out, outSize, {"\"", installDirectory, "\\", exeName, "\" -s"});
}

DWORD ExeNameRefusal(const char* exeName, DWORD length, size_t bufferSize)
{
    if (length >= bufferSize - 1)
        return ERROR_FILENAME_EXCED_RANGE;
    return ContainsByte(exeName, length, '"') ? ERROR_INVALID_NAME : 0;
}

void FormatErrorCode(DWORD code, char* out, size_t outSize)
{
    char digits[16];  // "%lu" writes at most 10
    wsprintfA(digits, "%lu", static_cast<unsigned long>(code));
    CopyText(out, outSize, digits);
}

void CenterRect(RECT container, RECT* moved)
{
    CenterSpan(container.left, container.right, &moved->left, &moved->right);
    CenterSpan(container.top, container.bottom, &moved->top, &moved->bottom);
}

void PaintTitlePicture(HDC dc, HWND window)
{
    // Loaded for each paint and released at its end; nothing is kept.
    GdiObject picture(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TITLE)));
    if (!picture.Get())
        return;
    BITMAP info = {};
    GetObjectA(picture.Get(), sizeof info, &info);
    MemoryDC source(dc);
    SelectedObject selected(source.Get(), picture.Get());

    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    // Drawn for the window's own DPI, which only a DPI-aware host gives it
    // (Windows 10 1607 on): there the host's preview area grows with the
    // display's scale, and the picture grows with it. Elsewhere the area
    // keeps its size whatever the scale, and so does the picture.
    const int dpi = WindowDpi(window);
    const int width = ScaleForDpi(info.bmWidth, dpi, kDesignDpi);
    const int height = ScaleForDpi(info.bmHeight, dpi, kDesignDpi);
    RECT placed = {0, 0, width, height};
    CenterRect(client, &placed);
    if (width == info.bmWidth && height == info.bmHeight) {
        BitBlt(dc, placed.left, placed.top, width, height, source.Get(), 0, 0, SRCCOPY);
        return;
    }
    const int oldStretchMode = SetStretchBltMode(dc, HALFTONE);
    POINT oldOrigin;
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);  // HALFTONE wants it set again
    StretchBlt(dc, placed.left, placed.top, width, height, source.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    SetStretchBltMode(dc, oldStretchMode);
}

bool IsFullScreenSaverWindow(bool child, RECT /*windowArea*/, RECT /*desktopArea*/)
{
    return !child;
}

int LaunchGameIfFullScreen(HWND window)
{
    RECT windowArea;
    GetWindowRect(window, &windowArea);
    LoadGameSettings();  // without an installation the game is simply not started
    SelectLanguage();
    RECT desktopArea;
    GetWindowRect(GetDesktopWindow(), &desktopArea);
    const bool child = (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0;
    if (!IsFullScreenSaverWindow(child, windowArea, desktopArea) || g_neverFullScreenForTest)
        return 1;
    StartGame();
    return 0;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OutputDebugStringA("WM_CREATE\n");
        if (!LaunchGameIfFullScreen(window))
            return -1;  // the system destroys the half-made window inside CreateWindowExA
        break;
    case WM_PAINT:
        OutputDebugStringA("WM_PAINT\n");
        return OnPaint(window);
    case WM_CLOSE:
        OutputDebugStringA("WM_CLOSE\n");
        ReleaseCapture();
        ReleaseGameSettings();
        break;
    case WM_ERASEBKGND:
        OutputDebugStringA("WM_ERASEBKGND\n");
        OnEraseBackground(window);
        return 1;
    }
    return DefSaverWindowProc(window, message, wParam, lParam);
}

void TakeNoWindowForFullScreenForTest(bool on) { g_neverFullScreenForTest = on; }
