#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <thread>

#include "app/startup.h"
#include "common/entry_lookup.h"
#include "game/saver_proc.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "shell/dismissal.h"
#include "shell/password.h"
#include "shell/saver_window.h"
#include "tests/support/import_hook.h"
#include "tests/support/message_pump.h"
#include "tests/support/password_standins.h"
#include "tests/support/preview_host.h"
#include "tests/unit/saver_state.h"

namespace {

using Step = OuterStep;

TEST(DecideOuterStep, FollowsTheTableInEveryState)
{
    struct Case { UINT message; WPARAM wParam; int preview, approved; Step step; } cases[] = {
        {WM_CREATE, 0, 0, 0, Step::CreateThenPassOn},
        {WM_CREATE, 0, 1, 0, Step::CreateThenPassOn},
        {WM_DESTROY, 0, 0, 1, Step::DestroyThenPassOn},
        {WM_SETTEXT, 0, 0, 0, Step::AnswerZero},
        {WM_SETTEXT, 0, 1, 1, Step::AnswerZero},
        {WM_PAINT, 0, 0, 0, Step::HideCursorThenPassOn},
        {WM_PAINT, 0, 1, 0, Step::PassOn},
        {WM_PAINT, 0, 0, 1, Step::DefaultHandling},
        {WM_PAINT, 0, 1, 1, Step::DefaultHandling},
        {WM_HELP, 0, 1, 0, Step::ForwardToParent},
        {WM_CONTEXTMENU, 0, 1, 1, Step::ForwardToParent},
        {WM_HELP, 0, 0, 0, Step::PassOn},
        {WM_CONTEXTMENU, 0, 0, 0, Step::PassOn},
        {WM_TIMER, 7, 0, 0, Step::YieldThenPassOn},
        {WM_TIMER, 7, 1, 0, Step::YieldThenPassOn},
        {WM_TIMER, 7, 0, 1, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_NEXTWINDOW, 0, 0, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_PREVWINDOW, 0, 1, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_SCREENSAVE + 2, 0, 0, Step::PassOn},  // low bits are not masked
        {WM_SYSCOMMAND, SC_CLOSE, 0, 0, Step::PassOn},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 1, 0, Step::PassOn},
        {WM_KEYUP, 0, 0, 1, Step::PassOn},
        {WM_CHAR, 0, 0, 1, Step::PassOn},
        {WM_ACTIVATEAPP, 0, 0, 1, Step::PassOn},
        {WM_CLOSE, 0, 0, 1, Step::PassOn},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.step, DecideOuterStep(c.message, c.wParam, c.preview, c.approved))
            << "message 0x" << std::hex << c.message << " wParam 0x" << c.wParam << std::dec
            << " preview " << c.preview << " approved " << c.approved;

    for (UINT input : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN,
                       WM_MBUTTONDOWN}) {
        EXPECT_EQ(Step::PassOn, DecideOuterStep(input, 0, 0, 0)) << input;
        EXPECT_EQ(Step::PassOn, DecideOuterStep(input, 0, 1, 0)) << input;
        EXPECT_EQ(Step::DefaultHandling, DecideOuterStep(input, 0, 0, 1)) << input;
    }
}

