#include "TutorialWindow.h"

#include "TourPages.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <map>

// The pictures live in a static library; their registration has to be
// pulled in by name, outside any namespace.
static void RegisterTutorialPictures()
{
    Q_INIT_RESOURCE(tutorial);
}

namespace quill::tour {

namespace {

// --- Look
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0x80, 0x00);
constexpr int kDesignWidth = 693;
constexpr int kDesignHeight = 837;
constexpr int kPanelHeight = 57;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 40;
constexpr int kButtonTop = 8;
constexpr int kButtonTextPixels = 21;

QFont TextFont(int pixels, bool bold)
{
    QFont font;
    // The face the pages were designed with, then whatever sans face the
    // system has.
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif") });
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QWidget* MakeLabelCaption(const TourPage& page, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(page.lines.join(QLatin1Char('\n')));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kNavy);
    palette.setColor(QPalette::WindowText, kRed);
    label->setPalette(palette);
    // A long caption is cut at the window's edge rather than widening it.
    label->setMinimumWidth(0);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

QWidget* MakeLinesCaption(const TourPage& page, QWidget* parent)
{
    auto* box = new QTextEdit(parent);
    box->setFrameShape(QFrame::NoFrame);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QTextEdit::WidgetWidth);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, kNavy);
    palette.setColor(QPalette::Text, kRed);
    box->setPalette(palette);
    box->setPlainText(page.lines.join(QLatin1Char('\n')));
    QTextCursor all(box->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);
    return box;
}

QPushButton* MakeButton(const QString& text, const QColor& face, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(text + QStringLiteral("Button"));
    button->setFont(TextFont(kButtonTextPixels, true));
    // A flat face of the page's colours with a raised edge that sinks
    // while pressed.
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 2px outset %2; }"
                                         "QPushButton:pressed { border-style: inset; }")
                              .arg(face.name(), face.lighter(150).name()));
    button->setGeometry(0, kButtonTop, kButtonWidth, kButtonHeight);
    return button;
}

} // namespace

ButtonLefts ButtonLeftsFor(int outerWidth)
{
    int half = outerWidth / 2;
    // An odd width puts M on a half: round it to the even neighbour.
    if (outerWidth % 2 != 0 && half % 2 != 0)
        ++half;
    return { half - 250, half - 50, half + 150 };
}

TTutorial::TTutorial(QWidget* parent)
    : QWidget(parent)
{
    RegisterTutorialPictures();

    // --- The window
    setObjectName(QStringLiteral("Tutorial"));
    setWindowTitle(QLatin1String(kWindowTitle));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kNavy);
    setPalette(palette);

    // --- Contents
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreatePages();
    CreateButtonPanel();
    layout->addWidget(pageControl_, 1);
    layout->addWidget(panel_);

    // --- Placement: the design size centred on the screen when restored,
    // maximised at start.
    resize(kDesignWidth, kDesignHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setWindowState(Qt::WindowMaximized);
}

void TTutorial::CreatePages()
{
    pageControl_ = new QStackedWidget(this);
    pageControl_->setObjectName(QStringLiteral("PageControl"));
    std::map<QString, QPixmap> loaded; // a picture shown on several pages is loaded once
    int number = 0;
    for (const TourPage& page : TourPages()) {
        auto* sheet = new QWidget(pageControl_);
        sheet->setObjectName(QStringLiteral("TabSheet%1").arg(++number));
        auto* column = new QVBoxLayout(sheet);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);

        QWidget* caption
            = page.kind == CaptionKind::Label ? MakeLabelCaption(page, sheet) : MakeLinesCaption(page, sheet);
        caption->setObjectName(QStringLiteral("Caption%1").arg(number));
        caption->setFont(TextFont(page.textPixels, false));
        caption->setFixedHeight(page.captionHeight);
        column->addWidget(caption);

        const QString path = QLatin1String(page.picture);
        auto found = loaded.find(path);
        if (found == loaded.end())
            found = loaded.emplace(path, QPixmap(path)).first;
        Q_ASSERT_X(!found->second.isNull(), "TTutorial", "a picture is missing from the resources");
        auto* picture = new QLabel(sheet);
        picture->setObjectName(QStringLiteral("Image%1").arg(number));
        picture->setPixmap(found->second);
        picture->setAlignment(Qt::AlignCenter);
        picture->setScaledContents(false);
        // A window smaller than the picture cuts its edges; it is never scaled.
        picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        column->addWidget(picture, 1);

        captions_.push_back(caption);
        pictures_.push_back(picture);
        pageControl_->addWidget(sheet);
    }
    pageControl_->setCurrentIndex(0);
}

void TTutorial::CreateButtonPanel()
{
    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("Panel1"));
    panel_->setFixedHeight(kPanelHeight);
    backButton_ = MakeButton(QStringLiteral("Back"), kRed, panel_);
    nextButton_ = MakeButton(QStringLiteral("Next"), kGreen, panel_);
    exitButton_ = MakeButton(QStringLiteral("Exit"), kRed, panel_);
    connect(backButton_, &QPushButton::clicked, this, &TTutorial::BackButtonClick);
    connect(nextButton_, &QPushButton::clicked, this, &TTutorial::NextButtonClick);
    connect(exitButton_, &QPushButton::clicked, this, &TTutorial::ExitButtonClick);
    PlaceButtons();
}

int TTutorial::ActivePage() const
{
    return pageControl_->currentIndex();
}

void TTutorial::NextButtonClick()
{
    if (ActivePage() == pageControl_->count() - 1)
        close();
    else
        pageControl_->setCurrentIndex(ActivePage() + 1);
}

void TTutorial::BackButtonClick()
{
    // There is nothing before the first page: it stays.
    if (ActivePage() > 0)
        pageControl_->setCurrentIndex(ActivePage() - 1);
}

void TTutorial::ExitButtonClick()
{
    close();
}

void TTutorial::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    PlaceButtons();
}

void TTutorial::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceButtons();
}

void TTutorial::PlaceButtons()
{
    // The outer width, frame included, as the pages were laid out for it.
    const ButtonLefts lefts = ButtonLeftsFor(frameGeometry().width());
    backButton_->move(lefts.back, kButtonTop);
    nextButton_->move(lefts.next, kButtonTop);
    exitButton_->move(lefts.exit, kButtonTop);
}

} // namespace quill::tour
