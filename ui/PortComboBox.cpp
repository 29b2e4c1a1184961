#include "ui/PortComboBox.h"

#include "serial/EnumComPorts.h"
#include "serial/LircPorts.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTreeView>

#include <algorithm>

namespace ui {

namespace {

enum Column { NameColumn, DescriptionColumn, ByIdColumn, ColumnCount };

constexpr char ByIdFolder[] = "/dev/serial/by-id/";

// A name too wide for the box is written smaller in these steps, down to 70 % of the box's font.
constexpr double ScaleStep = 0.05;
constexpr int ShrinkSteps = 6;
// The line edit keeps this much space on each side of its text.
constexpr int EditTextMargin = 2;

QFont Scaled(const QFont& font, double scale) {
    QFont scaled = font;
    if (font.pointSizeF() > 0) {
        scaled.setPointSizeF(font.pointSizeF() * scale);
    } else {
        scaled.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale)));
    }
    return scaled;
}

} // namespace

PortComboBox::PortComboBox(QWidget* parent)
    : QComboBox(parent), model_(new QStandardItemModel(0, ColumnCount, this)) {
    setModel(model_);
    auto* columns = new QTreeView(this);
    columns->header()->hide();
    columns->setRootIsDecorated(false);
    columns->setItemsExpandable(false);
    columns->setUniformRowHeights(true);
    columns->setAllColumnsShowFocus(true);
    columns->setSelectionBehavior(QAbstractItemView::SelectRows);
    columns->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setView(columns);
    connect(this, &QComboBox::editTextChanged, this, &PortComboBox::FitText);
}

void PortComboBox::SetPorts(const std::vector<std::string>& names) {
    const QString text = currentText();
    model_->removeRows(0, model_->rowCount());
    std::vector<std::string> all = names;
    for (std::string& lirc : serial::EnumLircPorts(lircClass_)) {
        all.push_back(std::move(lirc));
    }
    for (const std::string& name : all) {
        serial::TComPortDetails details;
        if (serial::IsLircPortName(name)) {
            details.Description = serial::LircDriverName(name, lircClass_);
        } else {
            details = serial::DescribeComPort(name);
        }
        const QString byId =
            details.ById.empty() ? QString() : ByIdFolder + QString::fromStdString(details.ById);
        QList<QStandardItem*> row{new QStandardItem(QString::fromStdString(name)),
                                  new QStandardItem(QString::fromStdString(details.Description)),
                                  new QStandardItem(byId)};
        QStringList tip{row[NameColumn]->text()};
        for (const QString& part : {row[DescriptionColumn]->text(), byId}) {
            if (!part.isEmpty()) {
                tip << part;
            }
        }
        for (QStandardItem* item : row) {
            item->setToolTip(tip.join(QLatin1Char('\n')));
        }
        model_->appendRow(row);
    }
    setCurrentIndex(findText(text));
    setEditText(text);
}

void PortComboBox::showPopup() {
    emit PopupAboutToShow();
    auto* columns = static_cast<QTreeView*>(view());
    int width = 2 * columns->frameWidth() + columns->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < ColumnCount; ++column) {
        columns->resizeColumnToContents(column);
        width += columns->columnWidth(column);
    }
    columns->setMinimumWidth(width);
    QComboBox::showPopup();
}

void PortComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    FitText();
}

void PortComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        FitText();
    }
}

void PortComboBox::FitText() {
    QLineEdit* edit = lineEdit();
    if (!edit) {
        return;
    }
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QMargins margins = edit->textMargins();
    const int room =
        style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
            .width() -
        margins.left() - margins.right() - 2 * EditTextMargin;
    const QString text = currentText();
    QFont fitted = font();
    for (int step = 1; step <= ShrinkSteps && QFontMetrics(fitted).horizontalAdvance(text) > room;
         ++step) {
        fitted = Scaled(font(), 1.0 - step * ScaleStep);
    }
    edit->setFont(fitted);
}

} // namespace ui
