#pragma once

class QAction;
class QMenu;
class QObject;

namespace ui {

class DecodeOverlay;
class UrlOpener;

// The chart's popup items beyond the designed menu, after a separator of their own: the check
// items "Dekoduj protokół" (on unless the user turned it off) and "Pasma tolerancji" (off unless
// turned on), both remembered in the settings and applied to the overlay; the command "Wyczyść
// ramkę"; the chart's export as PNG and SVG; and "Protokoły użytkownika…", which opens the folder
// of the user's protocol file (creating it, with a commented example file, when missing) and
// reloads the file. The user's protocols are read when the menu is made; bad lines are reported
// in a message box. The other commands are the window's to connect.
class DecodeMenu {
public:
    // Settings values under the application's key, "1" or "0".
    static constexpr const char* DecodeValue = "ProtocolDecode";
    static constexpr const char* BandsValue = "ToleranceBands";

    // Appends the items to `menu`; they belong to `owner`. `overlay` and `url` must outlive this
    // object.
    DecodeMenu(QMenu& menu, DecodeOverlay& overlay, UrlOpener& url, QObject* owner);

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
    QAction* Protokoyuytkownika1 = nullptr;

    // Reads the user's protocol file again, reports bad lines and redraws the decode. `always`:
    // say what was read even when nothing is wrong.
    void ReloadUserProtocols(bool always);

private:
    DecodeOverlay& overlay_;
    UrlOpener& url_;
};

} // namespace ui
