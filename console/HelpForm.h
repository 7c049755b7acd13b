// The online help window: two links to the maker's pages, the manual and the
// frequent questions. Not modal; there is only ever one.
#pragma once

#include <QDialog>

namespace quill {

class TConsoleDesktop;
class THyperLinkField;

class THelpForm : public QDialog {
public:
    explicit THelpForm(TConsoleDesktop& desktop, QWidget* parent = nullptr);

    // Shows the window, or brings it forward when it is already shown.
    void ShowForward();

    THyperLinkField& ManualLink() { return *manual_; }
    THyperLinkField& FaqLink() { return *faq_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    THyperLinkField* manual_;
    THyperLinkField* faq_;
    bool centred_ = false;
};

} // namespace quill
