// Keeps working-storage controls, which hold what the user types anywhere, away from assistive tools.
#pragma once

#include <QList>

class QWidget;

// The widgets stay ordinary widgets for the program, but no other process can read them through
// the accessibility bus: they are not in the tree, carry no name, text or value, and their changes
// announce nothing. Their parent's other children keep their place. Works whether or not
// accessibility was active when the widgets were made.
void hideFromAccessibility(const QList<QWidget*>& widgets);
