// The free-format deck reader: line cleaning and splitting, the echo file,
// keyword matching, number conversion and the reader's error stops.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/ffi.hpp"
#include "inputcases.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "testutil.hpp"

namespace {

using inputcases::captured;
using inputcases::padded;
using testutil::InDir;
using testutil::TempDir;

std::string errorline(int line) {
    std::string n = std::to_string(line);
    return " input file error, line" + std::string(12 - n.size(), ' ') + n + "\n";
}

class Reader : public ::testing::Test {
  protected:
    TempDir dir{"reader"};
    std::unique_ptr<InDir> in;

    void SetUp() override {
        process::reset();
        in = std::make_unique<InDir>(dir.path());
    }
    void TearDown() override {
        process::reset();
        in.reset();
    }

    void open(const std::string& deck, const std::string& name = "a") {
        testutil::write_file(dir / name, deck);
        ffi::fileinp = name;
        ffi::fileinp.resize(100, ' ');
        ffi::openfile();
    }

    // The words of the next line, as readline leaves them in the word table.
    static std::vector<std::string> nextline() {
        const int n = ffi::readline();
        std::vector<std::string> words;
        for (int i = 0; i < n; ++i) words.push_back(slot(i));
        return words;
    }

    static std::string slot(int i) {
        std::string w(ffi::cmd_line[static_cast<size_t>(i)].data(), 20);
        w.erase(w.find_last_not_of(' ') + 1);
        return w;
    }

