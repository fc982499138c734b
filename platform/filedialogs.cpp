// Qt's file dialogs behind the FileDialogs interface.
#include "filedialogs.h"

#include <QApplication>
#include <QFileDialog>

QString QtFileDialogs::openFileName() {
    return QFileDialog::getOpenFileName(QApplication::activeWindow());
}

QString QtFileDialogs::saveFileName() {
    return QFileDialog::getSaveFileName(QApplication::activeWindow());
}
