// The tutorial's one window: a stack of pages, each a caption above a
// picture, with Back, Next and Exit on a strip along the bottom. It starts
// maximised on the first page; closing it ends the program.
#pragma once

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace quill::tour {

inline constexpr char kApplicationTitle[] = "Quillshare Tutorial";
inline constexpr char kWindowTitle[] = "Quillshare File Sharing Tutorial";

// Left edges of the bottom buttons for a window outerWidth pixels wide. With
// M half the width (a half rounded to the even neighbour), Next starts at
// M - 50 so that it is centred, Back at M - 250 and Exit at M + 150.
struct ButtonLefts {
    int back;
    int next;
    int exit;
    bool operator==(const ButtonLefts&) const = default;
};
ButtonLefts ButtonLeftsFor(int outerWidth);

class TTutorial : public QWidget {
public:
    explicit TTutorial(QWidget* parent = nullptr);

    // The page shown, 0 for the first.
    int ActivePage() const;

    QStackedWidget& PageControl() { return *pageControl_; }
    QPushButton& BackButton() { return *backButton_; }
    QPushButton& NextButton() { return *nextButton_; }
    QPushButton& ExitButton() { return *exitButton_; }
    // The caption of a page: a QLabel or a QTextEdit, as the page wants.
    QWidget& CaptionArea(int page) { return *captions_.at(page); }
    QLabel& Picture(int page) { return *pictures_.at(page); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreatePages();
    void CreateButtonPanel();

    void NextButtonClick();
    void BackButtonClick();
    void ExitButtonClick();
    void PlaceButtons();

    QStackedWidget* pageControl_ = nullptr;
    QWidget* panel_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    std::vector<QWidget*> captions_; // one per page, owned by the page
    std::vector<QLabel*> pictures_;
};

} // namespace quill::tour
