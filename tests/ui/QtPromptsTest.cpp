// The program's own dialogs, shown offscreen as a user meets them: Qt's
// standard texts in French, an input box that shows its whole caption, and
// the desktop's opener, which never holds the caller.
#include "Prompts.h"
#include "TempFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>

namespace {

// Runs Show, which opens a modal dialog, and hands that dialog to Look once
// it is on screen; Look must close it.
void WithNextDialog(const std::function<void()>& Show, const std::function<void(QDialog&)>& Look)
{
    bool Seen = false;
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, [&] {
        auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (Seen || !Dialog || !Dialog->isVisible())
            return;
        Seen = true;
        Look(*Dialog);
    });
    Poll.start(10);
    Show();
    EXPECT_TRUE(Seen) << "no dialog was shown";
}

// Every text a dialog shows on its buttons and labels, without accelerator marks.
QStringList Texts(const QDialog& Dialog)
{
    QStringList Result;
    for (const QAbstractButton* Button : Dialog.findChildren<QAbstractButton*>())
        if (Button->isVisible())
            Result << Button->text().remove('&');
    for (const QLabel* Label : Dialog.findChildren<QLabel*>())
        if (Label->isVisible())
            Result << Label->text().remove('&');
    return Result;
}

TEST(QtPrompts, ConfirmationBoxAndFolderPickerSpeakFrench)
{
    TQtPrompts Prompts;
    QStringList Box, Picker;
    WithNextDialog([&] { EXPECT_FALSE(Prompts.Confirm("Voulez-vous vraiment ignorer ce film ?")); },
                   [&](QDialog& Dialog) {
                       Box = Texts(Dialog);
                       Dialog.reject();
                   });
    EXPECT_TRUE(Box.contains("Oui") && Box.contains("Non")) << Box.join(" | ").toStdString();
    EXPECT_FALSE(Box.contains("Yes")) << Box.join(" | ").toStdString();

    WithNextDialog([&] { EXPECT_EQ(Prompts.BrowseFolder("Dossier des films"), std::nullopt); },
                   [&](QDialog& Dialog) {
                       Picker = Texts(Dialog);
                       Dialog.reject();
                   });
    EXPECT_TRUE(Picker.contains("Annuler") && Picker.contains("Choisir")) << Picker.join(" | ").toStdString();
    for (const char* English : {"Cancel", "Choose", "Look in:", "Directory:", "Files of type:"})
        EXPECT_FALSE(Picker.contains(English)) << English << ": " << Picker.join(" | ").toStdString();
}

TEST(QtPrompts, InputBoxShowsItsWholeCaptionWithinTheScreen)
{
    TQtPrompts Prompts;
    const std::string Renamed = "Iron Man 2 (Iron Man 2) (2010-04-28) (Jon Favreau) #143067.avi";
    // A caption as long as a name can be is cut at the screen's width.
    for (const std::string& Caption : {Renamed, std::string(600, 'M')}) {
        SCOPED_TRACE(Caption.size());
        std::optional<std::string> Answer;
        WithNextDialog([&] { Answer = Prompts.InputBox(Caption, "Quel code pour ce fichier ?", ""); },
                       [&](QDialog& Dialog) {
                           auto& Box = static_cast<QInputDialog&>(Dialog);
                           EXPECT_EQ(Box.windowTitle().toStdString(), Caption);
                           EXPECT_EQ(Box.labelText().toStdString(), "Quel code pour ce fichier ?");
                           // Room for the caption and for the frame's icon and buttons beside it.
                           const int Needed =
                               QFontMetrics(Box.font()).horizontalAdvance(Box.windowTitle()) + 100;
                           const int Screen = Box.screen()->availableGeometry().width();
                           EXPECT_GE(Box.width(), std::min(Needed, Screen - 20)) << Needed;
                           EXPECT_LE(Box.frameGeometry().width(), Screen);
                           Box.setTextValue("145397");
                           Box.accept();
                       });
        EXPECT_EQ(Answer, "145397");
    }
}

// An opener that keeps running, as a browser started in the foreground does,
// and one that knows no program for the address: the call returns at once
// with either, and the failure comes later, in an error box that says why.
TEST(QtPrompts, TheOpenerHoldsNothingAndItsFailureComesLaterInABox)
{
    using namespace std::chrono_literals;
    TempFolder Temp;
    const std::string Url = "http://example.org/film", Started = Temp / "started";
    const std::string SavedPath = std::getenv("PATH");
    setenv("PATH", (Temp / "bin").c_str(), 1);
    const auto OpenAtOnce = [&Url](TQtPrompts& Prompts) {
        const auto Start = std::chrono::steady_clock::now();
        Prompts.OpenUrl(Url);
        EXPECT_LT(std::chrono::steady_clock::now() - Start, 200ms);
    };

    chmod(Temp.Write("bin/xdg-open", "#!/bin/sh\n: > '" + Started + "'\nexec /bin/sleep 3\n").c_str(), 0755);
    {
        TQtPrompts Prompts;
        OpenAtOnce(Prompts);
        // Started before the path is put back.
        EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(Started); }, 10000));
    }

    chmod(Temp.Write("bin/xdg-open", "#!/bin/sh\nexit 3\n").c_str(), 0755);
    TQtPrompts Prompts;
    QStringList Box;
    WithNextDialog(
        [&] {
            OpenAtOnce(Prompts);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !Box.isEmpty(); }, 10000));
        },
        [&](QDialog& Dialog) {
            Box = Texts(Dialog);
            Dialog.accept();
        });
    setenv("PATH", SavedPath.c_str(), 1);
    EXPECT_TRUE(Box.contains(QString::fromStdString("Impossible d'ouvrir \"" + Url +
                                                    "\" : aucun programme n'est disponible pour l'ouvrir")))
        << Box.join(" | ").toStdString();
}

} // namespace
