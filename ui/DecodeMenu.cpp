#include "ui/DecodeMenu.h"

#include "analysis/UserProtocols.h"
#include "settings/MsgBox.h"
#include "settings/ZorTools.h"
#include "ui/DecodeOverlay.h"
#include "ui/FormSeams.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QUrl>

namespace ui {
namespace {

bool ReadSwitch(const char* name, bool fallback) {
    QString value;
    settings::ReadRegString(QString::fromLatin1(name), fallback ? QStringLiteral("1") : QString(),
                            settings::AppKeyPath, value);
    return value == QStringLiteral("1");
}

void WriteSwitch(const char* name, bool on) {
    settings::WriteRegString(QString::fromLatin1(name),
                             on ? QStringLiteral("1") : QStringLiteral("0"), settings::AppKeyPath);
}

QAction* AddItem(QMenu& menu, QObject* owner, const char* name, const QString& caption) {
    auto* item = new QAction(caption, owner);
    item->setObjectName(QString::fromLatin1(name));
    menu.addAction(item);
    return item;
}

QString UserFilePath() {
    return QFile::decodeName(analysis::DefaultUserProtocolPath().c_str());
}

// The user's folder and a file that explains itself, so the folder opens onto something to edit.
void CreateUserFile(const QString& path) {
    const QFileInfo file(path);
    QDir().mkpath(file.absolutePath());
    if (file.exists())
        return;
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        const std::string_view text = analysis::UserProtocolTemplate();
        out.write(text.data(), static_cast<qint64>(text.size()));
    }
}

} // namespace

DecodeMenu::DecodeMenu(QMenu& menu, DecodeOverlay& overlay, UrlOpener& url, QObject* owner)
    : overlay_(overlay), url_(url) {
    menu.addSeparator()->setObjectName(QStringLiteral("N6"));
    Dekodujprotok1 = AddItem(menu, owner, "Dekodujprotok1", QStringLiteral("Dekoduj protokół"));
    Pasmatolerancji1 = AddItem(menu, owner, "Pasmatolerancji1", QStringLiteral("Pasma tolerancji"));
    Wyczyramk1 = AddItem(menu, owner, "Wyczyramk1", QStringLiteral("Wyczyść ramkę"));
    ZapiszwykresjakoPNG1 =
        AddItem(menu, owner, "ZapiszwykresjakoPNG1", QStringLiteral("Zapisz wykres jako PNG…"));
    ZapiszwykresjakoSVG1 =
        AddItem(menu, owner, "ZapiszwykresjakoSVG1", QStringLiteral("Zapisz wykres jako SVG…"));
    Protokoyuytkownika1 =
        AddItem(menu, owner, "Protokoyuytkownika1", QStringLiteral("Protokoły użytkownika…"));

    Dekodujprotok1->setCheckable(true);
    Dekodujprotok1->setChecked(ReadSwitch(DecodeValue, true));
    Pasmatolerancji1->setCheckable(true);
    Pasmatolerancji1->setChecked(ReadSwitch(BandsValue, false));
    overlay_.SetEnabled(Dekodujprotok1->isChecked());
    overlay_.SetBandsVisible(Pasmatolerancji1->isChecked());

    QObject::connect(Dekodujprotok1, &QAction::toggled, owner, [this](bool on) {
        overlay_.SetEnabled(on);
        WriteSwitch(DecodeValue, on);
    });
    QObject::connect(Pasmatolerancji1, &QAction::toggled, owner, [this](bool on) {
        overlay_.SetBandsVisible(on);
        WriteSwitch(BandsValue, on);
    });
    QObject::connect(Protokoyuytkownika1, &QAction::triggered, owner, [this] {
        const QString path = UserFilePath();
        CreateUserFile(path);
        url_.Open(QUrl::fromLocalFile(QFileInfo(path).absolutePath()).toString());
        ReloadUserProtocols(true);
    });
    ReloadUserProtocols(false);
}

void DecodeMenu::ReloadUserProtocols(bool always) {
    const QString path = UserFilePath();
    const analysis::UserProtocolReport report =
        analysis::LoadUserProtocolFile(analysis::DefaultUserProtocolPath());
    if (report.problems.empty() && !always)
        return;
    QString text = QStringLiteral("Wczytano protokołów użytkownika: %1 (%2).")
                       .arg(report.loaded.size())
                       .arg(path);
    const std::string details = report.Describe(QFileInfo(path).fileName().toStdString());
    if (!details.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(details).trimmed();
    settings::MsgBox(text, QStringLiteral("Protokoły użytkownika"),
                     report.problems.empty() ? settings::MB_ICONINFORMATION
                                             : settings::MB_ICONWARNING);
    if (overlay_.Enabled())
        overlay_.SetEnabled(true);
}

void DecodeMenu::Popup() {
    Wyczyramk1->setEnabled(Wyczyramk1->isEnabled() && !overlay_.Decodes().empty());
    // Not a command on the frame: offered with or without one.
    Protokoyuytkownika1->setEnabled(true);
}

} // namespace ui
