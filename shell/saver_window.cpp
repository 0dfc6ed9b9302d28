#include "shell/saver_window.h"

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "input/input_rule.h"
#include "res/resource.h"
#include "run/game_run.h"
#include "shell/dismissal.h"
#include "shell/password.h"
#include "system/platform.h"

namespace {
using AssociateContextFn = HIMC(WINAPI*)(HWND, HIMC);

const char kSaverClass[] = "WindowsScreenSaverClass";
const char kFullScreenTitle[] = "Screen Saver";
const char kPreviewTitle[] = "Preview";
// No backslash in the name: Windows 95/98 refuse one in object names.
const char kRunLockName[] = "KuboTraxFullScreenRun";
// How often a preview looks whether its host window still exists.
constexpr DWORD kHostCheckIntervalMs = 250;

// The saver window's state. Only this file writes it. Whether the window is a
// preview and the QueryCancelAutoPlay id live with the closing rules that
// read them (shell/dismissal.h); this file writes them there.
HWND g_saverWindow;                      // the window, null when none was made
HMODULE g_imm;                           // IMM32.DLL when the process had it loaded
AssociateContextFn g_associateContext;   // its ImmAssociateContext, or null
HIMC g_previousContext;                  // the context detached at creation, or null
HANDLE g_runLock;                        // this full-screen start's run lock, or null

void OnCreate(HWND window)
{
    // Used only when something else loaded it; the saver never loads it itself.
    g_imm = GetModuleHandleA("IMM32.DLL");
    g_associateContext = LookUpEntry<AssociateContextFn>(g_imm, "ImmAssociateContext");
    if (g_associateContext)
        g_previousContext = g_associateContext(window, nullptr);
    RecordCursorAnchor();
    if (!IsPreviewMode())
        SetCursor(nullptr);
}

void OnDestroy(HWND window)
{
    if (g_imm && g_associateContext && g_previousContext)
        g_associateContext(window, g_previousContext);
    PostQuitMessage(0);
}

// One full-screen run at a time across processes. The run lock is a named
// mutex used as a token: whoever creates it runs, and a start that finds it
// already there ends. The check for a running saver window cannot do this
// alone, because a full-screen saver refuses its window once it has started
// the game. Once the game has started, the game's process gets a copy of the
// lock (CopyRunLockInto), so it lasts as long as the game.
// Returns false when another run is in progress.
bool TakeRunLock()
{
    HANDLE lock = CreateMutexA(nullptr, FALSE, kRunLockName);
    if (lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        return false;
    }
    // Without a lock (the name taken by another kind of object) the saver
    // still runs: better a second game than no screen saver at all.
    g_runLock = lock;
    return true;
}

void ReleaseRunLock()
{
    if (g_runLock)
        CloseHandle(g_runLock);
    g_runLock = nullptr;
}

// The copy lives in the game's handle table, unknown to the game, and is
// closed by the system when the game's process ends. On Windows 95/98 it
// carries the run on once the saver has ended; on the NT family it keeps a
// game that outlives its saver (where no job ties the two) from being joined
// by a second one.
void CopyRunLockInto(HANDLE game)
{
    HANDLE copy = nullptr;
    if (g_runLock)
        DuplicateHandle(GetCurrentProcess(), g_runLock, game, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
}

// The process of the window hosting a preview, to wait on; null when it
// cannot be opened, for instance across users.
HANDLE OpenHostProcess(HWND parent)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(parent, &processId);
    return processId ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr;
}

// A preview lives as long as its host. Normally the host destroys its window
// and ours goes with it, but a host that is killed or crashes, or whose window
// is destroyed without ours hearing of it, leaves our window with no message
// ever to come. So the preview's loop waits on the host's process as well as
// on messages, which ends it the moment that process ends, and wakes every
// kHostCheckIntervalMs to look whether the parent window is still there,
// which covers a host process that cannot be opened and a parent destroyed
// while its process lives on. Returns the WM_QUIT code.
int RunPreviewLoop(HWND parent)
{
    KernelHandle host(OpenHostProcess(parent));
    HANDLE waitFor = host.Get();
    MSG message = {};
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const bool hostEnded = waitFor && WaitForSingleObject(waitFor, 0) == WAIT_OBJECT_0;
        if (hostEnded || !IsWindow(parent)) {
            // Ends as if the host had destroyed its window: WM_DESTROY posts
            // the quit. A window the system already took with its parent
            // has nothing left to destroy.
            if (!DestroyWindow(g_saverWindow))
                return 0;
            waitFor = nullptr;
            continue;
        }
        MsgWaitForMultipleObjects(waitFor ? 1 : 0, &waitFor, FALSE, kHostCheckIntervalMs, QS_ALLINPUT);
    }
}

// The full-screen window's loop, until WM_DESTROY posts the quit. Returns its code.
int RunFullScreenLoop()
{
    SetForegroundWindow(g_saverWindow);
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

// Whether this full-screen start may go on: false when another run holds the
// run lock, or a saver window is already up (which is brought forward).
bool MayRunFullScreen()
{
    if (!TakeRunLock())
        return false;  // another start is on its way to a game, or its game runs
    // A second start while a saver runs only brings the first one forward.
    HWND running = FindWindowA(kSaverClass, kFullScreenTitle);
    if (running && IsWindow(running)) {
        ReleaseRunLock();
        SetForegroundWindow(running);
        return false;
    }
    return true;
}

// Nonzero when the saver's class is registered.
ATOM RegisterSaverClass()
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = OuterWindowProc;
    windowClass.hInstance = SaverInstance();
    windowClass.hIcon = LoadIconA(SaverInstance(), MAKEINTRESOURCEA(IDI_SAVER));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kSaverClass;
    return RegisterClassA(&windowClass);
}

