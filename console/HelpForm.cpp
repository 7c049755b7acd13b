#include "HelpForm.h"

#include "ConsoleArt.h"
#include "HyperLinkField.h"
#include "MakerSite.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace quill {

namespace {

QLabel* Heading(const QString& text, QWidget* parent, const QRect& place)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(14);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    art::SetTextColour(*label, art::StoppedRed);
    label->setGeometry(place);
    return label;
}

THyperLinkField* Link(TConsoleDesktop& desktop, const char* path, QWidget* parent, int x, int y)
{
    auto* link
        = new THyperLinkField(desktop, QString::fromLatin1(maker::Host) + QString::fromLatin1(path), parent);
    QFont font = link->font();
    font.setBold(true);
    font.setPointSize(10);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::Base, art::SkyBlue);
    palette.setColor(QPalette::Text, art::Blue);
    link->setPalette(palette);
    link->setGeometry(x, y, 273, link->sizeHint().height());
    return link;
}

} // namespace

THelpForm::THelpForm(TConsoleDesktop& desktop, QWidget* parent)
    : QDialog(parent)
{
    // --- The window
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("Online Help"));
    setFixedSize(300, 250);
    art::Paint(*this, art::SkyBlue);

    // --- The two links under their headings
    Heading(QStringLiteral("OnLine Manual"), this, QRect(36, 8, 209, 29))
        ->setObjectName(QStringLiteral("DecoLabel1"));
    manual_ = Link(desktop, maker::ManualPath, this, 4, 52);
    manual_->setObjectName(QStringLiteral("HyperLinkEdit1"));
    Heading(QStringLiteral("F.A.Q.'s"), this, QRect(88, 84, 101, 29))
        ->setObjectName(QStringLiteral("DecoLabel2"));
    faq_ = Link(desktop, maker::FaqPath, this, 8, 128);
    faq_->setObjectName(QStringLiteral("HyperLinkEdit2"));

    // --- The Close button
    auto* close
        = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("BitBtn1"));
    close->setGeometry(100, 168, 75, 25);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void THelpForm::ShowForward()
{
    show();
    raise();
    activateWindow();
}

void THelpForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        art::CentreOnScreen(*this);
    }
}

} // namespace quill
