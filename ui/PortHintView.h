#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QWidget;
class QStatusBar;

namespace ui {

// Shows why the port does not work where the user looks anyway, without hovering: a warning icon
// in the status bar in front of the link panel (whose text stays the link's) and the hint as one
// line over the middle of the chart. The line lets the mouse through to the chart. Both belong to
// the widgets they sit in; an empty hint hides them.
class PortHintView final : public QObject {
    Q_OBJECT

public:
    // `linkPanelIndex` is the link panel's place among the bar's widgets.
    PortHintView(QStatusBar& bar, int linkPanelIndex, QWidget& chart);

    void Show(const QString& hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceLine();

    QPointer<QWidget> chart_;
    QPointer<QLabel> icon_;
    QPointer<QLabel> line_;
};

} // namespace ui
