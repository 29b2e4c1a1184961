#pragma once

#include <QObject>

class QAction;
class QCPItemText;
class QCustomPlot;
class QMenu;

namespace frame {
class FrameCore;
}

namespace ui {

// "Wstrzymaj": holds the view on the current frame while the device goes on sending (the frame
// core keeps taking frame lines into the history), with "WSTRZYMANE" in the chart's upper right
// corner while held. Main thread only.
class ViewHold : public QObject {
    Q_OBJECT
public:
    ViewHold(QCustomPlot& plot, frame::FrameCore& core);
    ~ViewHold() override;

    void AddItem(QMenu& popup);
    QAction* Item() const { return item_; }

private:
    void SetHeld(bool held);

    QCustomPlot& plot_;
    frame::FrameCore& core_;
    QAction* item_ = nullptr;
    QCPItemText* sign_ = nullptr;
};

} // namespace ui
