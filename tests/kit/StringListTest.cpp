#include "DDKStrings.h"

#include <gtest/gtest.h>

TEST(StringList, SortedListFollowsLocaleAndDropsEqualNames)
{
    TDDKStringList list;
    list.SetDuplicates(TDDKStringList::TDuplicates::Ignore);
    list.SetSorted(true);
    for (const char* name : {"b.avi", "Été.avi", "A.avi", "a.AVI", "ete.avi", "Zorro.mkv"})
        list.Add(name);
    EXPECT_EQ(list.Strings(),
              (std::vector<std::string>{"A.avi", "b.avi", "ete.avi", "Été.avi", "Zorro.mkv"}));
    EXPECT_EQ(list.IndexOf("ÉTÉ.AVI"), 3);
    EXPECT_EQ(list.IndexOf("missing"), -1);
}

TEST(StringList, UnsortedListKeepsOrderAndObjects)
{
    TDDKStringList list;
    list.AddObject("Spielberg", 42);
    list.Add("spielberg");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Objects(0), 42);
    EXPECT_EQ(list.IndexOf("SPIELBERG"), 0);
    EXPECT_THROW(list.Delete(5), std::out_of_range);
}
