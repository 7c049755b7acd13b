// What the console asks of the desktop: message boxes, the folder chooser,
// modal dialogs and the web browser. The windows reach the desktop only
// through this interface, so tests put an answering stand-in in its place.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

class QDialog;
class QWidget;

namespace quill {

class TConsoleDesktop {
public:
    virtual ~TConsoleDesktop() = default;

    // A confirmation with OK and Cancel; true for OK.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    // An information with an OK button.
    virtual void Inform(QWidget* parent, const QString& text) = 0;
    // The error that ended a user action.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // The folder chooser, starting at `start`: the user may type a path and
    // is asked before a missing folder is made. Nothing when cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& start) = 0;
    // Shows the dialog modally and returns its result.
    virtual int RunModal(QDialog& dialog) = 0;
    // Opens the address in the user's web browser; false when it could not.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The real desktop: the platform's message boxes, our folder chooser and the
// desktop's browser.
class TDesktopDialogs : public TConsoleDesktop {
public:
    bool Confirm(QWidget* parent, const QString& text) override;
    void Inform(QWidget* parent, const QString& text) override;
    void ShowError(QWidget* parent, const QString& text) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& start) override;
    int RunModal(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;
};

} // namespace quill
