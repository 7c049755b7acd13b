// QuillshareTour: the slideshow that walks a user through sharing a folder.
// It stands alone: it neither starts nor talks to the server program, and it
// reads and writes no file.
#include "TutorialWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Shown by the desktop for the program and on its message boxes.
    QApplication::setApplicationName(QLatin1String(quill::tour::kApplicationTitle));

    quill::tour::TTutorial tutorial;
    tutorial.show();
    return QApplication::exec();
}
