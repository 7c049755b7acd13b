// Renders the wizard's three pages, as a user reaches them, to PNG files in
// the folder given as the argument: sender.png, address.png, mail.png. A
// strip with the window's caption is drawn above each page.
#include "MailWizard.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <cstdio>

namespace {

bool Save(QWidget& page, const QString& path)
{
    QApplication::processEvents();
    const QPixmap shot = page.grab();
    constexpr int kCaptionHeight = 24;
    QImage image(shot.width(), shot.height() + kCaptionHeight, QImage::Format_RGB32);
    image.fill(QColor(0x3c, 0x3c, 0x3c));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawText(
        QRect(8, 0, shot.width() - 16, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft, page.windowTitle());
    painter.drawPixmap(0, kCaptionHeight, shot);
    painter.end();
    return image.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mailer_render_pages OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;

    quill::TMailMemory memory { QStringLiteral("Ann Example"), QStringLiteral("bob@example.org") };
    quill::MailRelaySettings relay;
    relay.Host = QStringLiteral("127.0.0.1"); // never used: nothing is sent
    quill::TMailWizard wizard(
        memory, [] { return QStringLiteral("ftp://192.0.2.7"); }, [] { return QStringLiteral("s3cret"); },
        relay);

    wizard.Start();
    bool ok = Save(wizard.SenderPage(), out.filePath(QStringLiteral("sender.png")));
    wizard.SenderPage().BitBtn1->click();
    ok = Save(wizard.AddressPage(), out.filePath(QStringLiteral("address.png"))) && ok;
    wizard.AddressPage().BitBtn2->click();
    ok = Save(wizard.MailPage(), out.filePath(QStringLiteral("mail.png"))) && ok;
    std::printf("%s\n", qPrintable(out.absolutePath()));
    return ok ? 0 : 1;
}
