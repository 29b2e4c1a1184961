#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string_view>

class QPlainTextEdit;

namespace Ui {
class TForm2;
}

namespace ui {

// The C table window: one editable text box that shows a generated C array for copying. It is
// created once, hidden, and reused; closing it only hides it.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    // Replaces the modal loop, so that tests can look at the shown window without blocking.
    using ShowModalHook = std::function<void(TForm2&)>;

    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    QPlainTextEdit* Memo1() const;

    // Puts `text` into Memo1 as its whole text. CR LF, LF and lone CR all become the editor's line
    // breaks, so the lines shown and copied are exactly the lines of the text.
    void SetMemoText(std::string_view text);

    // Centres the window on the screen and runs it modally; returns when the user closes it.
    void ShowModal();

    void SetShowModalHook(ShowModalHook hook) { showModalHook_ = std::move(hook); }

private:
    std::unique_ptr<Ui::TForm2> ui_;
    ShowModalHook showModalHook_;
};

} // namespace ui
