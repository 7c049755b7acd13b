#include "DrawnPictures.h"

#include "PictureFrame.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>

namespace quill::tour::pictures {

namespace {

const QColor kChrome(0xe4, 0xe6, 0xea);
const QColor kEdge(0xa0, 0xa4, 0xac);
const QColor kText(0x20, 0x20, 0x20);
const QColor kLink(0x00, 0x33, 0xcc);

QFont Font(int pixels, bool bold = false)
{
    QFont font;
    font.setFamily(QStringLiteral("Sans Serif"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void Text(QPainter& p, const QRect& r, const QString& text, int pixels = 12, bool bold = false,
    int flags = Qt::AlignVCenter | Qt::AlignLeft, const QColor& colour = kText)
{
    p.setFont(Font(pixels, bold));
    p.setPen(colour);
    p.drawText(r, flags, text);
}

void Button(QPainter& p, const QRect& r, const QString& text)
{
    p.setPen(kEdge);
    p.setBrush(QColor(0xf6, 0xf7, 0xf9));
    p.drawRoundedRect(r.adjusted(0, 0, -1, -1), 3, 3);
    Text(p, r, text, 12, false, Qt::AlignCenter);
}

void Field(QPainter& p, const QRect& r, const QString& text, const QColor& colour = kText)
{
    p.setPen(kEdge);
    p.setBrush(Qt::white);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    Text(p, r.adjusted(5, 0, -5, 0), text, 12, false, Qt::AlignVCenter | Qt::AlignLeft, colour);
}

// A row of menu titles along the top; returns the rest.
QRect MenuBar(QPainter& p, const QRect& r, const QStringList& menus)
{
    const QRect bar(r.left(), r.top(), r.width(), 22);
    p.fillRect(bar, kChrome);
    int x = bar.left() + 8;
    for (const QString& menu : menus) {
        const int width = QFontMetrics(Font(12)).horizontalAdvance(menu) + 14;
        Text(p, QRect(x, bar.top(), width, bar.height()), menu);
        x += width;
    }
    return r.adjusted(0, bar.height(), 0, 0);
}

// A round button with an arrow pointing left (-1) or right (1).
void ArrowButton(QPainter& p, QPoint centre, int direction, bool enabled)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kEdge);
    p.setBrush(enabled ? QColor(0x3c, 0x8d, 0x3c) : QColor(0xc8, 0xc8, 0xc8));
    p.drawEllipse(centre, 12, 12);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPoint tip = centre + QPoint(6 * direction, 0);
    p.drawLine(centre - QPoint(6 * direction, 0), tip);
    p.drawLine(tip, centre + QPoint(direction, -5));
    p.drawLine(tip, centre + QPoint(direction, 5));
    p.setRenderHint(QPainter::Antialiasing, false);
}

// Menus, navigation buttons and the address box of a browser at `link`;
// returns the page area.
QRect BrowserChrome(QPainter& p, const QRect& r, const QString& link, const QString& status)
{
    QRect rest = MenuBar(p, r, { "File", "Edit", "View", "Go", "Bookmarks", "Help" });
    const QRect toolbar(rest.left(), rest.top(), rest.width(), 36);
    p.fillRect(toolbar, kChrome);
    p.setPen(kEdge);
    p.drawLine(toolbar.topLeft(), toolbar.topRight());
    ArrowButton(p, toolbar.topLeft() + QPoint(22, 18), -1, true);
    ArrowButton(p, toolbar.topLeft() + QPoint(52, 18), 1, false);
    Text(p, QRect(toolbar.left() + 74, toolbar.top(), 56, toolbar.height()), QStringLiteral("Address"));
    Field(p, QRect(toolbar.left() + 128, toolbar.top() + 7, toolbar.width() - 190, 22), link);
    Button(p, QRect(toolbar.right() - 54, toolbar.top() + 7, 46, 22), QStringLiteral("Go"));

    const QRect statusBar(rest.left(), rest.bottom() - 21, rest.width(), 22);
    p.fillRect(statusBar, kChrome);
    p.setPen(kEdge);
    p.drawLine(statusBar.topLeft(), statusBar.topRight());
    Text(p, statusBar.adjusted(8, 0, -8, 0), status, 11);

    return QRect(rest.left(), toolbar.bottom() + 1, rest.width(), statusBar.top() - toolbar.bottom() - 1);
}

void FolderIcon(QPainter& p, const QRect& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0xb0, 0x84, 0x10));
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    QPainterPath tab;
    tab.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 2, 2);
    p.drawPath(tab);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.18, r.width(), r.height() * 0.82), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void FileIcon(QPainter& p, const QRect& r, const QColor& band)
{
    p.setRenderHint(QPainter::Antialiasing);
    const int fold = r.width() / 3;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(kEdge.darker(130));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPoint(r.right() - fold, r.top()), QPoint(r.right() - fold, r.top() + fold));
    p.drawLine(QPoint(r.right() - fold, r.top() + fold), QPoint(r.right(), r.top() + fold));
    p.fillRect(QRect(r.left() + 1, r.bottom() - r.height() / 3, r.width() - 1, r.height() / 5), band);
    p.setRenderHint(QPainter::Antialiasing, false);
}

