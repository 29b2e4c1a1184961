#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;

namespace ui {

// Keeps chosen children of a container at their designed distance from its right edge when the
// container is resized (the header strip's check boxes and logo stay in the top-right corner).
class RightAnchors : public QObject {
    Q_OBJECT

public:
    // `designedWidth` is the container's width that the children's designed positions refer to.
    RightAnchors(QWidget& container, int designedWidth);

    // Anchors `child` (a child of the container) by its current position.
    void Anchor(QWidget& child);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    struct Anchored {
        QPointer<QWidget> widget;
        int rightDistance; // from the container's right edge to the child's left edge
    };

    QWidget& container_;
    int designedWidth_;
    std::vector<Anchored> anchored_;
};

} // namespace ui
