#pragma once

#include <QString>

#include <array>

class QLabel;
class QStatusBar;

namespace ui {

// The six text panels of the main window's status bar, each a label of fixed width (the last takes
// the rest of the bar). The labels belong to the bar.
class StatusPanels {
public:
    static constexpr int PanelCount = 6;

    explicit StatusPanels(QStatusBar& bar);

    // Out-of-range indexes are ignored.
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;
    QLabel* Panel(int index) const;

private:
    std::array<QLabel*, PanelCount> panels_{};
};

} // namespace ui