QColor BandFor(const QString& name)
{
    const QString suffix = name.section(QLatin1Char('.'), -1).toLower();
    if (suffix == QLatin1String("jpg"))
        return QColor(0x2e, 0x8b, 0x57);
    if (suffix == QLatin1String("doc") || suffix == QLatin1String("txt"))
        return QColor(0x2b, 0x57, 0x9a);
    if (suffix == QLatin1String("xls"))
        return QColor(0x21, 0x73, 0x46);
    if (suffix == QLatin1String("mp3"))
        return QColor(0x8e, 0x44, 0xad);
    return QColor(0xc0, 0x39, 0x2b);
}

// The browser's log-on box, framed like any other window.
QImage LogOnBox(const QString& host, const QString& user)
{
    QImage box(QSize(330, 178), QImage::Format_RGB32);
    box.fill(kChrome);
    QPainter p(&box);
    Text(p, QRect(14, 10, 302, 36),
        QStringLiteral("The server %1 asks for a user name and a password to let you in.").arg(host), 12,
        false, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    Text(p, QRect(14, 56, 90, 24), QStringLiteral("User name:"));
    Field(p, QRect(104, 56, 212, 24), user);
    Text(p, QRect(14, 90, 90, 24), QStringLiteral("Password:"));
    Field(p, QRect(104, 90, 212, 24), QString(7, QChar(0x25cf)));
    Button(p, QRect(150, 136, 78, 26), QStringLiteral("Log On"));
    Button(p, QRect(238, 136, 78, 26), QStringLiteral("Cancel"));
    p.end();
    return Framed(box, QStringLiteral("Log On"));
}

} // namespace

