// The tutorial window: its pages (captions and pictures, word for word and
// pixel for pixel), the way Back, Next and Exit move through them and end
// the program, and where the buttons sit for a given width.
#include "TourPages.h"
#include "TutorialWindow.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

using namespace quill::tour;

// Readable failures.
void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
void PrintTo(const QSize& s, std::ostream* os)
{
    *os << s.width() << "x" << s.height();
}
void PrintTo(const QImage& image, std::ostream* os)
{
    *os << "image " << image.width() << "x" << image.height();
}
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0x80, 0x00);

void Settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// A tutorial shown restored at the given size (it would start maximised).
std::unique_ptr<TTutorial> ShowRestored(QSize size)
{
    auto tutorial = std::make_unique<TTutorial>();
    tutorial->setWindowState(Qt::WindowNoState);
    tutorial->resize(size);
    tutorial->show();
    Settle();
    return tutorial;
}

QImage Rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage PictureOf(TTutorial& tutorial, int page)
{
    return Rgb(tutorial.Picture(page).pixmap().toImage());
}

void ExpectLefts(TTutorial& tutorial, const ButtonLefts& lefts)
{
    EXPECT_EQ(tutorial.BackButton().geometry(), QRect(lefts.back, 8, 100, 40));
    EXPECT_EQ(tutorial.NextButton().geometry(), QRect(lefts.next, 8, 100, 40));
    EXPECT_EQ(tutorial.ExitButton().geometry(), QRect(lefts.exit, 8, 100, 40));
}

// --- What every page shows

struct ExpectedPage {
    bool label; // a one-line label, else a box of centred lines
    int height;
    int pixels;
    QStringList lines;
    QSize picture;
};

const std::vector<ExpectedPage>& Expected()
{
    static const std::vector<ExpectedPage> pages = {
        { true, 39, 21, { "Support and F.A.Q.s available Online at www.tarnwick.example" }, { 311, 238 } },
        { true, 53, 21, { "Sharing Files is as Simple as clicking on \"Share Directory\"" }, { 400, 400 } },
        { false, 71, 21,
            { "Browse your computer and select which folder you wish to share. Your friends or ",
                "coworkers will be able to view your files in this folder or any sub-folders." },
            { 430, 287 } },
        { false, 89, 21,
            { "Make sure that you enter a Password in order to Limit Access and then click on ",
                "\"Start Server\" in order to start sharing your selected files. You can stop sharing ",
                "files at any time by clicking on \"Stop Server\"" },
            { 530, 522 } },
        { false, 131, 21,
            { "After you click on \"Start Server\" you can set the access rights in order to control ",
                "what your friends or coworkers can do with your files. The most security is offered ",
                "by selecting \"Clear All\". This will allow them only to view and copy your files. They ",
                "cannot delete, rename or add files. Additional Access Rights should be selected ",
                "with caution and only for friends and coworkers you trust." },
            { 300, 225 } },
        { true, 53, 21,
            { "Finally click on \"Email Link\" to invite your Friend or Coworker to share your files" },
            { 530, 522 } },
        { true, 53, 21, { "Enter your name so that they know who is sending them an email" }, { 298, 204 } },
        { true, 53, 21, { "Enter the email address of your friend or coworker and ...." }, { 298, 204 } },
        { false, 115, 21,
            { "...this standard email is created with all the required information. You can ",
                "customize it and add your own message, but make sure that the ftp://address and ",
                "password remain in the message. Click on \"Send Email\" to send the file sharing ",
                "invitation." },
            { 400, 400 } },
        { false, 87, 21,
            { "This is what the email looks like when received by your friend or coworker. All ",
                "they have to do to access your files is click on the ftp://address link." },
            { 541, 575 } },
        { false, 115, 21,
            { "Your friend or coworker can enter any User name but  Access is granted only if ",
                "they enter the proper password. You maintain further control by being able to ",
                "change the password on your end at any time in order to prevent futher access." },
            { 486, 341 } },
        { false, 115, 21,
            { "Once access is granted your friend or coworker views your files using the familiar ",
                "Internet Explorer. They can copy and paste or drag and drop files to a folder on ",
                "their local machine. If you have allowed them access they can also copy files ",
                "onto your computer." },
            { 621, 523 } },
        { false, 73, 21,
            { "All actions and requests are logged on your end and you can cut off access at ",
                "ANY time by clicking on \"Stop Server\" " },
            { 601, 624 } },
        { false, 161, 21,
            { "Remember.... Sharing files is Easy", "", "1)  Share Directory...", "2)  Enter Password...",
                "3)  Start Server.........", "4)  Email Invitation...." },
            { 400, 400 } },
        { false, 161, 27, { "Happy Peer to Peer Files Sharing", "", "AND", "", "Please Tell Two Friends." },
            { 311, 238 } },
    };
    return pages;
}

