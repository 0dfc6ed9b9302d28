#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "app/startup.h"
#include "game/settings_file.h"
#include "shell/crash_guard.h"
#include "shell/saver_window.h"
#include "tests/support/host_window.h"

namespace {

TEST(CommandTail, CutsTheProgramNameQuotedOrNot)
{
    struct Case { const char* line; const char* tail; } cases[] = {
        {"kubotrax.scr /s", "/s"},
        {"\"C:\\Program Files\\Kubo\\kubotrax.scr\" /p 1234", "/p 1234"},
        {"\"C:\\a b\\k.scr\"/s", "/s"},          // closing quote ends the name at once
        {"\"C:\\a b\\k.scr /s", ""},             // unclosed quote swallows everything
        {"kubotrax.scr/s", ""},                  // no blank: still part of the name
        {"k.scr \t\r\n /c", "/c"},               // any control characters are skipped
        {"k.scr\x01\x1f s", "s"},
        {"k\xE9\xFF.scr /a 5", "/a 5"},          // bytes above 127 belong to the name
        {"", ""},
        {"\"\"", ""},
        {"\"", ""},
        {"k.scr    ", ""},
        {" /s", "/s"},                           // no name at all: blanks skipped
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.tail, CommandTail(c.line)) << "line: \"" << c.line << '"';
}

TEST(ScanSaverMode, FirstByteAfterSeparatorsDecides)
{
    struct Case { const char* tail; SaverMode mode; const char* handleText; } cases[] = {
        {"", SaverMode::ConfigureNoOwner, nullptr},
        {"/", SaverMode::ConfigureNoOwner, nullptr},
        {"- / -", SaverMode::ConfigureNoOwner, nullptr},
        {"//s", SaverMode::Saver, nullptr},
        {"-s", SaverMode::Saver, nullptr},
        {"/ s", SaverMode::Saver, nullptr},
        {"S junk after", SaverMode::Saver, nullptr},
        {"/p 1234", SaverMode::Preview, "1234"},
        {"/P   77 8", SaverMode::Preview, "77 8"},
        {"/l 42", SaverMode::Preview, "42"},
        {"L42", SaverMode::Preview, "42"},
        {"p", SaverMode::Preview, ""},
        {"p\t12", SaverMode::Preview, "\t12"},  // a tab is not skipped
        {"p:12", SaverMode::Preview, ":12"},    // nor is a colon
        {"/c", SaverMode::Configure, nullptr},
        {"c 123", SaverMode::Configure, nullptr},
        {"/c:123", SaverMode::Configure, "123"},
        {"C:", SaverMode::Configure, ""},
        {"c: 5", SaverMode::Configure, " 5"},
        {"/a 99", SaverMode::ChangePassword, "99"},
        {"A", SaverMode::ChangePassword, ""},
    };
    for (const Case& c : cases) {
        ModeRequest request = ScanSaverMode(c.tail);
        EXPECT_EQ(c.mode, request.mode) << "tail: \"" << c.tail << '"';
        if (c.handleText)
            EXPECT_STREQ(c.handleText, request.handleText) << "tail: \"" << c.tail << '"';
        else
            EXPECT_EQ(nullptr, request.handleText) << "tail: \"" << c.tail << '"';
    }
}

TEST(ScanSaverMode, RejectsEveryOtherDecidingByte)
{
    const char* rejected[] = {"x", "/x", "1", "?", "/?", "\t", "/\ts", "\x80", "\xE9s", "\xFF",
                              ":", "\\s", "t"};
    for (const char* tail : rejected)
        EXPECT_EQ(SaverMode::Rejected, ScanSaverMode(tail).mode) << "tail: \"" << tail << '"';

    // Every byte value as the deciding byte, after a separator.
    for (int value = 1; value < 256; ++value) {
        const char tail[] = {'/', static_cast<char>(value), 0};
        const bool known = std::string(" -/sSpPlLcCaA").find(static_cast<char>(value)) != std::string::npos;
        EXPECT_EQ(!known, ScanSaverMode(tail).mode == SaverMode::Rejected) << "byte " << value;
    }
}

TEST(ParseWindowHandle, ReadsLeadingDigitsOnly)
{
    struct Case { const char* text; DWORD expected; } cases[] = {
        {"1234", 1234},       {"12ab", 12},          {" 12", 0},   {"", 0},
        {"-5", 0},            {"+5", 0},             {"0x10", 0},  {"007", 7},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0},    {"4294967297", 1},     // wraps modulo 2^32
        {"99999999999999999999999999999999", 0xFFFFFFFFu},  // 10^32 - 1,
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ParseWindowHandle(c.text)) << "text: \"" << c.text << '"';
}

// A window that faults soon after a child is made in it: on a message it
// posts itself, which the child's message loop then dispatches.
LRESULT CALLBACK FaultsOnNewChild(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PARENTNOTIFY && LOWORD(wParam) == WM_CREATE)
        PostMessageA(window, WM_APP, 0, 0);
    if (message == WM_APP)
        *static_cast<volatile int*>(nullptr) = 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(DispatchSaverMode, RunsTheModeUnderTheCrashGuard)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FaultsOnNewChild;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KuboFaultingParent";
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND parent = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 152, 112, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, parent);
    // The preview's loop faults in the control panel's window; unguarded,
    // the fault would end this test program.
    const std::string tail = "/p " + HandleText(parent);
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION,
              static_cast<DWORD>(DispatchSaverMode(GetModuleHandleA(nullptr), tail.c_str())));
    DestroyWindow(parent);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
    UnregisterClassA("WindowsScreenSaverClass", GetModuleHandleA(nullptr));
    ResetSaverWindowForTest();
    ResetGameSettingsForTest();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        ;
}

// A text placed so that its terminator is the last byte before an inaccessible
// page: any read past the end faults at once.
class GuardedText {
public:
    GuardedText()
    {
        base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedText() { VirtualFree(base_, 0, MEM_RELEASE); }
    const char* Place(const std::string& text)
    {
        char* start = base_ + kPage - text.size() - 1;
        memcpy(start, text.c_str(), text.size() + 1);
        return start;
    }

private:
    static constexpr size_t kPage = 4096;
    char* base_;
};

TEST(CommandLineScan, NeverReadsPastTheEndOfAnyInput)
{
    GuardedText guarded;
    std::mt19937 random(20261207);
    const std::string interesting = "\"  \t-/sSpPlLcCaA:0123456789\x80\x81\xE9\xFFx";
    const std::string adversarial[] = {
        "\"", "\"\"", "\"abc", "k.scr /p 99999999999999999999999999999999999999", "k /c:",
        "k /c:9999999999999999999999", "k /p", "k /a", "k \x81", "\"\x81", "k /p \x81",
        std::string(3000, '/'), "k " + std::string(2000, '9'), "k /p " + std::string(2000, ' '),
    };
    auto check = [&](const std::string& line) {
        const char* tail = CommandTail(guarded.Place(line));
        ModeRequest request = ScanSaverMode(tail);
        if (request.handleText)
            ParseWindowHandle(request.handleText);
    };
    for (const std::string& line : adversarial)
        check(line);
    for (int round = 0; round < 20000; ++round) {
        std::string line(random() % 24, ' ');
        for (char& byte : line)
            byte = random() % 3 ? interesting[random() % interesting.size()]
                                : static_cast<char>(1 + random() % 255);
        check(line);
    }
    SUCCEED();  // a read past the end would have faulted
}

}  // namespace
