// The access rights dialog: five check boxes saying what visitors may change.
// The sharing policy reads them at the moment of each request, so a change
// applies to the next request of every visitor. Not modal; closing it saves
// nothing (the settings are written when the console closes).
#pragma once

#include "SharingPolicy.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace quill {

class TAccessRightsForm : public QDialog {
public:
    explicit TAccessRightsForm(QWidget* parent = nullptr);

    bool Right(AccessRight right) const;
    void SetRight(AccessRight right, bool on);
    AccessRights Rights() const;
    // Sets each box; a box whose state changes counts as a click on it.
    void SetRights(const AccessRights& rights);

    QCheckBox& CheckBox(AccessRight right) const;

    // Shows the dialog, or brings it forward when it is already shown.
    void ShowForward();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SelectAllButtonClick();
    void ClearAllButtonClick();
    void CreateDirectoryCheckBoxClick();

    QCheckBox* boxes_[5] = {};
    bool centred_ = false;
};

} // namespace quill
