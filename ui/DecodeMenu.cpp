#include "ui/DecodeMenu.h"

#include "settings/ZorTools.h"
#include "ui/DecodeOverlay.h"

#include <QAction>
#include <QMenu>

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

} // namespace

DecodeMenu::DecodeMenu(QMenu& menu, DecodeOverlay& overlay, QObject* owner) : overlay_(overlay) {
    menu.addSeparator()->setObjectName(QStringLiteral("N6"));
    Dekodujprotok1 = AddItem(menu, owner, "Dekodujprotok1", QStringLiteral("Dekoduj protokół"));
    Pasmatolerancji1 = AddItem(menu, owner, "Pasmatolerancji1", QStringLiteral("Pasma tolerancji"));
    Wyczyramk1 = AddItem(menu, owner, "Wyczyramk1", QStringLiteral("Wyczyść ramkę"));
    ZapiszwykresjakoPNG1 =
        AddItem(menu, owner, "ZapiszwykresjakoPNG1", QStringLiteral("Zapisz wykres jako PNG…"));
    ZapiszwykresjakoSVG1 =
        AddItem(menu, owner, "ZapiszwykresjakoSVG1", QStringLiteral("Zapisz wykres jako SVG…"));

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
}

void DecodeMenu::Popup() {
    Wyczyramk1->setEnabled(Wyczyramk1->isEnabled() && !overlay_.Decodes().empty());
}

} // namespace ui
