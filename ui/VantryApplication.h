// The application object, and the one place where an error that escapes an
// event handler becomes a message box while the program goes on.
#pragma once

#include <QApplication>
#include <QTranslator>

#include <functional>

class TPrompts;

class TVantryApplication : public QApplication
{
public:
    // Names the application "Vantry": message boxes carry it as their caption
    // and every window its picture. Qt's own texts (standard buttons, the
    // folder picker) are French whatever the user's locale, as all the
    // program's texts are.
    TVantryApplication(int& Argc, char** Argv, TPrompts& Prompts);

    // Shows the error being handled (call inside a catch) in an error box,
    // the services' keys hidden.
    void ShowError();

    // Last resort for an error that reached the event loop itself.
    bool notify(QObject* Receiver, QEvent* Event) override;

private:
    TPrompts& FPrompts;
    QTranslator FQtTexts;
};

// Runs a handler that Qt called: an error leaving it is shown to the user and
// goes no further. Qt's own code is built without exception support, so no
// error may travel through it back to the event loop.
void RunHandler(const std::function<void()>& Handler);
