#pragma once

// Small shared helpers: string values in the user's settings file, and a wait that keeps the user
// interface alive. The "registry" of the current user is one INI file written through QSettings;
// a key path such as "Software\Falquin" is the group "Software/Falquin" in that file.

#include <QString>
#include <QtGlobal>

#include <vector>

namespace settings {

enum class RegRoot { CurrentUser };

inline constexpr char AppKeyPath[] = "Software\\Falquin";

// $XDG_CONFIG_HOME/dekoder-ir/registry.ini, or ~/.config/... when the variable is unset or empty.
// Read on every call, so a changed environment takes effect at once.
QString RegistryFilePath();

// The QSettings key for a value under a key path: backslashes become '/', empty segments (leading,
// trailing or doubled separators) are dropped. Empty when the path or the name is empty.
QString RegistryKey(const QString& KeyPath, const QString& ValueName);

// Value := the string stored under KeyPath as ValueName, else Default. A missing file, key or
// value, a value that is not a plain string (a list, a typed @Variant, a group) and an unreadable
// or malformed file all give Default, silently. An existing empty string gives the empty string.
// Never creates the file or its folder.
void ReadRegString(const QString& ValueName, const QString& Default, const QString& KeyPath,
                   QString& Value, RegRoot RootKey = RegRoot::CurrentUser);

// Stores Value under KeyPath as ValueName; true only when the file was written successfully.
// Empty names or values are never written. The file is replaced atomically, so a failure or a
// crash halfway leaves the previous content intact.
bool WriteRegString(const QString& ValueName, const QString& Value, const QString& KeyPath,
                    RegRoot RootKey = RegRoot::CurrentUser);

struct RegValue {
    QString Name;
    QString Value;
};

// WriteRegString for several values under one KeyPath, in the order given, with a single
// replacement of the file (one flush to disk instead of one per value). Answers for each value
// whether it was written: false for an empty name or value (never written), and for all of them
// when the file could not be written.
std::vector<bool> WriteRegStrings(const std::vector<RegValue>& Values, const QString& KeyPath,
                                  RegRoot RootKey = RegRoot::CurrentUser);

// A millisecond tick that wraps round every 2^32 ms, and the elapsed time between two readings
// taken in 32-bit arithmetic, so the difference stays right across the wrap.
quint32 TickCount();
inline quint32 TickDifference(quint32 Start, quint32 Now) {
    return Now - Start;
}

// Returns after at least Milliseconds, processing the thread's pending events all the while (at
// least once, also for zero or negative values). Main thread only: event handlers may run inside.
void Delay(int Milliseconds);

} // namespace settings