// The area the full-screen window covers: the screen's clip box, or, when the
// screen's device context cannot be had or read, the primary screen.
RECT ScreenArea()
{
    RECT area = {};
    WindowDC screen(nullptr);
    if (screen.Get() && GetClipBox(screen.Get(), &area) != ERROR)
        return area;
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// Makes the saver window: a child filling the preview window, or a topmost
// popup over the screen. Null when it is not made. In full-screen mode the
// saver procedure starts the game and refuses the window: CreateWindowExA then
// destroys the half-made window and gives null, which is the normal end of
// the run.
HWND CreateSaverWindow(HWND parent)
{
    if (parent) {
        // A parent gone since it was checked leaves the area empty, and the
        // system refuses a child of a window that no longer exists.
        RECT client = {};
        GetClientRect(parent, &client);
        return CreateWindowExA(0, kSaverClass, kPreviewTitle, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, client.right, client.bottom, parent, nullptr, SaverInstance(),
                               nullptr);
    }
    const RECT area = ScreenArea();
    return CreateWindowExA(WS_EX_TOPMOST, kSaverClass, kFullScreenTitle,
                           WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, area.left,
                           area.top, area.right - area.left, area.bottom - area.top, nullptr,
                           nullptr, SaverInstance(), nullptr);
}

// Help asked for inside the preview belongs to the control panel around it.
void ForwardToParent(HWND window, UINT message, LPARAM lParam)
{
    HWND parent = GetParent(window);
    if (!parent || !IsWindow(parent))
        return;
    const WPARAM parentHandle = reinterpret_cast<WPARAM>(parent);
    if (message == WM_HELP) {
        // WM_HELP carries a pointer, which the system refuses to post
        // (ERROR_MESSAGE_SYNC_ONLY); sending marshals it. The timeout keeps a
        // hung control panel from freezing the preview.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(parent, message, parentHandle, lParam, SMTO_ABORTIFHUNG, 2000, &ignored);
        return;
    }
    PostMessageA(parent, message, parentHandle, lParam);
}
}  // namespace

OuterStep DecideOuterStep(UINT message, WPARAM wParam, int preview, int closeApproved)
{
    // Once closing is approved, input reaches neither of the later procedures.
    if (HandInputOf(message, InputListener::SaverWindow) != HandInput::None)
        return closeApproved ? OuterStep::DefaultHandling : OuterStep::PassOn;
    switch (message) {
    case WM_CREATE:
        return OuterStep::CreateThenPassOn;
    case WM_DESTROY:
        return OuterStep::DestroyThenPassOn;
    case WM_SETTEXT:
        return OuterStep::AnswerZero;  // the title never changes
    case WM_PAINT:
        if (closeApproved)
            return OuterStep::DefaultHandling;
        return preview ? OuterStep::PassOn : OuterStep::HideCursorThenPassOn;
    case WM_HELP:
    case WM_CONTEXTMENU:
        return preview ? OuterStep::ForwardToParent : OuterStep::PassOn;
    case WM_SYSCOMMAND:
        // The whole wParam: a command with its low bits set is not one of these.
        if (!preview && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
            return OuterStep::AnswerZero;
        return OuterStep::PassOn;
    case WM_TIMER:
        return closeApproved ? OuterStep::AnswerZero : OuterStep::YieldThenPassOn;
    }
    return OuterStep::PassOn;
}

LRESULT CALLBACK OuterWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (DecideOuterStep(message, wParam, IsPreviewMode(), IsCloseApproved())) {
    case OuterStep::PassOn:
        break;
    case OuterStep::CreateThenPassOn:
        OnCreate(window);
        break;
    case OuterStep::DestroyThenPassOn:
        OnDestroy(window);
        break;
    case OuterStep::HideCursorThenPassOn:
        SetCursor(nullptr);
        break;
    case OuterStep::YieldThenPassOn:
        Sleep(0);  // give up the rest of the time slice first
        break;
    case OuterStep::DefaultHandling:
        return DefWindowProcA(window, message, wParam, lParam);
    case OuterStep::ForwardToParent:
        ForwardToParent(window, message, lParam);
        return 1;
    case OuterStep::AnswerZero:
        return 0;
    }
    return SaverWindowProc(window, message, wParam, lParam);  // pass on, same four values
}

int RunSaverWindow(HWND parent)
{
    if (!parent) {
        if (!MayRunFullScreen())
            return 0;
        LoadPasswordProvider();
    }
    SetSaverWindowKind(parent ? 1 : 0,
                       IsWindows9x() ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0);

    // A class that cannot be registered gives no window: the run ends with 0,
    // the same as a full-screen run that refused its window, and the password
    // machinery is taken down as after any run.
    g_saverWindow = RegisterSaverClass() ? CreateSaverWindow(parent) : nullptr;
    if (HANDLE game = GameRunProcess()) {
        // The window was refused for the game, which now is the saver.
        CopyRunLockInto(game);
        StayWithGameRun();
    }
    // The game has ended or holds its own copy of the lock, or the window
    // lives and a later start finds it by its class and title.
    ReleaseRunLock();

    int result = 0;
    if (g_saverWindow)
        result = parent ? RunPreviewLoop(parent) : RunFullScreenLoop();
    UnloadPasswordProvider();
    return result;
}

void ResetSaverWindowForTest()
{
    SetSaverWindowKind(0, 0);
    g_saverWindow = nullptr;
    g_imm = nullptr;
    g_associateContext = nullptr;
    g_previousContext = nullptr;
    ReleaseRunLock();
}
