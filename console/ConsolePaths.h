// Where the console keeps what lives outside the program: the folder of its
// settings files, how a bare settings file name becomes a file, and the name
// of the endpoint that tells a starting console another one runs. Everything
// that differs between operating systems lives behind this header
// (ConsolePaths_posix.cpp here).
#pragma once

#include <QString>

namespace quill {

// The folder that holds the settings files named without a folder.
QString DefaultSettingsFolder();

// The file a bare name denotes in folder. Bare names are compared without
// regard to case, so "Quillshare.ini" and "quillshare.ini" are one file: an
// existing file whose name matches in any case is taken, otherwise the name
// as given.
QString ResolveProfileName(const QString& folder, const QString& bareName);

// The endpoint name of the running console, private to the user.
QString DefaultInstanceEndpoint();

} // namespace quill
