#pragma once

class QAction;
class QMenu;
class QObject;

namespace ui {

class DecodeOverlay;

// The chart's popup items beyond the designed menu, after a separator of their own: the check
// items "Dekoduj protokół" (on unless the user turned it off) and "Pasma tolerancji" (off unless
// turned on), both remembered in the settings and applied to the overlay; the command "Wyczyść
// ramkę"; and the chart's export as PNG and SVG. The commands are the window's to connect.
class DecodeMenu {
public:
    // Settings values under the application's key, "1" or "0".
    static constexpr const char* DecodeValue = "ProtocolDecode";
    static constexpr const char* BandsValue = "ToleranceBands";

    // Appends the items to `menu`; they belong to `owner`. `overlay` must outlive this object.
    DecodeMenu(QMenu& menu, DecodeOverlay& overlay, QObject* owner);

    DecodeMenu(const DecodeMenu&) = delete;
    DecodeMenu& operator=(const DecodeMenu&) = delete;

    // After the menu's own enabling on opening: the clean-up is offered only while a protocol was
    // decoded.
    void Popup();

    QAction* Dekodujprotok1 = nullptr;
    QAction* Pasmatolerancji1 = nullptr;
    QAction* Wyczyramk1 = nullptr;
    QAction* ZapiszwykresjakoPNG1 = nullptr;
    QAction* ZapiszwykresjakoSVG1 = nullptr;

private:
    DecodeOverlay& overlay_;
};

} // namespace ui
