#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv)
{
    // Sorting, month names and the time separator follow the user's locale;
    // the tests pin it to French so that their expectations hold everywhere.
    std::setlocale(LC_ALL, "fr_FR.UTF-8");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
