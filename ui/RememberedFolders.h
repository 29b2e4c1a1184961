#pragma once

#include <QString>

namespace ui {

// Starting folders of the file dialogs, kept as string values under the application's settings key
// and remembered as the folder each dialog was opened with (not the folder of the chosen file).
//
// The stored default is the user's home folder, the counterpart here of a system drive's root.

inline constexpr const char* SaveInitDirValue = "SaveInitDir";
inline constexpr const char* OpenInitDirValue = "OpenInitDir";
inline constexpr const char* BmpInitDirValue = "BmpInitDir";
inline constexpr const char* PngInitDirValue = "PngInitDir";
inline constexpr const char* SvgInitDirValue = "SvgInitDir";

// The folder a dialog is opened with for a stored value: one trailing slash dropped, unless the
// folder is the root "/" itself.
QString DialogInitialFolder(const QString& stored);

// Reads the value (the home folder when missing) and returns the dialog's initial folder.
QString ReadInitialFolder(const char* valueName);

// Writes the folder back after the user has confirmed the dialog. An empty folder is not written.
void WriteInitialFolder(const char* valueName, const QString& folder);

} // namespace ui
