// The main window opened over the synchronisation scenario's folders and fake
// services, with the prompts answered by the test's script.
#pragma once

#include "ScriptedPrompts.h"
#include "SynchScenario.h"

#include "HttpObject.h"
#include "QtDispatcher.h"
#include "ServiceSettings.h"
#include "SevenButton.h"
#include "UnitAnomaly.h"
#include "UnitSynch.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

struct MainWindowTest : ::testing::Test
{
    TSynchScenario Scenario;
    TQtDispatcher Dispatcher;
    TScriptedPrompts& Prompts = TestPrompts();
    std::unique_ptr<TFormSynch> Form;
    TFormAnomaly* FormAnomaly = nullptr; // the main window's child
    std::chrono::milliseconds SavedPause = HttpObject.RetryPause;

    MainWindowTest()
    {
        Prompts.Reset();
        HttpObject.RetryPause = 1ms;
    }
    ~MainWindowTest() override
    {
        if (Form && !Form->findChild<QWidget*>("BtStart")->isEnabled()) {
            Form->StopSynch();
            WaitUntilIdle();
        }
        Form.reset();
        HttpObject.RetryPause = SavedPause;
    }

    void Open()
    {
        Form = std::make_unique<TFormSynch>(Dispatcher, Prompts);
        Form->RetryPause = 1ms;
        Form->SecondPartWait = 0ms;
        FormAnomaly = new TFormAnomaly(Dispatcher, Prompts, Form.get());
        FormAnomaly->SearchRetryPause = 1ms;
        Form->SetAnomalyWindow(FormAnomaly);
        Form->show();
    }
    template <class T = QWidget> T* Find(const char* Name) const
    {
        T* Control = Form->findChild<T*>(Name);
        EXPECT_NE(Control, nullptr) << Name;
        return Control;
    }
    void Click(const char* Name) const { QTest::mouseClick(Find(Name), Qt::LeftButton); }
    bool Enabled(const char* Name) const { return Find(Name)->isEnabled(); }
    std::string Caption(const char* Name) const { return Find<TSevenButton>(Name)->Caption().toStdString(); }
    void WaitUntilIdle() const
    {
        // A long limit: a safety net against a hung worker, not a measure of speed.
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return Form->findChild<QWidget*>("BtStart")->isEnabled(); }, 60000));
    }
    void StartIn(const std::string& Folder) const
    {
        Find<QLineEdit>("EdDir")->setText(QString::fromStdString(Folder));
        Click("BtStart");
    }
    // The slow answers keep a run busy long enough to stop it halfway.
    void SlowMovies(int Count)
    {
        for (int Index = 1; Index <= Count; ++Index)
            Scenario.Temp.Write("Films/film" + std::to_string(Index) + ".avi");
        FakeAnswer Slow = FakeAnswer::File(AnswerData("allocine-search-noresult.json"));
        Slow.Delay = 150ms;
        Scenario.Fake.Default(AllocineApiHost, "/rest/v3/search", Slow);
    }
};
