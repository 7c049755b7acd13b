// The real desktop behind TConsoleDesktop, and the folder chooser.
#include "ConsoleDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTreeView>
#include <QVBoxLayout>

namespace quill {

namespace {

// A folder tree with a box for a typed path. OK takes the box's path;
// a folder that does not exist is made after the user agrees.
class TFolderChooser : public QDialog {
public:
    TFolderChooser(QWidget* parent, const QString& start)
        : QDialog(parent)
        , start_(start)
    {
        // --- Widgets
        setWindowTitle(QStringLiteral("Share Directory"));
        resize(420, 440);
        model_.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        model_.setRootPath(QDir::rootPath());
        tree_.setModel(&model_);
        for (int column = 1; column < model_.columnCount(); ++column)
            tree_.hideColumn(column);
        tree_.header()->hide();
        path_.setText(QDir::toNativeSeparators(start));
        tree_.setCurrentIndex(model_.index(start));
        tree_.scrollTo(tree_.currentIndex());
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(&tree_);
        layout->addWidget(new QLabel(QStringLiteral("Directory:"), this));
        layout->addWidget(&path_);
        layout->addWidget(buttons);

        // --- Connections
        connect(tree_.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                path_.setText(QDir::toNativeSeparators(model_.filePath(index)));
            });
        connect(buttons, &QDialogButtonBox::accepted, this, &TFolderChooser::TryAccept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }

    QString Chosen() const { return chosen_; }

private:
    void TryAccept()
    {
        const QString typed = path_.text().trimmed();
        if (typed.isEmpty())
            return;
        const QString path
            = QDir::cleanPath(QDir(start_).absoluteFilePath(QDir::fromNativeSeparators(typed)));
        const QFileInfo info(path);
        if (info.exists() && !info.isDir()) {
            QMessageBox::information(
                this, windowTitle(), QStringLiteral("\"%1\" is not a directory.").arg(path));
            return;
        }
        if (!info.exists()) {
            const auto answer = QMessageBox::question(this, windowTitle(),
                QStringLiteral("The directory \"%1\" does not exist.\nCreate it?").arg(path));
            if (answer != QMessageBox::Yes)
                return;
            if (!QDir().mkpath(path)) {
                QMessageBox::information(
                    this, windowTitle(), QStringLiteral("Could not create \"%1\".").arg(path));
                return;
            }
        }
        chosen_ = path;
        accept();
    }

    QString start_; // a typed relative path starts here
    QFileSystemModel model_;
    QTreeView tree_;
    QLineEdit path_;
    QString chosen_;
};

} // namespace

bool TDesktopDialogs::Confirm(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QApplication::applicationName(), text,
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

void TDesktopDialogs::Inform(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

void TDesktopDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QApplication::applicationName(), text);
}

std::optional<QString> TDesktopDialogs::ChooseFolder(QWidget* parent, const QString& start)
{
    TFolderChooser chooser(parent, start);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    return chooser.Chosen();
}

int TDesktopDialogs::RunModal(QDialog& dialog)
{
    return dialog.exec();
}

bool TDesktopDialogs::OpenUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace quill
