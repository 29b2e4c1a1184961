#include "ui/RightAnchors.h"

#include <QEvent>
#include <QWidget>

namespace ui {

RightAnchors::RightAnchors(QWidget& container, int designedWidth)
    : QObject(&container), container_(container), designedWidth_(designedWidth) {
    container_.installEventFilter(this);
}

void RightAnchors::Anchor(QWidget& child) {
    anchored_.push_back({&child, designedWidth_ - child.x()});
    Place();
}

bool RightAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &container_ && event->type() == QEvent::Resize) {
        Place();
    }
    return QObject::eventFilter(watched, event);
}

void RightAnchors::Place() {
    for (const Anchored& anchored : anchored_) {
        if (anchored.widget) {
            anchored.widget->move(container_.width() - anchored.rightDistance,
                                  anchored.widget->y());
        }
    }
}

} // namespace ui
