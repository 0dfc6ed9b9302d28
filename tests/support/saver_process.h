// tests/support/saver_process.h: starts the built kubotrax.scr as a process of
// its own, the way Windows does, and watches it from outside.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Full path of the kubotrax.scr the tests start: the one the build puts
// beside the test programs, or the run's copy beside the stand-in C runtime.
std::string SaverPath();

// A running saver; killed on destruction if it is still running.
class SaverProcess {
public:
    // Starts "<saver path>" <tail>. With captureDebugOutput the process runs
    // under this thread as its debugger, and Wait collects its debug strings.
    explicit SaverProcess(const std::string& tail, bool captureDebugOutput = false);
    // The same for a copy of the saver elsewhere: "<saverPath>" <tail>; with a
    // desktop ("WinSta0\\Name", made when missing), on that desktop, as the
    // system starts a saver on a desktop of its own; with a job, inside that
    // job from its first instruction, as the system may start it; with a
    // priority class (IDLE_PRIORITY_CLASS, as the system runs savers), in it.
    SaverProcess(const std::string& tail, bool captureDebugOutput, const std::string& saverPath,
                 const char* desktop = nullptr, HANDLE job = nullptr, DWORD priorityClass = 0);
    ~SaverProcess();
    SaverProcess(const SaverProcess&) = delete;
    SaverProcess& operator=(const SaverProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    // Where the saver's image lies in its process; null until its debugger
    // (this program) has heard, which is before the patch at its start runs.
    void* Image() const { return image_; }
    // True when the process ended within the time; its exit code is then kept.
    bool Wait(DWORD timeoutMs);
    // Wait, dispatching this thread's messages meanwhile: for a saver whose
    // windows are owned by windows of the test, which it sends messages to.
    // Not for a process started with captureDebugOutput.
    bool WaitPumpingMessages(DWORD timeoutMs);
    DWORD ExitCode() const { return exitCode_; }
    void Kill();
    // OutputDebugStringA texts in order, when started with captureDebugOutput.
    const std::vector<std::string>& DebugStrings() const { return debugStrings_; }
    // Called with each debug string while the saver is stopped at it, so the
    // test can look at the world at exactly that point of the saver's run.
    void SetDebugStringObserver(std::function<void(const std::string&)> observer)
    {
        observer_ = std::move(observer);
    }
    // Called once with the saver stopped as it enters ExitProcess, before
    // the system has taken its windows down, so the test can look at what
    // the run left standing. Set before the first Wait; needs
    // captureDebugOutput. ExitObserved() says whether the stop happened.
    void SetExitObserver(std::function<void()> observer) { exitObserver_ = std::move(observer); }
    // Runs `patch` once with the saver stopped at its loader's breakpoint, its
    // libraries loaded and not a line of its own run yet: the moment to
    // change how an entry behaves inside it (tests/support/remote_patch.h).
    // What it answers, empty when done, is PatchOutcome() from then on.
    // Set before the first Wait; needs captureDebugOutput.
    void PatchAtStart(std::function<std::string()> patch) { patch_ = std::move(patch); }
    const std::string& PatchOutcome() const { return patchOutcome_; }
    bool ExitObserved() const { return exitObserved_; }

private:
    bool PumpDebugEvents(DWORD timeoutMs);
    void PlantExitBreakpoint();
    bool IsExitBreakpoint(const EXCEPTION_RECORD& record) const;
    void StepOverExitBreakpoint(DWORD threadId);

    PROCESS_INFORMATION info_ = {};
    bool debugging_ = false;
    bool ended_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    std::vector<std::string> debugStrings_;
    std::function<void(const std::string&)> observer_;
    std::function<void()> exitObserver_;
    std::function<std::string()> patch_;
    std::string patchOutcome_ = "the saver never reached its start";
    bool started_ = false;  // the loader's breakpoint has passed
    BYTE* exitEntry_ = nullptr;  // ExitProcess, where the breakpoint sits
    BYTE exitEntryByte_ = 0;     // the instruction byte it replaced
    bool exitObserved_ = false;
    void* image_ = nullptr;
};

// Runs the saver to its end and returns its exit code; STILL_ACTIVE when it
// had to be killed after the timeout.
DWORD RunSaver(const std::string& tail, DWORD timeoutMs = 20000);

// Visible and hidden top-level windows of a process.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);

// Waits until a top-level window of the process with the class (null: any)
// exists; returns it, or null after the timeout.
HWND WaitForWindowOf(DWORD processId, const char* className, DWORD timeoutMs);

// Makes Wine report another Windows version to kubotrax.scr ("win98",
// "nt40", "winxp", "win7", "win10") while it lives; puts back the version
// that was set before (the run's, see below) on destruction.
class EmulatedWindowsVersion {
public:
    explicit EmulatedWindowsVersion(const char* version);
    ~EmulatedWindowsVersion();
    EmulatedWindowsVersion(const EmulatedWindowsVersion&) = delete;
    EmulatedWindowsVersion& operator=(const EmulatedWindowsVersion&) = delete;

private:
    std::string previous_;  // empty: none was set
};

// The version the whole run emulates for kubotrax.scr, from the environment
// variable KUBO_WINDOWS_VERSION; empty when unset, which leaves Wine's own
// default (Windows 7 in Wine 8).
std::string RunWindowsVersion();
// Whether the run's version is Windows 95/98/ME, where the password parts exist.
bool RunIsWindows9x();
// Whether the run stands for 64-bit Windows (KUBO_64BIT_WINDOWS set and not
// empty): its entry runs in the 64-bit Wine prefix.
bool RunIs64BitWindows();

// Whether the whole run starts the saver from beside the stand-in C runtime,
// which offers nothing but what Wine's own DLLs need (KUBO_STANDIN_C_RUNTIME
// set and not empty): SaverPath() names that copy.
bool RunUsesStandInCRuntime();

// Sets the run's version and C runtime before the first test and removes
// them after the last; with no version, it clears whatever an interrupted
// run may have left behind.
class RunSaverSettingsEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};
