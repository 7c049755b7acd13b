#include "LogView.h"

#include <QFontDatabase>

namespace quill {

QString LogLineText(const std::string& line)
{
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (u == 0x2028 || u == 0x2029)
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

TLogView::TLogView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::ClickFocus); // not a tab stop
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(8);
    setFont(font);
}

void TLogView::AppendLine(const std::string& line)
{
    appendPlainText(LogLineText(line));
}

} // namespace quill