TEST(TutorialPages, CaptionsWordForWordInRedOnNavy)
{
    ASSERT_EQ(Expected().size(), static_cast<size_t>(kPageCount));
    auto tutorial = ShowRestored({ 1200, 900 });
    ASSERT_EQ(tutorial->PageControl().count(), kPageCount);
    for (int page = 0; page < kPageCount; ++page) {
        SCOPED_TRACE(QStringLiteral("page %1").arg(page + 1).toStdString());
        ASSERT_EQ(tutorial->ActivePage(), page);
        const ExpectedPage& expected = Expected()[page];
        QWidget& caption = tutorial->CaptionArea(page);
        EXPECT_TRUE(caption.isVisible());
        EXPECT_EQ(caption.geometry(), QRect(0, 0, tutorial->width(), expected.height));
        EXPECT_EQ(caption.font().pixelSize(), expected.pixels);
        EXPECT_FALSE(caption.font().bold());

        if (expected.label) {
            auto* label = qobject_cast<QLabel*>(&caption);
            ASSERT_NE(label, nullptr);
            ASSERT_EQ(expected.lines.size(), 1);
            EXPECT_EQ(label->text(), expected.lines.front());
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_EQ(label->palette().color(QPalette::WindowText), kRed);
        } else {
            auto* box = qobject_cast<QTextEdit*>(&caption);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->toPlainText(), expected.lines.join('\n'));
            EXPECT_EQ(box->document()->blockCount(), expected.lines.size());
            for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next())
                EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            EXPECT_TRUE(box->isReadOnly());
            EXPECT_EQ(box->lineWrapMode(), QTextEdit::WidgetWidth);
            EXPECT_EQ(box->palette().color(QPalette::Text), kRed);
        }
        // No frame, no bar: the last pixel row of the caption is bare background.
        const QImage shot = Rgb(caption.grab().toImage());
        EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 1), kNavy);
        EXPECT_EQ(shot.pixelColor(1, shot.height() - 1), kNavy);

        tutorial->NextButton().click();
    }
}

TEST(TutorialPages, PicturesAreJpegOfTheirSizes)
{
    TTutorial tutorial;
    for (int page = 0; page < kPageCount; ++page) {
        SCOPED_TRACE(QStringLiteral("page %1").arg(page + 1).toStdString());
        QImageReader reader(QLatin1String(TourPages()[page].picture));
        EXPECT_EQ(reader.format(), "jpeg");
        EXPECT_EQ(reader.size(), Expected()[page].picture);
        EXPECT_EQ(tutorial.Picture(page).pixmap().size(), Expected()[page].picture);
    }
}

TEST(TutorialPages, PagesSixFourteenAndFifteenShowEarlierPictures)
{
    TTutorial tutorial;
    // 0-based: pages 6, 14, 15 show the pictures of pages 4, 2, 1.
    const std::map<int, int> repeats { { 5, 3 }, { 13, 1 }, { 14, 0 } };
    for (const auto& [page, original] : repeats)
        EXPECT_EQ(PictureOf(tutorial, page), PictureOf(tutorial, original)) << "page " << page + 1;
    // Every other page has a picture of its own.
    for (int a = 0; a < kPageCount; ++a)
        for (int b = a + 1; b < kPageCount; ++b)
            if (!repeats.contains(a) && !repeats.contains(b)) {
                EXPECT_NE(PictureOf(tutorial, a), PictureOf(tutorial, b))
                    << "pages " << a + 1 << ", " << b + 1;
            }
}

