#include "ui/FontFallbacks.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

#include <array>
#include <utility>
#include <vector>

namespace ui {

namespace {

struct Relative {
    const char* family = nullptr;
    // The relative's size over the designed size. DejaVu Sans is about a tenth wider than Tahoma
    // (at Tahoma's 11 px, "Wprowadź opis wykresu:" takes 136 px of its 125); DejaVu Serif Bold
    // at 24 px takes 351 px for "Graficzny dekoder pilotów" in its 340 px label, at 23 px 336.
    double scale = 1.0;
};

struct Fallback {
    const char* designed;
    std::array<Relative, 3> relatives; // in order of preference; the list ends at a null family
};

const std::array<Fallback, 5> Fallbacks{{
    {"Tahoma", {{{"DejaVu Sans", 10.0 / 11.0}, {"Liberation Sans", 1.0}}}},
    {"Verdana", {{{"DejaVu Sans", 1.0}, {"Liberation Sans", 1.0}}}},
    {"Arial", {{{"Liberation Sans", 1.0}, {"DejaVu Sans", 1.0}}}},
    {"Bookman Old Style",
     {{{"URW Bookman", 1.0}, {"URW Bookman L", 1.0}, {"DejaVu Serif", 23.0 / 24.0}}}},
    {"Courier New", {{{"Liberation Mono", 1.0}, {"DejaVu Sans Mono", 1.0}}}},
}};

const Fallback* FallbackFor(const QString& family) {
    for (const Fallback& fallback : Fallbacks) {
        if (family.compare(QLatin1String(fallback.designed), Qt::CaseInsensitive) == 0) {
            return &fallback;
        }
    }
    return nullptr;
}

// The size factor of the relative that stands in for `family`: 1 when the family is installed,
// unknown here, or has no installed relative.
double StandInScale(const QString& family) {
    const Fallback* fallback = FallbackFor(family);
    if (!fallback || QFontDatabase::hasFamily(family)) {
        return 1.0;
    }
    for (const Relative& relative : fallback->relatives) {
        if (relative.family && QFontDatabase::hasFamily(QLatin1String(relative.family))) {
            return relative.scale;
        }
    }
    return 1.0;
}

} // namespace

void InstallFontFallbacks() {
    static const bool installed = [] {
        for (const Fallback& fallback : Fallbacks) {
            QStringList relatives;
            for (const Relative& relative : fallback.relatives) {
                if (relative.family) {
                    relatives << QLatin1String(relative.family);
                }
            }
            QFont::insertSubstitutions(QLatin1String(fallback.designed), relatives);
        }
        return true;
    }();
    (void)installed;
}

void FitFallbackFonts(QWidget& window) {
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    // Each control gets a fitted font of its own, all taken from the fonts as designed: a control
    // under a style sheet keeps a copy of the font it had when the sheet was applied and would not
    // follow its parent's.
    std::vector<std::pair<QWidget*, QFont>> fitted;
    for (QWidget* widget : widgets) {
        QFont font = widget->font();
        const double scale = StandInScale(font.family());
        if (scale == 1.0) {
            continue;
        }
        if (font.pointSizeF() > 0) {
            font.setPointSizeF(font.pointSizeF() * scale);
        } else {
            font.setPixelSize(qRound(font.pixelSize() * scale));
        }
        fitted.emplace_back(widget, font);
    }
    for (const auto& [widget, font] : fitted) {
        widget->setFont(font);
    }
}

} // namespace ui
