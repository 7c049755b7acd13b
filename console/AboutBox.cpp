#include "AboutBox.h"

#include "ConsoleArt.h"
#include "HyperLinkField.h"
#include "MakerSite.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace quill {

namespace {

QLabel* NavyLabel(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    art::SetTextColour(*label, art::Navy);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TAboutBox::TAboutBox(TConsoleDesktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    // --- The window
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Tarnwick"));
    setFixedSize(292, 223);
    art::Paint(*this, art::Blue);

    // --- The panel and its contents
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(4, 8, 281, 161);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    art::Paint(*panel, art::SkyBlue);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(38, 18, 35, 35);
    icon->setPixmap(art::ProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignCenter);

    productName_ = NavyLabel(QStringLiteral("Tarnwick Quillshare Server"), panel, 88, 16);
    productName_->setObjectName(QStringLiteral("ProductName"));
    version_ = NavyLabel(QStringLiteral("Version 1.0.2"), panel, 88, 40);
    version_->setObjectName(QStringLiteral("Version"));

    homePage_ = new THyperLinkField(desktop, QString::fromLatin1(maker::Host), panel);
    homePage_->setObjectName(QStringLiteral("HyperLinkEdit1"));
    QFont linkFont = homePage_->font();
    linkFont.setBold(true);
    linkFont.setPointSize(14);
    homePage_->setFont(linkFont);
    art::SetTextColour(*homePage_, art::StoppedRed);
    QPalette linkPalette = homePage_->palette();
    linkPalette.setColor(QPalette::Base, art::SkyBlue);
    homePage_->setPalette(linkPalette);
    // Bold 14 point, made smaller when the address would not fit its place.
    while (
        linkFont.pointSize() > 8 && QFontMetrics(linkFont).horizontalAdvance(homePage_->text()) > 229 - 8) {
        linkFont.setPointSize(linkFont.pointSize() - 1);
        homePage_->setFont(linkFont);
    }
    homePage_->setGeometry(28, 60, 229, homePage_->sizeHint().height());

    auto* motto = new QLabel(
        QStringLiteral("Where all File Sharing is for Backup and Archival purposes only !"), panel);
    motto->setObjectName(QStringLiteral("Label1"));
    motto->setGeometry(24, 92, 240, 32);
    motto->setWordWrap(true);
    motto->setAlignment(Qt::AlignCenter);
    QFont mottoFont = motto->font();
    mottoFont.setPointSize(10);
    motto->setFont(mottoFont);
    art::SetTextColour(*motto, art::Navy);

    NavyLabel(QStringLiteral("\u00a9 Tarnwick. All rights reserved."), panel, 36, 140);

    // --- The button
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(111, 184, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    art::CentreOnScreen(*this);
}

} // namespace quill
