#include "core/genrecatalogue.h"

#include <gtest/gtest.h>
#include <set>

TEST(GenreCatalogue, HoldsTheFixedNamesInOrder) {
    EXPECT_EQ(genre::kGenreNames.size(), 146u);
    EXPECT_EQ(genre::kGenreNames.front(), "Blues");
    EXPECT_EQ(genre::kGenreNames.back(), "SynthPop");
    EXPECT_EQ(genre::kGenreNames[14], "R&b");
    EXPECT_EQ(genre::kGenreNames[67], "Psychadelic");
    EXPECT_EQ(genre::kGenreNames[92], "Psychedelic Rock");
    EXPECT_EQ(std::set<std::string_view>(genre::kGenreNames.begin(), genre::kGenreNames.end())
                  .size(),
              146u);
}

TEST(GenreCatalogue, CodeIsPositionPlusOne) {
    EXPECT_EQ(genre::codeOfPosition(0), 1);
    EXPECT_EQ(genre::codeOfPosition(145), 146);
    EXPECT_EQ(genre::codeOfPosition(-1), 0);
    EXPECT_EQ(genre::positionOfCode(0), -1);
    EXPECT_EQ(genre::positionOfCode(146), 145);
}
