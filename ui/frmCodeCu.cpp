#include "ui/frmCodeCu.h"

#include "ui/FontFallbacks.h"
#include "ui_frmCodeCu.h"

#include <QGuiApplication>
#include <QScreen>

namespace ui {

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm2>()) {
    InstallFontFallbacks();
    ui_->setupUi(this);
    // The designed size is the client area; keep it when the window manager adds its frame.
    resize(554, 290);
    QFont mono = ui_->Memo1->font();
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    ui_->Memo1->setFont(mono);
}

TForm2::~TForm2() = default;

QPlainTextEdit* TForm2::Memo1() const {
    return ui_->Memo1;
}

void TForm2::SetMemoText(std::string_view text) {
    QString lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    ui_->Memo1->setPlainText(lines);
}

void TForm2::ShowModal() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (showModalHook_) {
        showModalHook_(*this);
        return;
    }
    exec();
}

} // namespace ui
