#include "ui/StatusPanels.h"

#include <QLabel>
#include <QStatusBar>

namespace ui {

namespace {

struct PanelDesign {
    const char* text;
    Qt::Alignment alignment;
    bool lowered;
    int width; // 0: the rest of the bar
};

// The fixed labels sit in the unlowered panels; the lowered ones carry the values.
const std::array<PanelDesign, StatusPanels::PanelCount> Designs{{
    {"Ilość impulsów: ", Qt::AlignRight, false, 100},
    {"0", Qt::AlignHCenter, true, 40},
    {"Status: ", Qt::AlignRight, false, 80},
    {"-", Qt::AlignLeft, true, 120},
    {"AVR  ", Qt::AlignRight, false, 80},
    {"", Qt::AlignLeft, true, 0},
}};

} // namespace

StatusPanels::StatusPanels(QStatusBar& bar) {
    for (int i = 0; i < PanelCount; ++i) {
        const PanelDesign& design = Designs[static_cast<size_t>(i)];
        auto* panel = new QLabel(QString::fromUtf8(design.text), &bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setAlignment(design.alignment | Qt::AlignVCenter);
        panel->setFrameShape(design.lowered ? QFrame::Panel : QFrame::NoFrame);
        panel->setFrameShadow(QFrame::Sunken);
        // Trailing blanks of the fixed labels are part of their look; keep them.
        panel->setTextFormat(Qt::PlainText);
        if (design.width > 0) {
            panel->setFixedWidth(design.width);
            bar.addWidget(panel, 0);
        } else {
            panel->setMinimumWidth(40);
            bar.addWidget(panel, 1);
        }
        panels_[static_cast<size_t>(i)] = panel;
    }
}

void StatusPanels::SetPanelText(int index, const QString& text) {
    if (QLabel* panel = Panel(index)) {
        panel->setText(text);
    }
}

QString StatusPanels::PanelText(int index) const {
    const QLabel* panel = Panel(index);
    return panel ? panel->text() : QString();
}

QLabel* StatusPanels::Panel(int index) const {
    if (index < 0 || index >= PanelCount) {
        return nullptr;
    }
    return panels_[static_cast<size_t>(index)];
}

} // namespace ui
