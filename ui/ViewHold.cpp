#include "ui/ViewHold.h"

#include "frame/FrameCore.h"

#include <QAction>
#include <QMenu>
#include <qcustomplot.h>

namespace ui {

ViewHold::ViewHold(QCustomPlot& plot, frame::FrameCore& core) : plot_(plot), core_(core) {}

ViewHold::~ViewHold() {
    SetHeld(false);
}

void ViewHold::AddItem(QMenu& popup) {
    item_ = popup.addAction(QStringLiteral("Wstrzymaj"));
    item_->setObjectName(QStringLiteral("Wstrzymaj1"));
    item_->setCheckable(true);
    connect(item_, &QAction::toggled, this, &ViewHold::SetHeld);
}

void ViewHold::SetHeld(bool held) {
    core_.SetHeld(held);
    if (held == (sign_ != nullptr))
        return;
    if (held) {
        sign_ = new QCPItemText(&plot_);
        sign_->setSelectable(false);
        sign_->position->setType(QCPItemPosition::ptAxisRectRatio);
        sign_->position->setCoords(0.99, 0.01);
        sign_->setPositionAlignment(Qt::AlignRight | Qt::AlignTop);
        sign_->setText(QStringLiteral("WSTRZYMANE"));
        sign_->setColor(Qt::white);
        sign_->setBrush(QColor(0xC0, 0x20, 0x20));
        sign_->setPadding(QMargins(4, 2, 4, 2));
        QFont font = sign_->font();
        font.setBold(true);
        sign_->setFont(font);
    } else {
        plot_.removeItem(sign_);
        sign_ = nullptr;
    }
    plot_.replot(QCustomPlot::rpQueuedReplot);
}

} // namespace ui
