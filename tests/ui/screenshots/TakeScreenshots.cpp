// Writes the README's pictures of the windows, drawn offscreen: the main
// window idle and during a run, and the anomaly window with its results.
//
//     take_screenshots OUTPUT_FOLDER      (scripts/screenshots.sh runs it)
#include "SynchScenario.h"

#include "HttpObject.h"
#include "Prompts.h"
#include "QtDispatcher.h"
#include "ResultRows.h"
#include "UnitAnomaly.h"
#include "UnitSynch.h"
#include "VantryApplication.h"
#include "WorkerThread.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <filesystem>

namespace {

using namespace std::chrono_literals;

class TQuietPrompts : public TPrompts
{
public:
    void Message(const std::string&, TKind) override {}
    bool Confirm(const std::string&) override { return false; }
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> BrowseFolder(const std::string&) override { return std::nullopt; }
    void OpenUrl(const std::string&) override {}
};

void Save(QWidget& Window, const std::string& Folder, const char* Name)
{
    const std::string File = Folder + "/" + Name;
    if (!Window.grab().save(QString::fromStdString(File)))
        std::fprintf(stderr, "cannot write %s\n", File.c_str());
}

// Runs the event loop until Done holds or ten seconds have passed.
void WaitFor(const std::function<bool()>& Done)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done() && Clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string Output = std::filesystem::absolute(argv[1]).string();
    // The application takes its locale from the environment.
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    std::setlocale(LC_ALL, "");
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TSynchScenario Scenario;
    // The scenario's folders, with this program's version stamp.
    Config = TConfig(TConfig::RunningExecutable(), Scenario.Temp / "app");
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    HttpObject.RetryPause = 1ms;
    // Slow answers, so that the run can be seen halfway.
    FakeAnswer Slow = FakeAnswer::File(AnswerData("allocine-search-noresult.json"));
    Slow.Delay = 300ms;
    Scenario.Fake.Answer(AllocineApiHost, "/rest/v3/search", Slow, 3);

    TQuietPrompts Prompts;
    TVantryApplication Application(argc, argv, Prompts);
    TQtDispatcher Dispatcher;
    TFormSynch Form(Dispatcher, Prompts);
    Form.RetryPause = 1ms;
    Form.SecondPartWait = 0ms;
    auto* FormAnomaly = new TFormAnomaly(Dispatcher, Prompts, &Form);
    Form.SetAnomalyWindow(FormAnomaly);
    // The pictures show a user's folder, not the scenario's temporary one,
    // so that they change only when the windows do; the run reads the real
    // folder when it starts.
    auto* Folder = Form.findChild<QLineEdit*>("EdDir");
    const QString ShownFolder = "/home/utilisateur/Films";
    Folder->setText(ShownFolder);
    Form.show();
    WaitFor([] { return false; });
    Save(Form, Output, "main-window-idle.png");

    Folder->setText(QString::fromStdString(Scenario.MovieDir()));
    Form.BtStartClick();
    Folder->setText(ShownFolder);
    auto* Progress = Form.findChild<QProgressBar*>("ProgressBar");
    WaitFor([&] { return Progress->value() >= 3; });
    Save(Form, Output, "main-window-running.png");
    WaitFor([&] { return Form.findChild<QWidget*>("BtStart")->isEnabled(); });
    TWorkerThread::WaitForAllWorkers();

    // The anomaly window on the record of "avatar 2009.avi", with posters of
    // two of its results in the cache.
    for (const auto& [Code, Colour] :
         {std::pair{"61282", QColor(30, 90, 140)}, {"178014", QColor(20, 120, 150)}}) {
        QImage Poster(75, 100, QImage::Format_RGB32);
        QPainter Painter(&Poster);
        QLinearGradient Sky(0, 0, 0, 100);
        Sky.setColorAt(0, Colour.lighter(160));
        Sky.setColorAt(1, Colour.darker(200));
        Painter.fillRect(Poster.rect(), Sky);
        Painter.setPen(Qt::white);
        Painter.setFont(QFont("Arial", 9, QFont::Bold));
        Painter.drawText(Poster.rect().adjusted(0, 0, 0, -8), Qt::AlignHCenter | Qt::AlignBottom, "AVATAR");
        Painter.end();
        Poster.save(QString::fromStdString(Config.CacheDir + "/allocine-" + Code + ".jpg"), "JPEG", 90);
    }
    QTimer::singleShot(500, [&] {
        auto* Grid = FormAnomaly->findChild<QAbstractItemView*>("GridSearch");
        // The posters are decoded away from the window's thread.
        WaitFor([&] { return !dynamic_cast<const TResultModel&>(*Grid->model()).ThumbnailsLoading(); });
        Grid->setCurrentIndex(Grid->model()->index(1, 0));
        Save(*FormAnomaly, Output, "anomaly-window.png");
        FormAnomaly->close();
    });
    FormAnomaly->Execute(Config.AnomalyDir + "/allocine-avatar 2009.avi.json", SourceAllocine);
    std::printf("screenshots written to %s\n", Output.c_str());
    return 0;
}
