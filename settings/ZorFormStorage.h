#pragma once

// TZorFormStorage keeps its owner window's outer size and position (Width, Height, Top, Left)
// between runs, either in the user's settings file (UseRegistry, group "Software/<program>/<form>")
// or in an INI file (section = the form's objectName). It hooks the owner's show, close-query and
// destroy events in Loaded(): it restores on every showing, saves on every close query that still
// allows closing (after the handler it found has run), and saves again at destruction. The form's
// own handlers keep running. Main thread only.

#include "settings/FormEvents.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

namespace settings {

enum class TApplicationIniName { asAppIniName, asCustom };

class TZorFormStorage : public QObject {
    Q_OBJECT

public:
    // The marker that names the INI file after the program.
    static constexpr char AppIniNameMarker[] = "[ApplicationExeName.ini]";

    // Qt parent = owner. The owner should be a QWidget that is a HookableForm; with any other
    // owner nothing is hooked, restored from or saved to the form.
    explicit TZorFormStorage(QWidget* owner);
    ~TZorFormStorage() override; // gives the form its own handlers back

    TZorFormStorage(const TZorFormStorage&) = delete;
    TZorFormStorage& operator=(const TZorFormStorage&) = delete;

    bool Active = true;
    bool UseRegistry = false; // set true at construction unless the user is root

    QString IniFileName() const { return iniFileName_; }
    void SetIniFileName(const QString& Value);
    TApplicationIniName TypeIniName() const { return typeIniName_; }
    void SetTypeIniName(TApplicationIniName Value);

    // The after-loading notification: hooks the form's events (once; later calls do nothing).
    void Loaded();

    // "\Software\<program>\<form objectName>", built from the current names.
    QString PlacementKey() const;

    void RestorePlacement();
    void SavePlacement(); // throws std::runtime_error "Unable to write to <file>" (INI mode)

    // Here: the effective user is root.
    static bool IsUserAdmin();

    // The program's name as used in the key and the INI file: the executable's file name without
    // its extension.
    static QString ProgramName();
    // The INI file named after the program: next to the executable, "<program lower case>.ini".
    static QString AppIniFilePath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct HookState;
    struct ShowHook;
    struct CloseQueryHook;
    struct DestroyHook;

    HookableForm* OwnerForm() const;
    QWidget* OwnerWidget() const { return owner_.data(); }
    void HookFormEvents();
    void UnhookFormEvents();
    void DoFormShow(QObject* Sender);
    void DoFormCloseQuery(QObject* Sender, bool& CanClose);
    void DoFormDestroy(QObject* Sender);

    struct PlacementValue {
        QString Name;
        int Value;
    };

    int ReadPlacementValue(const QString& Name, int Default) const;
    // The values in the order given, with one replacement of the settings file; whether each was
    // written (an empty name never is).
    std::vector<bool> WritePlacementValues(const std::vector<PlacementValue>& Values) const;
    int ReadIniValue(const QString& Name, int Default) const;
    // Throws "Unable to write to <file>" when the file cannot be written; then none of the values
    // is.
    void WriteIniValues(const std::vector<PlacementValue>& Values) const;
    QString EffectiveIniFileName() const;
    QString SectionName() const;

    void SetOuterWidth(int Width);
    void SetOuterHeight(int Height);
    void FixPlacementOnceFrameKnown();

    QPointer<QWidget> owner_;
    QString iniFileName_;
    TApplicationIniName typeIniName_ = TApplicationIniName::asAppIniName;
    std::shared_ptr<HookState> hooks_;
    bool Restored = false;
    // The placement restored while the window frame was still unknown, reapplied once it is.
    QRect pendingOuter_;
    QRect appliedClient_;
};

} // namespace settings