// The saver window's whole life in this process. The test's thread runs
// RunSaverWindow, loop and all, as the saver's only thread would; a driver
// thread meanwhile plays the user and the system; hooks on the test's thread
// watch what the window goes through. The full-screen window is kept alive by
// the saver procedure's test switch, which has creation go on as for a preview.
namespace life {

const char kSaverClass[] = "WindowsScreenSaverClass";
constexpr DWORD kWaitMs = 10000;
constexpr WPARAM kRescuedQuitCode = 0xDEAD;

using GetContextFn = HIMC(WINAPI*)(HWND);
using ReleaseContextFn = BOOL(WINAPI*)(HWND, HIMC);

// What the hooks saw; written on the saver's thread, some of it read by the driver.
struct Watched {
    std::atomic<HWND> window{nullptr};  // the saver window, from its creation on
    std::atomic<int> markers{0};        // markers the saver's thread took from its queue
    std::atomic<int> prompts{0};        // dialogs created owned by the saver window
    std::atomic<bool> sawChar{false};   // a WM_CHAR reached the window through the loop
    bool refuseFirstActivation = false;
    int activationsRefused = 0;
    int createSeen = 0;
    bool cursorHiddenAfterCreate = false;
    bool contextAfterCreate = true;
    bool contextAfterDestroy = false;
};
Watched g_watched;
UINT g_probeMessage;      // sent: run a function on the saver's thread; posted: a marker
HCURSOR g_arrow;
GetContextFn g_getContext;
ReleaseContextFn g_releaseContext;

bool HasInputContext(HWND window)
{
    HIMC context = g_getContext(window);
    if (context)
        g_releaseContext(window, context);
    return context != nullptr;
}

bool IsSaverClass(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return strcmp(name, kSaverClass) == 0;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        if (IsSaverClass(window) && !g_watched.window) {
            g_watched.window = window;
            SetCursor(g_arrow);  // so that creation has something to hide
        } else if (g_watched.window && create->hwndParent == g_watched.window) {
            ++g_watched.prompts;
        }
    } else if (code == HCBT_ACTIVATE && window == g_watched.window && g_watched.refuseFirstActivation &&
               g_watched.activationsRefused == 0) {
        // Showing the new window would activate it anyway; refusing that once
        // leaves only the saver's own call to bring it to the front.
        ++g_watched.activationsRefused;
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK BeforeSentMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == g_probeMessage && sent->lParam)
        (*reinterpret_cast<std::function<void()>*>(sent->lParam))();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK AfterSentMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* sent = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd && sent->hwnd == g_watched.window) {
        if (sent->message == WM_CREATE) {
            ++g_watched.createSeen;
            g_watched.cursorHiddenAfterCreate = GetCursor() == nullptr;
            g_watched.contextAfterCreate = HasInputContext(sent->hwnd);
        } else if (sent->message == WM_DESTROY) {
            g_watched.contextAfterDestroy = HasInputContext(sent->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK TakenMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* taken = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && taken->hwnd && taken->hwnd == g_watched.window) {
        if (taken->message == WM_CHAR)
            g_watched.sawChar = true;
        if (taken->message == g_probeMessage && taken->lParam == 0)
            ++g_watched.markers;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

class SaverLife : public testing::Test {
protected:
    void SetUp() override
    {
        ResetSaverStateForTest(0);
        TakeNoWindowForFullScreenForTest(true);
        g_watched.~Watched();
        new (&g_watched) Watched();
        g_probeMessage = RegisterWindowMessageA("KuboSaverLifeProbe");
        g_arrow = LoadCursorA(nullptr, IDC_ARROW);
        // The saver detaches the input context only where the process already
        // has the input-method library, so the test loads it.
        imm_ = LoadLibraryA("IMM32.DLL");
        g_getContext = LookUpEntry<GetContextFn>(imm_, "ImmGetContext");
        g_releaseContext = LookUpEntry<ReleaseContextFn>(imm_, "ImmReleaseContext");
        ASSERT_NE(nullptr, g_getContext);
        ASSERT_NE(nullptr, g_releaseContext);
        const DWORD thread = GetCurrentThreadId();
        hooks_[0] = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, thread);
        hooks_[1] = SetWindowsHookExA(WH_CALLWNDPROC, BeforeSentMessageHook, nullptr, thread);
        hooks_[2] = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterSentMessageHook, nullptr, thread);
        hooks_[3] = SetWindowsHookExA(WH_GETMESSAGE, TakenMessageHook, nullptr, thread);
        for (HHOOK hook : hooks_)
            ASSERT_NE(nullptr, hook);
    }
    void TearDown() override
    {
        for (HHOOK hook : hooks_)
            if (hook)
                UnhookWindowsHookEx(hook);
        TakeNoWindowForFullScreenForTest(false);
        if (IsWindow(g_watched.window))
            DestroyWindow(g_watched.window);
        UnregisterClassA(kSaverClass, GetModuleHandleA(nullptr));
        MSG message;  // a quit posted by a window destroyed here, among others
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            ;
        SetDllDirectoryA(nullptr);
        // A provider that a faulty run left loaded must not reach later tests.
        SetStartupStateForTest(GetModuleHandleA(nullptr), 1);
        UnloadPasswordProvider();
        ResetPasswordStateForTest();
        ResetGameSettingsForTest();
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
        if (imm_)
            FreeLibrary(imm_);
    }

    // Runs the saver window on this thread while `drive` runs on another, and
    // returns RunSaverWindow's result. A loop that does not end by itself is
    // ended from outside after the driver is done, and the test fails.
    int Run(HWND parent, const std::function<void()>& drive)
    {
        HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const DWORD saverThread = GetCurrentThreadId();
        bool rescued = false;
        std::thread driver([&] {
            drive();
            if (WaitForSingleObject(ended, kWaitMs) == WAIT_TIMEOUT) {
                rescued = true;
                PostThreadMessageA(saverThread, WM_QUIT, kRescuedQuitCode, 0);
            }
        });
        const int result = RunSaverWindow(parent);
        SetEvent(ended);
        driver.join();
        CloseHandle(ended);
        EXPECT_FALSE(rescued) << "the message loop did not end by itself";
        return result;
    }

    // Driver side: the window exists and its loop takes messages.
    static HWND WaitUntilRunning()
    {
        if (!WaitFor([] { return g_watched.window != nullptr; }))
            return nullptr;
        return Settle() ? g_watched.window.load() : nullptr;
    }
    // Driver side: true once the saver's thread has taken everything posted
    // to the window before this call, and what handling that posted in turn;
    // false when the window is gone.
    static bool Settle()
    {
        for (int round = 0; round < 2; ++round) {
            const int before = g_watched.markers;
            if (!PostMessageA(g_watched.window, g_probeMessage, 0, 0))
                return false;
            // A window that goes meanwhile takes no more markers.
            WaitFor([before] { return g_watched.markers > before || !IsWindow(g_watched.window); });
            if (g_watched.markers == before)
                return false;
        }
        return true;
    }
    // Driver side: runs `work` on the saver's thread, between its messages.
    static bool OnSaverThread(std::function<void()> work)
    {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutA(g_watched.window, g_probeMessage, 0,
                                   reinterpret_cast<LPARAM>(&work), SMTO_NORMAL, kWaitMs, &ignored) != 0;
    }
    static void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        PostMessageA(g_watched.window, message, wParam, lParam);
    }
    // Saver side: whether a message sent to the window leaves the cursor hidden.
    static bool HidesTheCursor(UINT message, WPARAM wParam, LPARAM lParam)
    {
        SetCursor(g_arrow);
        SendMessageA(g_watched.window, message, wParam, lParam);
        return GetCursor() == nullptr;
    }

    // Windows 98 with the screen-saver password on and the PASSWORD.CPL
    // stand-in where the saver looks for the provider.
    void TurnTheLockOnAsOnWindows98()
    {
        flag_.SetNumber(1);
        SetDllDirectoryA(FixtureFolder("password_cpl").c_str());
        SetStartupStateForTest(GetModuleHandleA(nullptr), 1);
        SetScreenSaverRunningDirectly(false);
    }

    HMODULE imm_ = nullptr;
    HHOOK hooks_[4] = {};
    StandInStore store_;
    ScreenSavePasswordFlag flag_;
};

