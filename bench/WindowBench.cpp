// The main window, offscreen, while it follows a full synchronisation of N
// movies (renaming on, so every movie sends a journal line) against the
// in-process fake services: the longest time the GUI thread went without
// handling events, and the time one log line takes from the worker to the
// view and the log file.
//
//     window_bench [N]      (default: 1000 movies)
#include "DDKStrings.h"
#include "FakeServices.h"
#include "Prompts.h"
#include "QtDispatcher.h"
#include "ScriptedMovies.h"
#include "TempFolder.h"
#include "UnitConfig.h"
#include "UnitSynch.h"
#include "VantryApplication.h"
#include "WorkerThread.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Answers nothing and shows nothing: the run's closing box just ends the loop.
class TSilentPrompts : public TPrompts
{
public:
    void Message(const std::string&, TKind) override { QCoreApplication::exit(0); }
    bool Confirm(const std::string&) override { return false; }
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> BrowseFolder(const std::string&) override { return std::nullopt; }
    void OpenUrl(const std::string&) override {}
};

// Sends Count lines to the window's log handler the way a worker does, each
// waiting until the GUI thread has written it; records each round trip.
class TLogWorker : public TWorkerThread
{
public:
    TLogWorker(TMainThreadDispatcher& Dispatcher, TFormSynch& Form, int Count)
        : TWorkerThread(Dispatcher), FForm(Form), FCount(Count)
    {
        FreeOnTerminate = false;
    }
    std::vector<double> Microseconds;

protected:
    void Execute() override
    {
        for (int I = 0; I < FCount; ++I) {
            const auto Start = Clock::now();
            Synchronize([this, I] {
                FForm.ThreadLog(DDKFormat("\"Movie %d.avi\" /OK #%d \"Movie %d (2000).avi\"", I, I, I));
            });
            Microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Start).count());
        }
    }

private:
    TFormSynch& FForm;
    int FCount;
};

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values.empty() ? 0 : Values[Values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int Movies = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::setlocale(LC_ALL, "");
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TempFolder Temp;
    setenv("XDG_CONFIG_HOME", (Temp / "config").c_str(), 1);
    Config = TConfig(Temp.Write("app/vantry", "program"));
    FakeServices Fake;
    for (int I = 1; I <= Movies; ++I) {
        ScriptMovie(Fake, I, std::chrono::milliseconds(0));
        Temp.Write(DDKFormat("Films/Movie %d.avi", I), "movie");
    }

    TSilentPrompts Prompts;
    TVantryApplication Application(argc, argv, Prompts);
    TQtDispatcher Dispatcher;
    TFormSynch Form(Dispatcher, Prompts);
    Form.show();
    Form.findChild<QCheckBox*>("CbRenameFiles")->setChecked(true);
    Form.findChild<QLineEdit*>("EdDir")->setText(QString::fromStdString(Temp / "Films"));

    // A heartbeat as often as the loop allows: the longest gap between two
    // beats is the longest time the GUI thread was busy elsewhere.
    QElapsedTimer Beat;
    qint64 LongestGap = 0;
    QTimer Heartbeat;
    Heartbeat.setInterval(0);
    QObject::connect(&Heartbeat, &QTimer::timeout, [&] {
        LongestGap = std::max(LongestGap, Beat.nsecsElapsed());
        Beat.restart();
    });

    const auto Start = Clock::now();
    QTimer::singleShot(0, [&] {
        Form.BtStartClick();
        Beat.start();
        Heartbeat.start();
    });
    Application.exec(); // until "Synchronisation terminée"
    Heartbeat.stop();
    const double Wall = std::chrono::duration<double>(Clock::now() - Start).count();
    TWorkerThread::WaitForAllWorkers();
    const int Lines = Form.findChild<QPlainTextEdit*>("MemoLog")->blockCount();

    // Log lines alone, from a worker to the view and the file.
    TLogWorker Logger(Dispatcher, Form, Movies);
    Logger.OnTerminate = [](TWorkerThread*) { QCoreApplication::exit(0); };
    Logger.Start();
    Application.exec();

    std::printf("%8s %10s %10s %16s %20s\n", "movies", "wall s", "log lines", "longest stall ms",
                "log line median us");
    std::printf("%8d %10.2f %10d %16.2f %20.1f\n", Movies, Wall, Lines, double(LongestGap) / 1e6,
                Median(Logger.Microseconds));
    return 0;
}
