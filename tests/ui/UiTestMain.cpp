// The window tests' program: an offscreen application, under the French
// locale, whose escaped errors land in the test script.
#include "ScriptedPrompts.h"
#include "VantryApplication.h"

#include <gtest/gtest.h>

#include <clocale>

TScriptedPrompts& TestPrompts()
{
    static TScriptedPrompts Prompts;
    return Prompts;
}

int main(int argc, char** argv)
{
    // Dates and the order of names follow the locale, as in the program.
    qputenv("LC_ALL", "fr_FR.UTF-8");
    std::setlocale(LC_ALL, "");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    TVantryApplication Application(argc, argv, TestPrompts());
    return RUN_ALL_TESTS();
}