// The picture sits in the middle of the space under the caption at its own
// size: cut at the edges when the window is smaller, never scaled.
TEST(TutorialPages, PictureCentredNotStretched)
{
    // Where a centred length starts: half the room left over, either way of a half pixel.
    const auto starts = [](int room, int length) {
        const int spare = room - length;
        const int down = spare >= 0 ? spare / 2 : -((-spare + 1) / 2);
        return std::vector<int> { down, down + (spare % 2 != 0 ? 1 : 0) };
    };
    for (const QSize window : { QSize(1100, 900), QSize(700, 500), QSize(400, 300) }) {
        SCOPED_TRACE(QStringLiteral("window %1x%2").arg(window.width()).arg(window.height()).toStdString());
        auto tutorial = ShowRestored(window);
        for (int i = 0; i < 11; ++i) // page 12: the widest picture
            tutorial->NextButton().click();
        Settle();
        QLabel& label = tutorial->Picture(11);
        const QImage picture = PictureOf(*tutorial, 11);
        const QImage shown = Rgb(label.grab().toImage());

        bool found = false;
        for (const int left : starts(label.width(), picture.width()))
            for (const int top : starts(label.height(), picture.height())) {
                QImage expected(label.size(), QImage::Format_RGB32);
                expected.fill(kNavy);
                const QRect area(QPoint(left, top), picture.size());
                for (int y = 0; y < expected.height(); ++y)
                    for (int x = 0; x < expected.width(); ++x)
                        if (area.contains(x, y))
                            expected.setPixel(x, y, picture.pixel(x - left, y - top));
                found = found || shown == expected;
            }
        EXPECT_TRUE(found) << "the label does not show the picture unscaled in its middle";
    }
}

// --- The window and its buttons

TEST(TutorialWindow, StartsMaximisedOnPageOne)
{
    TTutorial tutorial;
    EXPECT_EQ(tutorial.windowTitle(), "Quillshare File Sharing Tutorial");
    EXPECT_TRUE(tutorial.windowState() & Qt::WindowMaximized);
    tutorial.show();
    Settle();
    EXPECT_EQ(tutorial.ActivePage(), 0);
    EXPECT_EQ(tutorial.frameGeometry().size(), tutorial.screen()->availableGeometry().size());
    ExpectLefts(tutorial, ButtonLeftsFor(tutorial.frameGeometry().width()));
}

TEST(TutorialWindow, BottomPanelAndButtons)
{
    auto tutorial = ShowRestored({ 1000, 800 });
    QWidget* panel = tutorial->NextButton().parentWidget();
    EXPECT_EQ(panel->geometry(), QRect(0, 800 - 57, 1000, 57));
    EXPECT_EQ(tutorial->PageControl().geometry(), QRect(0, 0, 1000, 800 - 57));
    EXPECT_EQ(Rgb(panel->grab().toImage()).pixelColor(10, 10), kNavy);

    const struct {
        QPushButton* button;
        const char* text;
        QColor face;
    } buttons[] = {
        { &tutorial->BackButton(), "Back", kRed },
        { &tutorial->NextButton(), "Next", kGreen },
        { &tutorial->ExitButton(), "Exit", kRed },
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.text);
        EXPECT_EQ(b.button->text(), b.text);
        EXPECT_EQ(b.button->font().pixelSize(), 21);
        EXPECT_TRUE(b.button->font().bold());
        EXPECT_EQ(Rgb(b.button->grab().toImage()).pixelColor(8, 6), b.face);
    }
}