// What the driver read back from a running full-screen saver window.
struct FullScreenView {
    UINT classStyle = 0;
    HICON classIcon = nullptr;
    HCURSOR classCursor = reinterpret_cast<HCURSOR>(-1);
    HBRUSH classBrush = nullptr;
    DWORD exStyle = 0, style = 0;
    RECT area = {};
    char title[32] = "";
    HWND foreground = nullptr;
    bool hiddenOnPaint = false, hiddenOnShow = false, hiddenOnSetCursor = false;
    LRESULT setCursorAnswer = 0;
};

TEST_F(SaverLife, FullScreenWindowLivesOnTopWithTheCursorHiddenAndClosesOnAKey)
{
    g_watched.refuseFirstActivation = true;
    FullScreenView view;
    const int result = Run(nullptr, [&] {
        HWND window = WaitUntilRunning();
        ASSERT_NE(nullptr, window);
        view.foreground = GetForegroundWindow();
        OnSaverThread([&] {
            view.classStyle = static_cast<UINT>(GetClassLongA(window, GCL_STYLE));
            view.classIcon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
            view.classCursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
            view.classBrush = reinterpret_cast<HBRUSH>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND));
            view.exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
            view.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
            GetWindowRect(window, &view.area);
            GetWindowTextA(window, view.title, sizeof view.title);
            view.hiddenOnPaint = HidesTheCursor(WM_PAINT, 0, 0);
            view.hiddenOnShow = HidesTheCursor(WM_SHOWWINDOW, TRUE, 0);
            SetCursor(g_arrow);
            view.setCursorAnswer = SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                                                MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            view.hiddenOnSetCursor = GetCursor() == nullptr;
        });
        // A key as the keyboard driver posts it: 'A' with its scan code. The
        // loop translates it into a character before the close it asks for.
        Post(WM_KEYDOWN, 'A', MAKELPARAM(1, 0x1E));
    });

    EXPECT_EQ(0, result);
    EXPECT_FALSE(IsWindow(g_watched.window)) << "the close was carried out";
    EXPECT_TRUE(g_watched.sawChar) << "keys are translated in the loop";

    EXPECT_EQ(static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC), view.classStyle);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SAVER)), view.classIcon);
    EXPECT_EQ(nullptr, view.classCursor);
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), view.classBrush);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOPMOST), view.exStyle & WS_EX_TOPMOST);
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              view.style & 0xFFFF0000u);
    EXPECT_STREQ("Screen Saver", view.title);
    RECT screen;
    HDC dc = GetDC(nullptr);
    GetClipBox(dc, &screen);
    ReleaseDC(nullptr, dc);
    EXPECT_TRUE(EqualRect(&screen, &view.area));

    EXPECT_EQ(1, g_watched.activationsRefused);
    EXPECT_EQ(g_watched.window.load(), view.foreground) << "brought to the front";

    EXPECT_EQ(1, g_watched.createSeen);
    EXPECT_TRUE(g_watched.cursorHiddenAfterCreate);
    EXPECT_TRUE(view.hiddenOnPaint);
    EXPECT_TRUE(view.hiddenOnShow);
    EXPECT_TRUE(view.hiddenOnSetCursor);
    EXPECT_EQ(1, view.setCursorAnswer);

    EXPECT_FALSE(g_watched.contextAfterCreate) << "the input context is detached at creation";
    EXPECT_TRUE(g_watched.contextAfterDestroy) << "and given back when the window goes";
}


