// The console's settings file, "Quillshare.ini": the shared folder, the
// password, the mailer's two remembered texts, the five access rights and the
// main window's placement. Read once at the main window's first show and
// written once at its close; in between the controls hold the live values.
#pragma once

#include "ProfileFile.h"
#include "SharingPolicy.h"
#include "WindowPlacement.h"

#include <QString>

namespace quill {

// Everything the file carries besides the "Data" section.
struct TConsoleSettingsValues {
    QString homeDir;
    QString password; // kept in plain text, as typed
    QString mailFrom;
    QString mailAddress;
    AccessRights rights;
    TWindowPlacement placement;
};

// The derived settings name: the program file's name without its folder and
// its extension, in lower case, with ".ini" ("Quillshare" gives "quillshare.ini").
QString DerivedIniName(const QString& programFile);

class TConsoleSettings {
public:
    // folder: where the settings files live; programFile: the path of the
    // program, from which the derived name of the "Data" section's file comes.
    TConsoleSettings(QString folder, const QString& programFile);

    static QString FileName() { return QStringLiteral("Quillshare.ini"); }
    // The two files, resolved in the folder (the same file under both names).
    QString FilePath() const;
    QString DerivedFilePath() const;

    // Reads every key into values; each key absent or unreadable keeps the
    // value values already holds.
    void Read(TConsoleSettingsValues& values) const;
    // Writes every key in a fixed order, "Data" "Port" last. Raises
    // EProfileError at the first key that cannot be written; the keys after
    // it are not written.
    void Write(const TConsoleSettingsValues& values, const QString& portSetting);

    // "Data" "Port" of the derived file: carried from run to run and never
    // applied to the server.
    QString ReadPortSetting(const QString& fallback = QStringLiteral("ftp")) const;
    void WritePortSetting(const QString& port);

private:
    QString folder_;
    QString derivedName_;
};

} // namespace quill
