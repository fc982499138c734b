// Picks a font for a window laid out in fixed positions for one particular face.
#include "ui/windowfont.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>

namespace windowfont {

namespace {

constexpr double designedPointSize = 8.25;
// Below this the text gets hard to read; a clipped caption is then the lesser evil.
constexpr double smallestPointSize = 7.0;
constexpr double pointStep = 0.25;

QFont candidateFont(const QString& family, double pointSize) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

bool familyPresent(const QString& family) {
    // The font system substitutes silently; only a face that resolves to itself counts.
    return QFontInfo(candidateFont(family, designedPointSize))
               .family()
               .compare(family, Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList candidateFamilies() {
    return {QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
            QStringLiteral("Arial"),           QStringLiteral("Helvetica"),
            QStringLiteral("Nimbus Sans"),     QStringLiteral("Nimbus Sans L"),
            QStringLiteral("FreeSans"),        QStringLiteral("DejaVu Sans Condensed"),
            QStringLiteral("Noto Sans"),       QStringLiteral("DejaVu Sans")};
}

bool captionsFit(const QList<QWidget*>& controls) {
    for (const QWidget* control : controls) {
        if (control->sizeHint().width() > control->width())
            return false;
        if (QFontMetrics(control->font()).height() > control->height())
            return false;
    }
    return true;
}

QFont applyFittingFont(QWidget* window, const QList<QWidget*>& controls) {
    QStringList families;
    for (const QString& family : candidateFamilies()) {
        if (familyPresent(family))
            families.append(family);
    }
    if (families.isEmpty()) {
        // None of the known faces: whatever the system calls sans-serif.
        families.append(QFontInfo(candidateFont(QStringLiteral("Sans Serif"), designedPointSize)).family());
    }

    for (double size = designedPointSize; size >= smallestPointSize - 0.001; size -= pointStep) {
        for (const QString& family : std::as_const(families)) {
            const QFont font = candidateFont(family, size);
            window->setFont(font);
            if (captionsFit(controls))
                return font;
        }
    }
    const QFont fallback = candidateFont(families.first(), smallestPointSize);
    window->setFont(fallback);
    return fallback;
}

} // namespace windowfont