TEST_F(SaverLife, EveryKindOfInputEndsTheRun)
{
    struct Case { const char* name; UINT message; WPARAM wParam; } cases[] = {
        {"key", WM_KEYDOWN, VK_SPACE},
        {"system key", WM_SYSKEYDOWN, VK_MENU},
        {"left button", WM_LBUTTONDOWN, MK_LBUTTON},
        {"right button", WM_RBUTTONDOWN, MK_RBUTTON},
        {"middle button", WM_MBUTTONDOWN, MK_MBUTTON},
        {"mouse moved far", WM_MOUSEMOVE, 0},
        {"lost activation", WM_ACTIVATEAPP, FALSE},
        {"power broadcast", WM_POWERBROADCAST, PBT_APMSUSPEND},
        {"critical resume", WM_POWER, PWR_CRITICALRESUME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        SetCursorPos(300, 300);
        const int result = Run(nullptr, [&] {
            ASSERT_NE(nullptr, WaitUntilRunning());
            if (c.message == WM_MOUSEMOVE)
                SetCursorPos(310, 300);
            Post(c.message, c.wParam, 0);
        });
        EXPECT_EQ(0, result);
        EXPECT_FALSE(IsWindow(g_watched.window));
    }
}

TEST_F(SaverLife, TheRunReturnsTheCodeOfTheQuitThatEndedIt)
{
    EXPECT_EQ(7, Run(nullptr, [] {
        ASSERT_NE(nullptr, WaitUntilRunning());
        OnSaverThread([] { PostQuitMessage(7); });
    }));
}

// Wine ignores SetForegroundWindow for a child window, so only the call itself
// can show a preview being brought forward.
using SetForegroundFn = BOOL(WINAPI*)(HWND);
SetForegroundFn g_realSetForeground;
std::atomic<int> g_foregroundCalls;

BOOL WINAPI CountedSetForeground(HWND window)
{
    ++g_foregroundCalls;
    return g_realSetForeground(window);
}

TEST_F(SaverLife, APreviewIsAChildThatNeitherComesForwardNorHidesTheCursorNorLocks)
{
    TurnTheLockOnAsOnWindows98();  // still no lock for a preview

    PreviewHost parent;
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(other, GetForegroundWindow());

    g_foregroundCalls = 0;
    ImportHook counted("user32.dll", "SetForegroundWindow", reinterpret_cast<const void*>(&CountedSetForeground));
    ASSERT_TRUE(counted.Installed());
    g_realSetForeground = counted.Original<SetForegroundFn>();
    ASSERT_NE(nullptr, g_realSetForeground);
    DWORD style = 0;
    RECT area = {};
    HWND foreground = nullptr, windowParent = nullptr;
    bool hiddenOnPaint = true, providerLoaded = true;
    const int result = Run(parent.Area(), [&] {
        HWND window = WaitUntilRunning();
        ASSERT_NE(nullptr, window);
        foreground = GetForegroundWindow();
        OnSaverThread([&] {
            style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
            windowParent = GetParent(window);
            GetWindowRect(window, &area);
            MapWindowPoints(nullptr, parent.Area(), reinterpret_cast<POINT*>(&area), 2);
            hiddenOnPaint = HidesTheCursor(WM_PAINT, 0, 0);
            providerLoaded = GetModuleHandleA("PASSWORD.CPL") != nullptr;
            // The control panel closes its preview by destroying the area.
            DestroyWindow(parent.Area());
        });
    });
    DestroyWindow(other);

    EXPECT_EQ(0, result);
    EXPECT_EQ(0, g_foregroundCalls.load());
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN), style & 0xFFFF0000u);
    EXPECT_EQ(parent.Area(), windowParent);
    EXPECT_EQ(0, area.left);
    EXPECT_EQ(0, area.top);
    EXPECT_EQ(152, area.right);
    EXPECT_EQ(112, area.bottom);
    EXPECT_EQ(other, foreground) << "a preview never comes to the front";
    EXPECT_EQ(1, g_watched.createSeen);
    EXPECT_FALSE(g_watched.cursorHiddenAfterCreate);
    EXPECT_FALSE(hiddenOnPaint);
    EXPECT_FALSE(providerLoaded);
    EXPECT_EQ(0u, store_.Number(STANDIN_PROVIDER_LOADS_VALUE));
}

