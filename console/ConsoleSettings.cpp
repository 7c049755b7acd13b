#include "ConsoleSettings.h"

#include "ConsolePaths.h"

#include <QFileInfo>

namespace quill {

namespace {

const QString Config = QStringLiteral("config");
const QString Access = QStringLiteral("access");
const QString Window = QStringLiteral("Window");
const QString Data = QStringLiteral("Data");

// The rights in the order the file lists them, with their keys.
struct RightKey {
    AccessRight right;
    const char* key;
};
const RightKey RightKeys[] = {
    { AccessRight::CreateDir, "CreateDir" },
    { AccessRight::DeleteDir, "DeleteDir" },
    { AccessRight::Upload, "Upload" },
    { AccessRight::DeleteFiles, "DeleteFiles" },
    { AccessRight::Rename, "Rename" },
};

} // namespace

QString DerivedIniName(const QString& programFile)
{
    return QFileInfo(programFile).completeBaseName().toLower() + QStringLiteral(".ini");
}

TConsoleSettings::TConsoleSettings(QString folder, const QString& programFile)
    : folder_(std::move(folder))
    , derivedName_(DerivedIniName(programFile))
{
}

QString TConsoleSettings::FilePath() const
{
    return ResolveProfileName(folder_, FileName());
}

QString TConsoleSettings::DerivedFilePath() const
{
    // Names differing only in case are one file; a new file takes the
    // product's spelling.
    if (derivedName_.compare(FileName(), Qt::CaseInsensitive) == 0)
        return FilePath();
    return ResolveProfileName(folder_, derivedName_);
}

void TConsoleSettings::Read(TConsoleSettingsValues& v) const
{
    const TProfileFile file(FilePath());
    v.homeDir = file.ReadString(Config, QStringLiteral("HomeDir"), v.homeDir);
    v.password = file.ReadString(Config, QStringLiteral("Password"), v.password);
    v.mailFrom = file.ReadString(Config, QStringLiteral("From"), v.mailFrom);
    v.mailAddress = file.ReadString(Config, QStringLiteral("Address"), v.mailAddress);
    for (const RightKey& r : RightKeys)
        v.rights.Set(r.right, file.ReadBool(Access, QString::fromLatin1(r.key), v.rights.Has(r.right)));
    v.placement.top = file.ReadInteger(Window, QStringLiteral("Top"), v.placement.top);
    v.placement.left = file.ReadInteger(Window, QStringLiteral("Left"), v.placement.left);
    v.placement.width = file.ReadInteger(Window, QStringLiteral("Width"), v.placement.width);
    v.placement.height = file.ReadInteger(Window, QStringLiteral("Height"), v.placement.height);
    // "RunMinimized" is kept in the file but not acted on.
}

void TConsoleSettings::Write(const TConsoleSettingsValues& v, const QString& portSetting)
{
    TProfileFile file(FilePath());
    file.WriteString(Config, QStringLiteral("HomeDir"), v.homeDir);
    file.WriteString(Config, QStringLiteral("Password"), v.password);
    file.WriteString(Config, QStringLiteral("From"), v.mailFrom);
    file.WriteString(Config, QStringLiteral("Address"), v.mailAddress);
    for (const RightKey& r : RightKeys)
        file.WriteBool(Access, QString::fromLatin1(r.key), v.rights.Has(r.right));
    file.WriteInteger(Window, QStringLiteral("Top"), v.placement.top);
    file.WriteInteger(Window, QStringLiteral("Left"), v.placement.left);
    file.WriteInteger(Window, QStringLiteral("Width"), v.placement.width);
    file.WriteInteger(Window, QStringLiteral("Height"), v.placement.height);
    file.WriteInteger(Window, QStringLiteral("RunMinimized"), 0);
    file.WriteString(Data, QStringLiteral("Port"), portSetting);
}

QString TConsoleSettings::ReadPortSetting(const QString& fallback) const
{
    return TProfileFile(DerivedFilePath()).ReadString(Data, QStringLiteral("Port"), fallback);
}

void TConsoleSettings::WritePortSetting(const QString& port)
{
    TProfileFile(DerivedFilePath()).WriteString(Data, QStringLiteral("Port"), port);
}

} // namespace quill
