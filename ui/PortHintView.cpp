#include "ui/PortHintView.h"

#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>

#include <algorithm>

namespace ui {

namespace {

constexpr int IconSize = 16;
constexpr int LineMargin = 24;

} // namespace

PortHintView::PortHintView(QStatusBar& bar, int linkPanelIndex, QWidget& chart)
    : QObject(&chart), chart_(&chart) {
    icon_ = new QLabel(&bar);
    icon_->setObjectName(QStringLiteral("PortHintIcon"));
    icon_->setPixmap(
        bar.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(IconSize, IconSize));
    bar.insertWidget(linkPanelIndex, icon_, 0);
    icon_->hide();

    line_ = new QLabel(&chart);
    line_->setObjectName(QStringLiteral("PortHint"));
    line_->setTextFormat(Qt::PlainText);
    line_->setWordWrap(true);
    line_->setAlignment(Qt::AlignCenter);
    line_->setAttribute(Qt::WA_TransparentForMouseEvents);
    line_->setStyleSheet(QStringLiteral("QLabel { color: #A00000; background: rgba(255, 255, 230, "
                                        "230); border: 1px solid #D0A000; padding: 4px; }"));
    line_->hide();
    chart.installEventFilter(this);
}

void PortHintView::Show(const QString& hint) {
    if (!icon_ || !line_) {
        return;
    }
    icon_->setToolTip(hint);
    line_->setText(hint);
    icon_->setVisible(!hint.isEmpty());
    line_->setVisible(!hint.isEmpty());
    PlaceLine();
}

bool PortHintView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && event->type() == QEvent::Resize) {
        PlaceLine();
    }
    return QObject::eventFilter(watched, event);
}

void PortHintView::PlaceLine() {
    if (!chart_ || !line_ || line_->isHidden()) {
        return;
    }
    const int width = std::max(0, chart_->width() - 2 * LineMargin);
    const int height = line_->heightForWidth(width);
    line_->setGeometry(LineMargin, (chart_->height() - height) / 2, width, height);
    line_->raise();
}

} // namespace ui
