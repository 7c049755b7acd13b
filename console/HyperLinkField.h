// A read-only field showing one web address without its scheme
// ("www.example.org/faq.htm"). A click on it, or Enter while it has the
// focus, opens the address in the user's web browser through the desktop.
#pragma once

#include <QLineEdit>

namespace quill {

class TConsoleDesktop;

class THyperLinkField : public QLineEdit {
public:
    THyperLinkField(TConsoleDesktop& desktop, const QString& address, QWidget* parent = nullptr);

    // Opens the field's address; a text that is empty or only blanks does
    // nothing, and a browser that cannot be started is not reported.
    void Open();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TConsoleDesktop& desktop_;
};

} // namespace quill
