// The one way the link mailer talks to the user in a box, so that a test can
// answer the boxes instead of a person.
#pragma once

#include <QString>

class QWidget;

namespace quill {

class TMailMessageBoxes {
public:
    virtual ~TMailMessageBoxes() = default;
    // Both return once the user has dismissed the box (OK).
    virtual void Information(QWidget* parent, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& text) = 0;
};

// The boxes of the desktop: modal message boxes with an OK button.
class TDesktopMailMessageBoxes final : public TMailMessageBoxes {
public:
    void Information(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
};

} // namespace quill
