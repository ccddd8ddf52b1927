// The deck's words: the tools spell and read them as the solver does.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "formats/deck.hpp"
#include "input/vocabulary.hpp"
#include "model/curvevariables.hpp"

TEST(Vocabulary, CurveWordsAreDistinctAndFitTheirFourCharacters) {
    // The deck readers match a word by its first four characters, regardless
    // of case: two entries alike there would shadow one another.
    for (int k = 1; k <= vocabulary::ncurves; ++k) {
        const std::string_view w = curvevariables::of(k).word;
        EXPECT_GE(w.size(), 1u);
        EXPECT_LE(w.size(), 4u);
        for (int j = 1; j < k; ++j) EXPECT_NE(curvevariables::of(j).word, w);
    }
    // Entries are only ever added at the end: the words keep their numbers.
    const std::string_view first = "seqvepefmat sm  vol engkengsenertempdx  dy  dz  vx  vy  vz  ";
    EXPECT_EQ(std::string_view(vocabulary::curves).substr(0, first.size()), first);
}

TEST(Vocabulary, WordsWithoutPaddingReadBackToTheirNumber) {
    EXPECT_EQ(vocabulary::word(vocabulary::curves, vocabulary::ncurves, 3), "mat");
    EXPECT_EQ(vocabulary::word(vocabulary::curves, vocabulary::ncurves, 4), "sm");
    EXPECT_EQ(vocabulary::word(vocabulary::keywords, vocabulary::nkeywords, 21), "dtsc");
    EXPECT_EQ(vocabulary::word(vocabulary::switches, vocabulary::nswitches, 1), "on");
    EXPECT_EQ(vocabulary::word(vocabulary::curves, vocabulary::ncurves, 0), "");
    EXPECT_EQ(vocabulary::word(vocabulary::curves, vocabulary::ncurves, 9), "temp");
    EXPECT_EQ(vocabulary::word(vocabulary::curves, vocabulary::ncurves, vocabulary::ncurves + 1),
              "");
    for (int k = 1; k <= vocabulary::ncurves; ++k) {
        EXPECT_EQ(formats::curve_option(formats::curve_name(k)), k) << k;
        EXPECT_EQ(formats::curve_name(k),
                  vocabulary::word(vocabulary::curves, vocabulary::ncurves, k));
    }
    EXPECT_EQ(formats::curve_name(0), "?");
    // The first five models keep their numbers and record layouts.
    const char* const words[] = {"elas", "pla1", "pla2", "john", "jcth"};
    const int reals[] = {3, 4, 5, 7, 13};
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(vocabulary::word(vocabulary::materials, vocabulary::nmaterials, k), words[k - 1]);
        EXPECT_EQ(formats::material_real_count(words[k - 1]), reals[k - 1]);
    }
    EXPECT_EQ(formats::material_real_count("wood"), -1);
}