    std::string echo() {
        ffi::closefiles();
        return testutil::read_file(dir / "asovra.rst");
    }
};

// ------------------------------------------------------------- splitting

TEST_F(Reader, SplitsLinesIntoWords) {
    using W = std::vector<std::string>;
    struct Case {
        std::string line;
        W words;
    };
    const std::string w25 = "abcdefghijklmnopqrstuvwxy";
    const Case cases[] = {
        {"node 5 1.0 2.0 3.0 ! load", {"node", "5", "1.0", "2.0", "3.0"}},
        {"1,2,3", {"1", "2", "3"}},
        {"1 2 3", {"1", "2", "3"}},
        {"1 , 2 , 3", {"1", "2", "3"}},
        {"1, 2, 3", {"1", "2", "3"}},
        {"1,    2,     3", {"1", "2", "3"}},
        {"1 ,2 ,3", {"1", "2", "3"}},
        {"a  ,  b", {"a", "b"}},
        {"     1     2     3     ", {"1", "2", "3"}},
        {"1\t2\t\t3", {"1", "2", "3"}},
        {"\t\tnbmp\t8\t", {"nbmp", "8"}},
        {"nbmp 8\r", {"nbmp", "8"}},
        // two commas enclose an empty word
        {"1,,2", {"1", "", "2"}},
        {"1, ,2", {"1", "", "2"}},
        // the first and last characters are never separators
        {"1,", {"1,"}},
        {"1 2 3.0,", {"1", "2", "3.0,"}},
        {",1,2", {",1", "2"}},
        {"x", {"x"}},
        {"12", {"12"}},
        {"1 2", {"1", "2"}},
        {"!1 2 3", {}},
        {"   ", {}},
        {"\t", {}},
        {"\r", {}},
        // a word keeps its first 20 characters
        {w25 + " 7", {w25.substr(0, 20), "7"}},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15",
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"}},
    };
    std::string deck;
    for (const Case& c : cases) deck += c.line + "\n";
    open(deck);
    int line = 0;
    for (const Case& c : cases) {
        ++line;
        EXPECT_EQ(nextline(), c.words) << "line \"" << c.line << "\"";
        EXPECT_EQ(ffi::line_nb, line);
    }
}

TEST_F(Reader, EchoesCleanedNonBlankLinesAsFullRecords) {
    open(
        "! header comment\n"
        "\n"
        "  nbmp   8 ! nodes\r\n"
        "\t\r\n"
        "1 , 2,3\n"
        "sovr A  title, here\n"
        "x\t!y");
    std::vector<int> counts;
    for (int i = 0; i < 7; ++i) counts.push_back(ffi::readline());
    EXPECT_EQ(counts, (std::vector<int>{0, 0, 2, 0, 3, 4, 1}));
    EXPECT_EQ(ffi::line_nb, 7);
    EXPECT_EQ(std::string(ffi::sss.data(), 256), padded("x"));
    const std::string expected = padded("nbmp 8") + "\n" + padded("1,2,3") + "\n" +
                                 padded("sovr A title,here") + "\n" + padded("x") + "\n";
    EXPECT_EQ(echo(), expected);
}

TEST_F(Reader, WordsAreHandedOutAcrossLinesAndRecords) {
    // blank and comment lines between the values of one record, and several
    // records on one line
    open("node 3\n\n! the coordinates\n0.0 10.0\n-2.5 nbmp 8 endi\n");
    EXPECT_EQ(ffi::keyword("node", 1), 1);
    EXPECT_EQ(ffi::getint(), 3);
    EXPECT_EQ(ffi::getreal(), 0.0f);
    EXPECT_EQ(ffi::line_nb, 4);
    EXPECT_EQ(ffi::getreal(), 10.0f);
    EXPECT_EQ(ffi::getreal(), -2.5f);
    EXPECT_EQ(ffi::line_nb, 5);
    EXPECT_EQ(ffi::keyword("endinbmp", 2), 2);
    EXPECT_EQ(ffi::getint(), 8);
    EXPECT_TRUE(ffi::words_left());
    EXPECT_EQ(ffi::keyword("endinbmp", 2), 1);
    EXPECT_FALSE(ffi::words_left());
}

TEST_F(Reader, LineLengthLimit) {
    struct Case {
        const char* what;
        std::string line;
        bool stops;
        std::vector<std::string> words;
    };
    const std::string body = "1" + std::string(254, ' ') + "2";  // 256 columns
    const Case cases[] = {
        {"exactly 256 columns", body, false, {"1", "2"}},
        {"blanks beyond column 256", body + std::string(40, ' '), false, {"1", "2"}},
        {"comment reaching beyond 256", "1 ! " + std::string(300, 'c'), false, {"1"}},
        {"comment starting beyond 256", body + "    ! note", false, {"1", "2"}},
        {"text in column 257", body + "x", true, {}},
        {"a word across column 256", "1" + std::string(250, ' ') + "123456789", true, {}},
        {"text beyond 256 before a comment", body + "  x ! note", true, {}},
    };
    for (const Case& c : cases) {
        process::reset();
        open("endt 1.0\n" + c.line + "\n");
        ffi::readline();
        std::vector<std::string> words;
        const std::string out = captured([&] {
            if (c.stops)
                EXPECT_THROW(ffi::readline(), errorstop::stop_exception) << c.what;
            else
                words = nextline();
        });
        if (c.stops) {
            EXPECT_EQ(
                out, errorline(2) +
                         " *** Error *** line longer than 256 characters: text beyond column 256\n")
                << c.what;
        } else {
            EXPECT_EQ(out, "") << c.what;
            EXPECT_EQ(words, c.words) << c.what;
        }
    }
}

TEST_F(Reader, MoreThanFifteenWordsStop) {
    open("endt 1.0\n\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n");
    EXPECT_EQ(ffi::keyword("endt", 1), 1);
    EXPECT_EQ(ffi::getreal(), 1.0f);
    const std::string out =
        captured([] { EXPECT_THROW(ffi::getint(), errorstop::stop_exception); });
    EXPECT_EQ(out, errorline(3) + " *** Error *** more than 15 words on one line (16 found)\n");
    // the offending line is the last one in the echo file
    EXPECT_EQ(echo(),
              padded("endt 1.0") + "\n" + padded("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16") + "\n");
}

TEST_F(Reader, EndOfFileWhileAWordIsNeeded) {
    struct Case {
        const char* deck;
        int reads_before;  // words taken before the one that is missing
    };
    const Case cases[] = {
        {"", 0}, {"\n\n! only a comment\n", 0}, {"nbmp", 1}, {"nbmp 8", 2}, {"nbmp 8\n\n", 2}};
    for (const Case& c : cases) {
        process::reset();
        open(c.deck);
        for (int i = 0; i < c.reads_before; ++i) ffi::keyword("nbmp8   ", 2);
        const std::string out =
            captured([] { EXPECT_THROW(ffi::getint(), errorstop::stop_exception); });
        EXPECT_EQ(out, " End of File!\n encounter EOF when reading without seeing END\n")
            << "deck \"" << c.deck << "\"";
    }
}

TEST_F(Reader, MissingDeck) {
    ffi::fileinp = "a";
    ffi::fileinp.resize(100, ' ');
    const std::string out =
        captured([] { EXPECT_THROW(ffi::openfile(), errorstop::stop_exception); });
    EXPECT_EQ(out, "Input File a         does not exist !\n");
}

TEST_F(Reader, OutputFilesAreNamedAfterTheDeck) {
    open("endi\n", "c");
    EXPECT_TRUE(testutil::fs::exists(dir / "csovra.rst"));
    EXPECT_TRUE(testutil::fs::exists(dir / "cresult_anim.dat"));
    EXPECT_TRUE(testutil::fs::exists(dir / "cresult_curv.dat"));
    EXPECT_FALSE(testutil::fs::exists(dir / "asovra.rst"));
}

TEST_F(Reader, ErrorLineNamesTheCurrentDeckLine) {
    open("\n! c\nnbmp 8\n");
    ffi::keyword("nbmp", 1);
    EXPECT_EQ(captured([] { ffi::errormsg(); }), errorline(3));
}

// ------------------------------------------------------------- keywords

TEST_F(Reader, KeywordMatching) {
    struct Case {
        const char* table;
        int n;
        const char* word;
        int expected;
    };
    const char* materials = "elaspla1pla2john";
    const char* deckwords = "endisovrnbmp";
    const char* onoff = "on  off ";
    const Case cases[] = {
        {materials, 4, "JOHNSON", 4},  {materials, 4, "john-cook", 4},
        {materials, 4, "Elastic", 1},  {materials, 4, "ELAS", 1},
        {materials, 4, "Pla2", 3},     {materials, 4, "joh", -1},
        {materials, 4, "pla", -1},     {materials, 4, "steel", -1},
        {deckwords, 3, "endinput", 1}, {deckwords, 3, "ENDI", 1},
        {deckwords, 3, "Endi", 1},     {deckwords, 3, "end", -1},
        {deckwords, 3, "NBMP", 3},     {deckwords, 3, "nbmq", -1},
        {deckwords, 3, "sovra", 2},    {onoff, 2, "on", 1},
        {onoff, 2, "ON", 1},           {onoff, 2, "off", 2},
        {onoff, 2, "Off", 2},          {onoff, 2, "OFF", 2},
        {onoff, 2, "yes", -1},         {onoff, 2, "1", -1},
        {onoff, 2, "one", -1},         {onoff, 2, "false", -1},
        {onoff, 0, "on", -1},          {onoff, -1, "on", -1},
    };
    for (const Case& c : cases) {
        process::reset();
        open(std::string(c.word) + " next\n");
        int k = 0;
        const std::string out = captured([&] { k = ffi::keyword(c.table, c.n); });
        EXPECT_EQ(k, c.expected) << c.word;
        if (c.expected > 0) {
            EXPECT_EQ(out, "") << c.word;
            EXPECT_EQ(ffi::nb_read, 1) << c.word;
            EXPECT_EQ(ffi::nb_word, 1) << c.word;
        } else {
            std::string w = c.word;
            w.resize(20, ' ');
            EXPECT_EQ(out, " *** Warning *** invalid keyword " + w + "on line            1\n")
                << c.word;
            // the word stays in place for the next reader
            EXPECT_EQ(ffi::nb_read, 0) << c.word;
            EXPECT_EQ(ffi::nb_word, 2) << c.word;
        }
    }
}

TEST_F(Reader, UnmatchedKeywordIsLeftForTheNextReader) {
    open("joh 5\n");
    captured([] { EXPECT_EQ(ffi::keyword("elaspla1pla2john", 4), -1); });
    EXPECT_EQ(ffi::keyword("xxxxjoh ", 2), 2);
    EXPECT_EQ(ffi::getint(), 5);
}

TEST(ReaderChars, CharacterRule) {
    EXPECT_TRUE(ffi::pcomp("ENDI", "endi", 4));
    EXPECT_TRUE(ffi::pcomp("endX", "endi", 3));
    EXPECT_FALSE(ffi::pcomp("endX", "endi", 4));
    EXPECT_TRUE(ffi::pcomp("abc", "xyz", 0));
    EXPECT_TRUE(ffi::pcomp("abc", "xyz", -2));
    // codes that differ by exactly 32 match, letters or not
    EXPECT_TRUE(ffi::pcomp("on@", "on ", 3));
    EXPECT_FALSE(ffi::pcomp("on1", "on ", 3));
    for (char c = '0'; c <= '9'; ++c) EXPECT_TRUE(ffi::isnumber(c));
    EXPECT_TRUE(ffi::isnumber('-'));
    for (char c : {'+', '.', ' ', 'e', 'D', ',', '\0'}) EXPECT_FALSE(ffi::isnumber(c)) << int(c);
}

// ------------------------------------------------------------- numbers

TEST_F(Reader, GetrealConvertsToSinglePrecision) {
    struct Case {
        const char* word;
        double expected;
    };
    const Case cases[] = {
        // just above the midpoint of 1 and the next float: correct rounding
        // goes up, rounding through double first would give 1.0
        {"1.0000000596046448", 1.0000001192092896},
        {"1.0000000596046446", 1.0},
        {"0.1", 0.10000000149011612},
        {"2.1e11", static_cast<double>(2.1e11f)},
        {"2.1E11", static_cast<double>(2.1e11f)},
        {"2.1d11", static_cast<double>(2.1e11f)},
        {"2.1D11", static_cast<double>(2.1e11f)},
        {"2.1D+11", static_cast<double>(2.1e11f)},
        {"1.5e-3", static_cast<double>(1.5e-3f)},
        {"7800", 7800.0},
        {"-1.5", -1.5},
        {"-0.5", -0.5},
        {"2,", 2.0},
        {"3.0,", 3.0},
        {"1.", 1.0},
        {"1e5", 1.0e5},
        {"0.3", 0.30000001192092896},
        {"3.4028235e38", static_cast<double>(FLT_MAX)},
        {"1e-50", 0.0},
        // below the normal range: the nearest subnormal, or zero
        {"1e-40", static_cast<double>(1e-40f)},
        {"1.4e-45", static_cast<double>(1.4e-45f)},
        {"7.1e-46", static_cast<double>(1.4e-45f)},
        {"7.0e-46", 0.0},
        {"000000000000000012.5", 12.5},
    };
    for (const Case& c : cases) {
        process::reset();
        open(std::string(c.word) + "\n");
        float v = -99.0f;
        const std::string out = captured([&] { v = ffi::getreal(); });
        EXPECT_EQ(static_cast<double>(v), c.expected) << c.word;
        EXPECT_EQ(out, "") << c.word;
    }
}

TEST_F(Reader, GetintConversions) {
    struct Case {
        const char* word;
        int expected;
    };
    const Case cases[] = {
        {"8", 8},
        {"-7", -7},
        {"007", 7},
        {"2,", 2},
        {"0", 0},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        process::reset();
        open(std::string(c.word) + "\n");
        int v = -99;
        const std::string out = captured([&] { v = ffi::getint(); });
        EXPECT_EQ(v, c.expected) << c.word;
        EXPECT_EQ(out, "") << c.word;
    }
}

TEST_F(Reader, NonNumericWordsWarnAndReadAsZero) {
    struct Case {
        const char* deck;
        int skip;  // words taken before the one tested
        const char* word;
        int line;
    };
    const Case cases[] = {
        {"+1.5\n", 0, "+1.5", 1},   {".5\n", 0, ".5", 1},
        {"\n\nabc\n", 0, "abc", 3}, {"e5\n", 0, "e5", 1},
        {"1,,2\n", 1, "", 1},       {"abcdefghijklmnopqrstuvwxyz\n", 0, "abcdefghijklmnopqrst", 1},
        {"Inf\n", 0, "Inf", 1},
    };
    for (bool real : {false, true}) {
        for (const Case& c : cases) {
            // A real read as "Inf" stops (WordsThatStartLikeNumbersButDoNotConvertStop).
            if (real && std::string(c.word) == "Inf") continue;
            process::reset();
            open(c.deck);
            for (int i = 0; i < c.skip; ++i) ffi::getint();
            double v = -99.0;
            const std::string out =
                captured([&] { v = real ? ffi::getreal() : static_cast<float>(ffi::getint()); });
            std::string w = c.word;
            w.resize(20, ' ');
            std::string n = std::to_string(c.line);
            EXPECT_EQ(out, " *** Warning *** Non Numeric Field " + w + "on line" +
                               std::string(13 - n.size(), ' ') + n + "\n")
                << c.deck;
            EXPECT_EQ(v, 0.0) << c.deck;
            // the word is used up
            EXPECT_EQ(ffi::nb_read, c.skip + 1) << c.deck;
        }
    }
    // after the empty word of "1,,2" the reading goes on with 2
    process::reset();
    open("1,,2\n");
    EXPECT_EQ(ffi::getint(), 1);
    captured([] { ffi::getint(); });
    EXPECT_EQ(ffi::getint(), 2);
}

TEST_F(Reader, WordsThatStartLikeNumbersButDoNotConvertStop) {
    struct Case {
        const char* word;
        bool real;
        const char* message;
    };
    const Case cases[] = {
        {"5.0", false, " *** Error *** not an integer: 5.0"},
        {"1x", false, " *** Error *** not an integer: 1x"},
        {"1e5", false, " *** Error *** not an integer: 1e5"},
        {"2147483648", false, " *** Error *** not an integer: 2147483648"},
        {"-2147483649", false, " *** Error *** not an integer: -2147483649"},
        {"99999999999999999999", false, " *** Error *** not an integer: 99999999999999999999"},
        {"-", false, " *** Error *** not an integer: -"},
        {"--5", false, " *** Error *** not an integer: --5"},
        {"1-2", false, " *** Error *** not an integer: 1-2"},
        {"1.2.3", true, " *** Error *** not a real number: 1.2.3"},
        {"1e", true, " *** Error *** not a real number: 1e"},
        {"1e+", true, " *** Error *** not a real number: 1e+"},
        {"1.5x", true, " *** Error *** not a real number: 1.5x"},
        {"-", true, " *** Error *** not a real number: -"},
        {"-e5", true, " *** Error *** not a real number: -e5"},
        {"1e39", true, " *** Error *** not a real number: 1e39"},
        {"-1e39", true, " *** Error *** not a real number: -1e39"},
        {"1.5e3.0", true, " *** Error *** not a real number: 1.5e3.0"},
        {"1.0q0", true, " *** Error *** not a real number: 1.0q0"},
        // Words of other languages' readers for non-finite reals.
        {"Inf", true, " *** Error *** not a finite number: Inf"},
        {"nan", true, " *** Error *** not a finite number: nan"},
        {"+Infinity", true, " *** Error *** not a finite number: +Infinity"},
        {"NaN,", true, " *** Error *** not a finite number: NaN,"},
        {"123456789012345678901", false,
         " *** Error *** number longer than 20 characters: 12345678901234567890..."},
        {"1.000000000000000000001", true,
         " *** Error *** number longer than 20 characters: 1.000000000000000000..."},
    };
    for (const Case& c : cases) {
        process::reset();
        std::string deck = "\n";
        deck += c.word;
        deck += "\n";
        open(deck);
        const std::string out = captured([&] {
            if (c.real)
                EXPECT_THROW(ffi::getreal(), errorstop::stop_exception) << c.word;
            else
                EXPECT_THROW(ffi::getint(), errorstop::stop_exception) << c.word;
        });
        EXPECT_EQ(out, errorline(2) + c.message + "\n") << c.word;
    }
}

TEST_F(Reader, CrLfDeck) {
    open("sovr crlf deck\r\nnbmp 8\r\n\r\nendt 1.5e-3\r\nendi\r\n");
    EXPECT_EQ(ffi::keyword("sovr", 1), 1);
    std::array<char, 256> title{};
    ffi::getstring(title);
    EXPECT_EQ(std::string(title.data(), 256), padded("sovr crlf deck"));
    EXPECT_EQ(ffi::keyword("nbmp", 1), 1);
    EXPECT_EQ(ffi::getint(), 8);
    EXPECT_EQ(ffi::keyword("endt", 1), 1);
    EXPECT_EQ(ffi::getreal(), 1.5e-3f);
    EXPECT_EQ(ffi::line_nb, 4);
    EXPECT_EQ(ffi::keyword("endi", 1), 1);
    EXPECT_EQ(echo(), padded("sovr crlf deck") + "\n" + padded("nbmp 8") + "\n" +
                          padded("endt 1.5e-3") + "\n" + padded("endi") + "\n");
}

TEST_F(Reader, GetstringTakesTheWholeCleanedLine) {
    open("sovr Impact test, case 2   ! title\nnbmp 8\n");
    EXPECT_EQ(ffi::keyword("sovr", 1), 1);
    std::array<char, 256> title{};
    ffi::getstring(title);
    EXPECT_EQ(std::string(title.data(), 256), padded("sovr Impact test,case 2"));
    EXPECT_FALSE(ffi::words_left());
    // the rest of the line is discarded; the next word is on line 2
    EXPECT_EQ(ffi::keyword("nbmp", 1), 1);
    EXPECT_EQ(ffi::line_nb, 2);
}

}  // namespace
