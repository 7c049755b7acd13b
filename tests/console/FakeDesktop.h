// A desktop that answers instead of the user and remembers what it was asked.
#pragma once

#include "ConsoleDesktop.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

namespace quill::test {

class FakeDesktop : public TConsoleDesktop {
public:
    // --- Answers
    bool confirmAnswer = true;
    std::optional<QString> folderAnswer;
    bool openAnswer = true;

    // --- What was asked, in order: "confirm: text", "inform: text",
    // "error: text", "choose: start", "modal: objectName", "open: url"
    std::vector<std::string> calls;

    bool Confirm(QWidget*, const QString& text) override
    {
        Record("confirm: " + text);
        return confirmAnswer;
    }
    void Inform(QWidget*, const QString& text) override { Record("inform: " + text); }
    void ShowError(QWidget*, const QString& text) override { Record("error: " + text); }
    std::optional<QString> ChooseFolder(QWidget*, const QString& start) override
    {
        Record("choose: " + start);
        return folderAnswer;
    }
    int RunModal(QDialog& dialog) override
    {
        Record("modal: " + dialog.objectName());
        return QDialog::Accepted;
    }
    bool OpenUrl(const QUrl& url) override
    {
        Record("open: " + url.toString());
        return openAnswer;
    }

    int Count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c.rfind(prefix, 0) == 0;
        return n;
    }

private:
    void Record(const QString& what) { calls.push_back(what.toStdString()); }
};

} // namespace quill::test
