#include "ConsolePaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quill {

QString DefaultSettingsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString ResolveProfileName(const QString& folder, const QString& bareName)
{
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(bareName)))
        return dir.filePath(bareName);
    // File names here are case-sensitive; the settings names are not.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(bareName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return dir.filePath(bareName);
}

QString DefaultInstanceEndpoint()
{
    // Security: a full path in the user's own runtime folder (mode 0700), so
    // another user can neither see our endpoint nor hold the name to keep
    // this user's console from starting.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("Quillshare.console"));
}

} // namespace quill
