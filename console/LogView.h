// The activity log as the console shows it: a text area that lines are only
// ever appended to, until the user clears it. Not saved anywhere.
#pragma once

#include <QPlainTextEdit>

#include <string>

namespace quill {

// The text shown for one log line. Security: the line carries a visitor's
// bytes; control characters and the Unicode line and paragraph separators
// are shown as \xNN or \uNNNN, so a visitor can neither start a line of its
// own (a forged "! ... is authenticated") nor hide text. Bytes that are not
// UTF-8 show as replacement characters.
QString LogLineText(const std::string& line);

class TLogView : public QPlainTextEdit {
public:
    explicit TLogView(QWidget* parent = nullptr);

    // Appends one line at the end and scrolls to it.
    void AppendLine(const std::string& line);
};

} // namespace quill
