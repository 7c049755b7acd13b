// The about box: product, version and the maker's home page. Shown modally
// from the Help menu and, as a splash, at every start of the console.
#pragma once

#include <QDialog>

class QLabel;

namespace quill {

class TConsoleDesktop;
class THyperLinkField;

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(TConsoleDesktop& desktop, QWidget* parent = nullptr);

    QLabel& ProductName() { return *productName_; }
    QLabel& Version() { return *version_; }
    THyperLinkField& HomePage() { return *homePage_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* productName_;
    QLabel* version_;
    THyperLinkField* homePage_;
};

} // namespace quill
