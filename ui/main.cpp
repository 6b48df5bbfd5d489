// The program's entry: the locale, the settings, the application, the two
// windows and the event loop; what was made is let go in reverse order.
#include "DDKFiles.h"
#include "Prompts.h"
#include "QtDispatcher.h"
#include "UnitAnomaly.h"
#include "UnitConfig.h"
#include "UnitSynch.h"
#include "VantryApplication.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts without a word when it finds no display; say what to do instead.
bool DisplayAvailable()
{
    const auto Set = [](const char* Name) {
        const char* Value = std::getenv(Name);
        return Value && *Value;
    };
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv)
{
    // Month names of the DvdInfoCache file and of the anomaly window, and the
    // order of file names, follow the user's locale.
    std::setlocale(LC_ALL, "");

    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "Vantry : aucun affichage n'est disponible (ni DISPLAY ni WAYLAND_DISPLAY). "
                     "Pour le lancer sous un affichage virtuel : xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }

    // Before any window or worker: a default Config has no folders at all.
    const std::string Executable = TConfig::RunningExecutable();
    std::string DataDir = TConfig::UserDataDir();
    if (DataDir.empty())
        DataDir = DDKExtractFilePath(Executable);
    Config = TConfig(Executable, DataDir);

    TQtPrompts Prompts;
    TVantryApplication Application(argc, argv, Prompts);
    TQtDispatcher Dispatcher;

    TFormSynch FormSynch(Dispatcher, Prompts);
    // A child of the main window, so that it shows centred over it; the main
    // window lets go of it when it goes.
    auto* FormAnomaly = new TFormAnomaly(Dispatcher, Prompts, &FormSynch);
    FormSynch.SetAnomalyWindow(FormAnomaly);

    FormSynch.show();
    return Application.exec();
}
