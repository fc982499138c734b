// The open and save dialogs for word-list files.
#pragma once

#include <QString>

class FileDialogs {
public:
    FileDialogs() = default;
    FileDialogs(const FileDialogs&) = delete;
    FileDialogs& operator=(const FileDialogs&) = delete;
    virtual ~FileDialogs() = default;

    // Modal open dialog over all files; the chosen name, or empty when cancelled.
    virtual QString openFileName() = 0;
    // Modal save dialog over all files; the chosen name, or empty when cancelled.
    virtual QString saveFileName() = 0;
};

// Qt's dialogs: no filter, no default extension, no title of our own.
class QtFileDialogs final : public FileDialogs {
public:
    QString openFileName() override;
    QString saveFileName() override;
};