TEST_F(SaverLife, ASecondFullScreenRunOnlyBringsTheFirstForward)
{
    TurnTheLockOnAsOnWindows98();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kSaverClass;
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND running = CreateWindowExA(0, kSaverClass, "Screen Saver", WS_POPUP | WS_VISIBLE, 0, 0, 100,
                                   100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(other, GetForegroundWindow());

    EXPECT_EQ(0, RunSaverWindow(nullptr));
    EXPECT_EQ(running, GetForegroundWindow());
    EXPECT_EQ(0u, store_.Number(STANDIN_PROVIDER_LOADS_VALUE)) << "no password set-up";
    EXPECT_FALSE(ScreenSaverRunning());
    DestroyWindow(other);
    DestroyWindow(running);
}

// The Windows 98 lock against the PASSWORD.CPL stand-in, over the whole run.
TEST_F(SaverLife, OnWindows98ThePasswordGuardsTheCloseOnePromptAtATime)
{
    TurnTheLockOnAsOnWindows98();
    store_.SetPassword("letmein");
    static std::atomic<DWORD> s_now;
    s_now = 100000;
    SetTickSourceForTest([]() WINAPI -> DWORD { return s_now; });

    bool runningDuringRun = false, providerDuringRun = false;
    HWND firstPrompt = nullptr, firstOwner = nullptr, secondOwner = nullptr;
    int promptsWhileOpen = 0, promptsSoonAfter = 0;
    bool aliveAfterRefusal = false;
    const int result = Run(nullptr, [&] {
        HWND window = WaitUntilRunning();
        ASSERT_NE(nullptr, window);
        runningDuringRun = ScreenSaverRunning();
        OnSaverThread([&] { providerDuringRun = GetModuleHandleA("PASSWORD.CPL") != nullptr; });

        Post(WM_KEYDOWN, VK_SPACE);
        firstPrompt = WaitForDialog(GetCurrentProcessId(), STANDIN_PROMPT_CAPTION, kWaitMs);
        ASSERT_NE(nullptr, firstPrompt);
        firstOwner = GetWindow(firstPrompt, GW_OWNER);
        // More input and closes while the prompt is open bring no second one.
        Post(WM_KEYDOWN, VK_SPACE);
        Post(WM_CLOSE);
        Post(WM_LBUTTONDOWN, MK_LBUTTON);
        Settle();
        promptsWhileOpen = g_watched.prompts;

        s_now = 200000;  // when the refused prompt ends
        AnswerDialog(firstPrompt, {{{IDC_STANDIN_PASSWORD, "guess"}}, IDOK});
        Settle();
        aliveAfterRefusal = IsWindow(window) != FALSE;

        s_now = 200000 + 150;  // too soon: refused without a prompt
        Post(WM_CLOSE);
        Settle();
        promptsSoonAfter = g_watched.prompts;

        s_now = 200000 + 200;  // long enough: asked again
        Post(WM_CLOSE);
        HWND secondPrompt = WaitForDialog(GetCurrentProcessId(), STANDIN_PROMPT_CAPTION, kWaitMs);
        ASSERT_NE(nullptr, secondPrompt);
        secondOwner = GetWindow(secondPrompt, GW_OWNER);
        AnswerDialog(secondPrompt, {{{IDC_STANDIN_PASSWORD, "letmein"}}, IDOK});
    });

    EXPECT_EQ(0, result);
    EXPECT_FALSE(IsWindow(g_watched.window));
    EXPECT_TRUE(runningDuringRun);
    EXPECT_TRUE(providerDuringRun);
    EXPECT_EQ(g_watched.window.load(), firstOwner);
    EXPECT_EQ(g_watched.window.load(), secondOwner);
    EXPECT_EQ(1, promptsWhileOpen);
    EXPECT_TRUE(aliveAfterRefusal);
    EXPECT_EQ(1, promptsSoonAfter);
    EXPECT_EQ(2, g_watched.prompts.load());
    // Torn down after the loop: the provider unloaded, the switch off.
    EXPECT_EQ(nullptr, GetModuleHandleA("PASSWORD.CPL"));
    EXPECT_EQ(1u, store_.Number(STANDIN_PROVIDER_UNLOADS_VALUE));
    EXPECT_FALSE(ScreenSaverRunning());
}

}  // namespace life

}  // namespace