QImage DrawMailReader(QSize size, const Invitation& mail)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kChrome);
    QPainter p(&image);
    QRect rest = MenuBar(p, image.rect(), { "File", "Edit", "View", "Message", "Help" });

    // --- Toolbar
    const QRect toolbar(rest.left(), rest.top(), rest.width(), 38);
    p.setPen(kEdge);
    p.drawLine(toolbar.topLeft(), toolbar.topRight());
    int x = toolbar.left() + 8;
    for (const char* action : { "Reply", "Reply All", "Forward", "Print", "Delete" }) {
        Button(p, QRect(x, toolbar.top() + 6, 76, 26), QLatin1String(action));
        x += 82;
    }
    rest.setTop(toolbar.bottom() + 1);

    // --- Header
    const QRect header(rest.left(), rest.top(), rest.width(), 88);
    p.fillRect(header, QColor(0xf3, 0xf4, 0xf6));
    p.setPen(kEdge);
    p.drawLine(header.topLeft(), header.topRight());
    p.drawLine(header.bottomLeft(), header.bottomRight());
    const std::pair<const char*, QString> rows[] = { { "From:", mail.from }, { "Date:", mail.date },
        { "To:", mail.to }, { "Subject:", mail.subject } };
    int y = header.top() + 6;
    for (const auto& [name, value] : rows) {
        Text(p, QRect(header.left() + 10, y, 64, 19), QLatin1String(name), 12, true);
        Text(p, QRect(header.left() + 76, y, header.width() - 86, 19), value);
        y += 19;
    }

    // --- Body: the text as sent, the link as the reader marks it
    const QRect body(
        rest.left() + 6, header.bottom() + 6, rest.width() - 12, rest.bottom() - header.bottom() - 12);
    p.fillRect(body, Qt::white);
    p.setPen(kEdge);
    p.drawRect(body.adjusted(0, 0, -1, -1));
    QString html;
    for (const QString& line : mail.body.split(QLatin1Char('\n'))) {
        QString escaped = line.toHtmlEscaped();
        escaped.replace(mail.link,
            QStringLiteral("<a href=\"%1\" style=\"color:%2\">%1</a>").arg(mail.link, kLink.name()));
        html += escaped + QStringLiteral("<br>");
    }
    QTextDocument document;
    document.setDefaultFont(Font(13));
    document.setDocumentMargin(10);
    document.setHtml(html);
    document.setTextWidth(body.width() - 2);
    p.save();
    p.translate(body.topLeft() + QPoint(1, 1));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, kText);
    context.clip = QRectF(0, 0, body.width() - 2, body.height() - 2);
    p.setClipRect(context.clip);
    document.documentLayout()->draw(&p, context);
    p.restore();
    return image;
}

QImage DrawBrowserLogOn(QSize size, const QString& host, const QString& link, const QString& user)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kChrome);
    QPainter p(&image);
    const QRect page = BrowserChrome(p, image.rect(), link, QStringLiteral("Connecting to %1...").arg(host));
    p.fillRect(page, Qt::white);
    const QImage box = LogOnBox(host, user);
    p.drawImage(page.center() - QPoint(box.width() / 2, box.height() / 2), box);
    return image;
}

QImage DrawBrowserFiles(QSize size, const QString& host, const QString& link, const QStringList& entries)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kChrome);
    QPainter p(&image);
    const QRect page = BrowserChrome(p, image.rect(), link,
        QStringLiteral("User: friend    Server: %1    %2 objects").arg(host).arg(entries.size()));
    p.fillRect(page, Qt::white);
    Text(p, QRect(page.left() + 16, page.top() + 8, page.width() - 32, 30),
        QStringLiteral("Shared folder on %1").arg(host), 16, true);
    p.setPen(kEdge);
    p.drawLine(page.left() + 16, page.top() + 40, page.right() - 16, page.top() + 40);

    // Icons in rows, names under them.
    constexpr int kCell = 112;
    constexpr int kRow = 96;
    const int columns = std::max(1, (page.width() - 24) / kCell);
    int index = 0;
    for (const QString& entry : entries) {
        const QPoint cell(
            page.left() + 12 + (index % columns) * kCell, page.top() + 52 + (index / columns) * kRow);
        const bool folder = entry.endsWith(QLatin1Char('/'));
        const QString name = folder ? entry.chopped(1) : entry;
        if (folder)
            FolderIcon(p, QRect(cell.x() + (kCell - 48) / 2, cell.y() + 6, 48, 40));
        else
            FileIcon(p, QRect(cell.x() + (kCell - 36) / 2, cell.y(), 36, 46), BandFor(name));
        Text(p, QRect(cell.x(), cell.y() + 52, kCell, 34), name, 12, false,
            Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
        ++index;
    }
    return image;
}

} // namespace quill::tour::pictures
