#include "AccessRightsForm.h"

#include "ConsoleArt.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStyle>

namespace quill {

namespace {

// The boxes, top to bottom, in the order of AccessRight.
struct Box {
    AccessRight right;
    const char* name;
    const char* caption;
};
const Box Boxes[] = {
    { AccessRight::CreateDir, "CreateDirectoryCheckBox", "Allow Friend to Create Directories" },
    { AccessRight::DeleteDir, "DeleteDirectoryCheckBox", "Allow Friend to Delete Directories" },
    { AccessRight::Upload, "UploadfilesCheckBox", "Allow Friend to Upload Files to You" },
    { AccessRight::DeleteFiles, "DeleteFilesCheckBox", "Allow Friend to Delete Your Files" },
    { AccessRight::Rename, "RenameCheckBox", "Allow Friend to Rename Files / Dirs." },
};

std::size_t Index(AccessRight right)
{
    return static_cast<std::size_t>(right);
}

} // namespace

TAccessRightsForm::TAccessRightsForm(QWidget* parent)
    : QDialog(parent)
{
    // --- The window
    setObjectName(QStringLiteral("AccessRightsForm"));
    setWindowTitle(QStringLiteral("Access Rights"));
    setFixedSize(300, 225);
    art::Paint(*this, art::SkyBlue);

    // --- The five boxes
    int top = 8;
    for (const Box& b : Boxes) {
        auto* box = new QCheckBox(QString::fromLatin1(b.caption), this);
        box->setObjectName(QString::fromLatin1(b.name));
        QFont font = box->font();
        font.setBold(true);
        font.setPointSize(10);
        box->setFont(font);
        art::SetTextColour(*box, art::Navy);
        box->move(8, top);
        box->resize(284, box->sizeHint().height());
        boxes_[Index(b.right)] = box;
        top += 24;
    }

    // --- The buttons
    auto* selectAll = new QPushButton(QStringLiteral("Select All"), this);
    selectAll->setObjectName(QStringLiteral("SelectAllButton"));
    selectAll->setToolTip(QStringLiteral("Full Access - Least Secure"));
    selectAll->setGeometry(16, 148, 80, 25);
    auto* ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(108, 148, 80, 25);
    auto* clearAll = new QPushButton(QStringLiteral("Clear All"), this);
    clearAll->setObjectName(QStringLiteral("ClearAllButton"));
    clearAll->setToolTip(QStringLiteral("Copy only - Most Secure"));
    clearAll->setGeometry(204, 148, 80, 25);

    // --- Connections
    connect(selectAll, &QPushButton::clicked, this, [this] { SelectAllButtonClick(); });
    connect(clearAll, &QPushButton::clicked, this, [this] { ClearAllButtonClick(); });
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(boxes_[Index(AccessRight::CreateDir)], &QCheckBox::toggled, this,
        [this] { CreateDirectoryCheckBoxClick(); });
}

bool TAccessRightsForm::Right(AccessRight right) const
{
    return CheckBox(right).isChecked();
}

void TAccessRightsForm::SetRight(AccessRight right, bool on)
{
    CheckBox(right).setChecked(on);
}

AccessRights TAccessRightsForm::Rights() const
{
    AccessRights rights;
    for (const Box& b : Boxes)
        rights.Set(b.right, Right(b.right));
    return rights;
}

void TAccessRightsForm::SetRights(const AccessRights& rights)
{
    for (const Box& b : Boxes)
        SetRight(b.right, rights.Has(b.right));
}

QCheckBox& TAccessRightsForm::CheckBox(AccessRight right) const
{
    return *boxes_[Index(right)];
}

void TAccessRightsForm::ShowForward()
{
    show();
    raise();
    activateWindow();
}

void TAccessRightsForm::SelectAllButtonClick()
{
    SetRights(AccessRights::All());
}

void TAccessRightsForm::ClearAllButtonClick()
{
    SetRights(AccessRights());
}

void TAccessRightsForm::CreateDirectoryCheckBoxClick()
{
    // A change of this box, by the user or by the program, brings the
    // dialog forward: whoever changes it sees all five rights.
    ShowForward();
}

void TAccessRightsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        art::CentreOnScreen(*this);
    }
}

} // namespace quill
