#pragma once

#include <QComboBox>

#include <filesystem>
#include <string>
#include <vector>

class QStandardItemModel;

namespace ui {

// The port box: an editable combo box whose drop-down lists the ports by their short names with
// what the system tells about each (the adapter's name, its /dev/serial/by-id link) in columns
// beside them and as tooltips. The box stays narrow; the drop-down takes the width it needs.
// The text in the box is the user's: refreshing the list never changes it. A name too wide for the
// box is written smaller, down to a limit, rather than cut.
class PortComboBox final : public QComboBox {
    Q_OBJECT

public:
    explicit PortComboBox(QWidget* parent = nullptr);

    // Replaces the list with these ports and the system's LIRC devices after them, keeping the
    // text in the box.
    void SetPorts(const std::vector<std::string>& names);
    // Where the LIRC devices are looked up (the rc class in sysfs); tests point it elsewhere.
    void SetLircClass(std::filesystem::path rcClass) { lircClass_ = std::move(rcClass); }

    void showPopup() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

signals:
    // Emitted just before the drop-down opens, so the list can be brought up to date: adapters
    // come and go while the program runs.
    void PopupAboutToShow();

private:
    void FitText();

    QStandardItemModel* model_;
    std::filesystem::path lircClass_ = "/sys/class/rc";
};

} // namespace ui
