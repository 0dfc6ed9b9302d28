// tests/support/message_pump.h: handling this thread's messages while a test
// waits. The saver's windows, and dialogs owned by one of ours, send this
// thread messages and wait for the answers, so every wait here keeps handling
// them, and every wait has a deadline.
#pragma once
#include <windows.h>

#include <functional>

// Handles what is queued for this thread now.
void PumpPendingMessages();

// Handles this thread's messages for ms milliseconds.
void PumpFor(DWORD ms);

// How often the waits below look again by default. A timing driver asks for
// a finer step.
constexpr DWORD kDefaultPollMs = 10;

// Handles messages until done() holds, looking every pollMs; false when
// timeoutMs ran out first.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = kDefaultPollMs);

// Makes a window of this thread the foreground window, and again whenever a
// focus event of a window that has gone meanwhile (another process's dialog
// owned by it, say), which Wine may hand this thread late, takes it away;
// true once it is the foreground window after the pending messages.
bool MakeForegroundWindow(HWND window, DWORD timeoutMs);

// A visible dialog (class "#32770") of the process that `accept` takes, found
// while handling messages; null after timeoutMs.
HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)>& accept, DWORD timeoutMs,
                        DWORD pollMs = kDefaultPollMs);

// The same for the dialog with exactly this caption.
HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs);

// The saver's configuration dialog (the dialog with a layout list) of a process.
HWND WaitForSetupDialog(DWORD processId, DWORD timeoutMs, DWORD pollMs = kDefaultPollMs);

// A message box of a process with the caption (a dialog without a layout list).
HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs);
