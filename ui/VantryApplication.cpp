#include "VantryApplication.h"

#include "DDKError.h"
#include "Pictures.h"
#include "Prompts.h"
#include "Resources.h"
#include "ServiceKeys.h"

#include <QIcon>
#include <QLibraryInfo>

TVantryApplication::TVantryApplication(int& Argc, char** Argv, TPrompts& Prompts)
    : QApplication(Argc, Argv), FPrompts(Prompts)
{
    setApplicationName("Vantry");
    setWindowIcon(QIcon(PictureFromResource(VantryResource_icon())));
    // Without Qt's translations installed the buttons stay English, which is
    // no reason not to start.
    if (FQtTexts.load("qtbase_fr", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&FQtTexts);
}

void TVantryApplication::ShowError()
{
    // An error may quote an address or the last bytes of an answer.
    const std::string Message = HideServiceKeys(DDKCurrentErrorMessage());
    try {
        FPrompts.Message(Message, TPrompts::TKind::Error);
    } catch (...) {
        // A box that cannot be shown must not take the program down with it.
    }
}

bool TVantryApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ShowError();
        return false;
    }
}

void RunHandler(const std::function<void()>& Handler)
{
    try {
        Handler();
    } catch (...) {
        if (auto* Application = dynamic_cast<TVantryApplication*>(QCoreApplication::instance()))
            Application->ShowError();
    }
}