TEST(TutorialWindow, ButtonLeftsRoundHalfWidthToEven)
{
    const struct {
        int width;
        ButtonLefts lefts;
    } cases[] = {
        { 1000, { 250, 450, 650 } }, { 1001, { 250, 450, 650 } }, // 500.5 -> 500
        { 1002, { 251, 451, 651 } }, { 1003, { 252, 452, 652 } }, // 501.5 -> 502
        { 693, { 96, 296, 496 } }, // the design width: 346.5 -> 346
        { 695, { 98, 298, 498 } },
        { 400, { -50, 150, 350 } }, // narrower than the row: Back leaves the window
    };
    for (const auto& c : cases)
        EXPECT_EQ(ButtonLeftsFor(c.width), c.lefts) << "width " << c.width;
}

// Widths are the window's outer widths, frame included.
TEST(TutorialWindow, ButtonsFollowEveryResize)
{
    auto tutorial = ShowRestored({ 1001, 700 });
    ExpectLefts(*tutorial, ButtonLeftsFor(tutorial->frameGeometry().width()));
    const int frame = tutorial->frameGeometry().width() - tutorial->width();
    for (const int width : { 1000, 1001, 1003, 693, 1000 }) {
        SCOPED_TRACE(width);
        tutorial->resize(width - frame, 650);
        Settle();
        ASSERT_EQ(tutorial->frameGeometry().width(), width);
        ExpectLefts(*tutorial, ButtonLeftsFor(width));
    }
    tutorial->resize(1000 - frame, 650);
    Settle();
    ExpectLefts(*tutorial, { 250, 450, 650 });
}

// --- Moving through the pages and ending

// Runs the application's loop with `action` as its first work; the loop's
// exit code: 0 when the last window closed (the program ends), 2 when it was
// still running after a while.
int RunUntilProgramEnds(const std::function<void()>& action)
{
    QTimer::singleShot(0, action);
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    patience.start(1000);
    return QApplication::exec();
}

TEST(TutorialNavigation, NextAndBackStepOnePageAndStopAtPageOne)
{
    auto tutorial = ShowRestored({ 900, 700 });
    tutorial->BackButton().click();
    EXPECT_EQ(tutorial->ActivePage(), 0) << "Back on page 1 keeps page 1";
    EXPECT_TRUE(tutorial->PageControl().currentWidget()->isVisible());
    for (int page = 1; page < kPageCount; ++page) {
        tutorial->NextButton().click();
        ASSERT_EQ(tutorial->ActivePage(), page);
        EXPECT_TRUE(tutorial->PageControl().currentWidget()->isVisible());
    }
    for (int page = kPageCount - 2; page >= 0; --page) {
        tutorial->BackButton().click();
        ASSERT_EQ(tutorial->ActivePage(), page);
    }
    tutorial->BackButton().click();
    tutorial->NextButton().click();
    EXPECT_EQ(tutorial->ActivePage(), 1);
    EXPECT_TRUE(tutorial->isVisible());
}

TEST(TutorialNavigation, NextOnTheLastPageEndsTheProgram)
{
    auto tutorial = ShowRestored({ 900, 700 });
    for (int i = 0; i < kPageCount - 2; ++i)
        tutorial->NextButton().click();
    // Page 14 -> 15 is an ordinary step.
    EXPECT_EQ(RunUntilProgramEnds([&] { tutorial->NextButton().click(); }), 2);
    ASSERT_EQ(tutorial->ActivePage(), kPageCount - 1);
    EXPECT_TRUE(tutorial->isVisible());

    EXPECT_EQ(RunUntilProgramEnds([&] { tutorial->NextButton().click(); }), 0);
    EXPECT_FALSE(tutorial->isVisible());
}

TEST(TutorialNavigation, ExitOnAnyPageEndsTheProgram)
{
    for (int page = 0; page < kPageCount; ++page) {
        SCOPED_TRACE(page + 1);
        auto tutorial = ShowRestored({ 900, 700 });
        tutorial->PageControl().setCurrentIndex(page);
        EXPECT_EQ(RunUntilProgramEnds([&] { tutorial->ExitButton().click(); }), 0);
        EXPECT_FALSE(tutorial->isVisible());
    }
}

} // namespace
