#include "ui/FontFallbacks.h"

#include <QFont>
#include <QStringList>

namespace ui {

void InstallFontFallbacks() {
    static const bool installed = [] {
        const QStringList sans{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")};
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), sans);
        QFont::insertSubstitutions(QStringLiteral("Verdana"), sans);
        QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"),
                                                             QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Bookman Old Style"),
                                   {QStringLiteral("URW Bookman"), QStringLiteral("URW Bookman L"),
                                    QStringLiteral("DejaVu Serif")});
        QFont::insertSubstitutions(
            QStringLiteral("Courier New"),
            {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
        return true;
    }();
    (void)installed;
}

} // namespace ui
