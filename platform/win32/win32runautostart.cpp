// The user's Run key, and Task Manager's record of which of its entries are switched off.
#include "win32runautostart.h"

#include <QDir>

#include <windows.h>

#include <vector>

namespace {

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString systemMessage(LSTATUS status) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(status), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message =
        length ? QString::fromWCharArray(text, length).trimmed() : QStringLiteral("error %1").arg(status);
    LocalFree(text);
    return message;
}

// The value's bytes, or nothing when there is no such value (or it cannot be read).
std::vector<BYTE> readValue(const QString& key, const QString& name, DWORD types) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, wide(key), wide(name), types | RRF_NOEXPAND, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(size);
    if (RegGetValueW(HKEY_CURRENT_USER, wide(key), wide(name), types | RRF_NOEXPAND, nullptr, data.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

LSTATUS removeValue(const QString& key, const QString& name) {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, wide(key), wide(name));
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

} // namespace

Win32RunAutostart::Win32RunAutostart(QString valueName, QString programPath, QString runKey,
                                     QString approvedKey)
    : m_valueName(std::move(valueName))
    , m_programPath(QDir::toNativeSeparators(programPath))
    , m_runKey(std::move(runKey))
    , m_approvedKey(std::move(approvedKey)) {}

QString Win32RunAutostart::command() const {
    return QLatin1Char('"') + m_programPath + QLatin1Char('"');
}

bool Win32RunAutostart::isEnabled() const {
    const std::vector<BYTE> run = readValue(m_runKey, m_valueName, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ);
    if (run.size() < sizeof(wchar_t))
        return false;
    const QString command = QString::fromWCharArray(reinterpret_cast<const wchar_t*>(run.data()),
                                                    static_cast<qsizetype>(run.size() / sizeof(wchar_t) - 1));
    // Unquoted, a path with a space starts whatever program sits at its first word ("C:\Program.exe"):
    // such a value is not ours to trust, and ticking the item writes it quoted.
    if (command.trimmed().compare(this->command(), Qt::CaseInsensitive) != 0)
        return false;
    // Task Manager keeps the entry and marks it off with an odd first byte.
    const std::vector<BYTE> approved = readValue(m_approvedKey, m_valueName, RRF_RT_REG_BINARY);
    return approved.empty() || (approved.front() & 1) == 0;
}

bool Win32RunAutostart::setEnabled(bool enabled, QString& error) {
    LSTATUS status = ERROR_SUCCESS;
    if (enabled) {
        const QString text = command();
        status = RegSetKeyValueW(HKEY_CURRENT_USER, wide(m_runKey), wide(m_valueName), REG_SZ, wide(text),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        // A mark left by Task Manager would keep the new entry switched off.
        if (status == ERROR_SUCCESS)
            status = removeValue(m_approvedKey, m_valueName);
    } else {
        status = removeValue(m_runKey, m_valueName);
        if (status == ERROR_SUCCESS)
            status = removeValue(m_approvedKey, m_valueName);
    }
    if (status != ERROR_SUCCESS) {
        error = QStringLiteral("HKEY_CURRENT_USER\\%1: %2").arg(m_runKey, systemMessage(status));
        return false;
    }
    return true;
}
