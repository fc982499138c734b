// Chooses the main window's font: the designed face where it exists, else the nearest sans-serif
// at the largest size that lets every caption fit its designed box.
#pragma once

#include <QFont>
#include <QList>
#include <QStringList>

class QWidget;

namespace windowfont {

// The designed face first, then faces of similar width, narrow ones before wide ones.
QStringList candidateFamilies();

// Whether every control shows its whole caption within its current geometry, in the font it has now.
bool captionsFit(const QList<QWidget*>& controls);

// Tries the candidates on window, largest size first, and leaves the first font with which all
// controls' captions fit set on it; when none fits, the nearest face at the smallest size tried.
QFont applyFittingFont(QWidget* window, const QList<QWidget*>& controls);

} // namespace windowfont
