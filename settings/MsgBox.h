#pragma once

// A modal message box taking the Windows-style flag values the program's callers use, returning
// the Windows code of the button pressed; and the application's error report for exceptions that
// escape an event handler. Main thread only.

#include <QString>

#include <exception>
#include <functional>

namespace settings {

// Button sets (low nibble).
inline constexpr int MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                     MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5;
// Icons (second nibble).
inline constexpr int MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                     MB_ICONINFORMATION = 0x40;
// Results. 0 means the box could not be shown (no QApplication).
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                     IDNO = 7;

// Shows Text (always as plain text) with Caption as the window title, parented to the active
// window, and waits for the user. With a hook installed the hook answers instead.
int MsgBox(const QString& Text, const QString& Caption, int Flags);

using MsgBoxHook = std::function<int(const QString& Text, const QString& Caption, int Flags)>;

// Tests: record the boxes instead of showing them. Returns the previous hook; an empty hook
// restores the real box.
MsgBoxHook SetMsgBoxHook(MsgBoxHook hook);

// The application's report of an exception that escaped a handler: its text in an error box
// (caption: the application's display name, MB_ICONERROR). The program goes on afterwards.
void ReportException(const std::exception& Error);

} // namespace settings
