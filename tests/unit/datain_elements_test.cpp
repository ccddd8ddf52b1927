// Element block of the deck: connectivity, history records handed out in
// reading order, volumes at input, lumped nodal masses, and the rejection of
// every index that would fall outside its table.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "inputcases.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "testutil.hpp"

using testutil::InDir;
using testutil::TempDir;

namespace {

// Nodes of a bar of nx unit cubes along x: plane x = i holds nodes
// 4i+1 (i,0,0), 4i+2 (i,1,0), 4i+3 (i,1,1), 4i+4 (i,0,1).
std::string barnodes(int nx) {
    std::ostringstream s;
    for (int i = 0; i <= nx; ++i) {
        const int n = 4 * i;
        s << n + 1 << " 0 " << i << ".0 0.0 0.0\n"
          << n + 2 << " 0 " << i << ".0 1.0 0.0\n"
          << n + 3 << " 0 " << i << ".0 1.0 1.0\n"
          << n + 4 << " 0 " << i << ".0 0.0 1.0\n";
    }
    return s.str();
}

// The eight corners of cube i (0-based) of the bar, in corner order.
std::vector<int> barcorners(int i) {
    const int a = 4 * i, b = 4 * (i + 1);
    return {a + 1, b + 1, b + 2, a + 2, a + 4, b + 4, b + 3, a + 3};
}

std::string elemrecord(int e, int mat, const std::vector<int>& c) {
    std::ostringstream s;
    s << e << " " << mat;
    for (int n : c) s << " " << n;
    s << "\n";
    return s.str();
}

// Deck header up to and including the "part" block of the bar; the element
// block and "endi" follow.
std::string header(int nbmp, int nbel, int nmat, const std::string& part) {
    std::ostringstream s;
    s << "sovr element input\n"
      << "nbmp " << nbmp << "\n"
      << "nbel " << nbel << "\n"
      << "nmat " << nmat << "\n"
      << "mate\n";
    for (int m = 1; m <= nmat; ++m)
        s << m << " pla1 " << 8000 * m << ".0 2.0e11 0.3 " << 100 * m << ".0\n";
    s << "part\n" << part;
    return s.str();
}

using inputcases::Outcome;

class ElementInput : public testing::Test {
  protected:
    void SetUp() override { process::reset(); }
    void TearDown() override { process::reset(); }

    // Reads the deck in a fresh directory as process 0 of a single-process run.
    Outcome read(const std::string& deck) { return inputcases::readdeck("elemin", deck); }

    // Reads a deck that must succeed; the model data stays for inspection.
    void readok(const std::string& deck) {
        dir_ = std::make_unique<TempDir>("elemin");
        testutil::write_single_run(dir_->path(), deck);
        InDir in(dir_->path());
        const Outcome o = inputcases::stopped_or_not([] { datain::inputpara(); });
        ASSERT_FALSE(o.stopped) << o.out;
    }

    std::unique_ptr<TempDir> dir_;
};

std::string errorline(int line) { return records::listed("input file error, line", line) + "\n"; }

// The tail of the captured output: the input-error line and the message.
void expect_rejected(const Outcome& o, int line, const std::string& message) {
    EXPECT_TRUE(o.stopped);
    const std::string tail = errorline(line) + " " + message + "\n";
    ASSERT_GE(o.out.size(), tail.size()) << o.out;
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail) << o.out;
}

}  // namespace

TEST_F(ElementInput, UnitCubeVolumeMassAndHistory) {
    readok(header(8, 1, 1, barnodes(1)) + "elem\n" + elemrecord(1, 1, barcorners(0)) + "endi\n");
    const element& el = elementdata::element_list[0];
    const std::vector<int> c = barcorners(0);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(el.node[k], c[static_cast<size_t>(k)]);
    EXPECT_EQ(el.mat, 1);
    EXPECT_EQ(el.nhistory, 1);
    EXPECT_EQ(materialdata::lenhistorylist, 1);
    const history& h = materialdata::history_list[0];
    EXPECT_EQ(h.vol0, 1.0);
    EXPECT_EQ(h.sig_y, 100.0);
    EXPECT_EQ(h.sm, 0.0);
    EXPECT_EQ(h.epeff, 0.0);
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(particledata::mp[static_cast<size_t>(n)], 1000.0) << n + 1;
}

TEST_F(ElementInput, TwoCubesSharingAFaceLumpSharedMasses) {
    readok(header(12, 2, 1, barnodes(2)) + "elem\n" + elemrecord(1, 1, barcorners(0)) +
           elemrecord(2, 1, barcorners(1)) + "endi\n");
    const double expected[12] = {1000, 1000, 1000, 1000, 2000, 2000,
                                 2000, 2000, 1000, 1000, 1000, 1000};
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(particledata::mp[static_cast<size_t>(n)], expected[n]) << n + 1;
}

// Elements 2, 1, 3 in that order get history records 1, 2, 3; each record
// gets the volume and yield stress of its own element.
TEST_F(ElementInput, HistoryRecordsInReadingOrder) {
    // Element 1 uses material 2 (density 16000, yield 200) on the middle
    // cube; element 2 material 1 on the first, element 3 material 1 on the last.
    std::string part = barnodes(3);
    readok(header(16, 3, 2, part) + "elem\n" + elemrecord(2, 1, barcorners(0)) +
           elemrecord(1, 2, barcorners(1)) + elemrecord(3, 1, barcorners(2)) + "endi\n");
    EXPECT_EQ(elementdata::element_list[1].nhistory, 1);
    EXPECT_EQ(elementdata::element_list[0].nhistory, 2);
    EXPECT_EQ(elementdata::element_list[2].nhistory, 3);
    EXPECT_EQ(materialdata::lenhistorylist, 3);
    EXPECT_EQ(materialdata::history_list[0].sig_y, 100.0);  // element 2
    EXPECT_EQ(materialdata::history_list[1].sig_y, 200.0);  // element 1
    EXPECT_EQ(materialdata::history_list[2].sig_y, 100.0);  // element 3
    // Masses: plane x=1 shared by elements 2 and 1, x=2 by 1 and 3.
    const double plane[4] = {1000, 1000 + 2000, 2000 + 1000, 1000};
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(particledata::mp[static_cast<size_t>(n)], plane[n / 4]) << n + 1;
}

TEST_F(ElementInput, RecordSpreadOverLinesAndMirroredOrder) {
    const std::vector<int> c = barcorners(0);
    // Corners 1-4 and 5-8 exchanged.
    const std::vector<int> mirrored = {c[4], c[5], c[6], c[7], c[0], c[1], c[2], c[3]};
    std::ostringstream e;
    e << "elem\n1\n1 " << c[0] << " " << c[1] << "\n\n! a comment line\n"
      << c[2] << " " << c[3] << " " << c[4] << "\n"
      << c[5] << "\n"
      << c[6] << " " << c[7] << "\n"
      << "endi\n";
    readok(header(8, 1, 1, barnodes(1)) + e.str());
    EXPECT_EQ(materialdata::history_list[0].vol0, 1.0);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(elementdata::element_list[0].node[k], c[static_cast<size_t>(k)]);
    process::reset();
    readok(header(8, 1, 1, barnodes(1)) + "elem\n" + elemrecord(1, 1, mirrored) + "endi\n");
    EXPECT_EQ(materialdata::history_list[0].vol0, 1.0);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(particledata::mp[static_cast<size_t>(n)], 1000.0);
}

// A distorted element lumps density times its one-point volume, an eighth to
// each corner.
TEST_F(ElementInput, DistortedElementMassIsDensityTimesVolume) {
    std::string part =
        "1 0 0.0 0.0 0.0\n2 0 2.0 0.0 0.0\n3 0 2.5 1.5 0.0\n4 0 0.0 1.0 0.0\n"
        "5 0 0.0 0.0 1.0\n6 0 2.0 0.0 1.2\n7 0 2.5 1.5 1.4\n8 0 0.0 1.0 1.0\n";
    readok(header(8, 1, 1, part) + "elem\n1 1 1 2 3 4 5 6 7 8\nendi\n");
    const double v = materialdata::history_list[0].vol0;
    EXPECT_GT(v, 2.0);
    double total = 0.0;
    for (double m : particledata::mp) {
        EXPECT_EQ(m, v * 8000.0 * 0.125);
        total += m;
    }
    EXPECT_DOUBLE_EQ(total, 8000.0 * v);
}

// Every rejection names the deck line, the value and the valid range.
TEST_F(ElementInput, RejectedIndices) {
    const std::vector<int> c0 = barcorners(0), c1 = barcorners(1);
    const std::string head = header(12, 2, 1, barnodes(2));  // 19 lines
    const int first = 21;                                    // line of the first element record
    std::vector<int> badnode = c1;
    badnode[3] = 13;
    std::vector<int> zeronode = c1;
    zeronode[0] = 0;
    std::vector<int> negnode = c0;
    negnode[7] = -4;
    struct Case {
        const char* name;
        std::string elem;
        int line;
        std::string message;
    };
    const Case cases[] = {
        {"element number 0", elemrecord(1, 1, c0) + elemrecord(0, 1, c1), first + 1,
         "*** Error *** element number 0 is outside the valid range 1..2"},
        {"negative element number", elemrecord(-3, 1, c0), first,
         "*** Error *** element number -3 is outside the valid range 1..2"},
        {"material set 0", elemrecord(1, 0, c0), first,
         "*** Error *** material set number 0 is outside the valid range 1..1"},
        {"material set beyond nb_mat", elemrecord(1, 1, c0) + elemrecord(2, 2, c1), first + 1,
         "*** Error *** material set number 2 is outside the valid range 1..1"},
        {"node beyond nb_particle", elemrecord(1, 1, c0) + elemrecord(2, 1, badnode), first + 1,
         "*** Error *** node number 13 is outside the valid range 1..12"},
        {"node 0", elemrecord(2, 1, zeronode), first,
         "*** Error *** node number 0 is outside the valid range 1..12"},
        {"negative node", elemrecord(1, 1, negnode), first,
         "*** Error *** node number -4 is outside the valid range 1..12"},
        {"element given twice", elemrecord(1, 1, c0) + elemrecord(1, 1, c1), first + 1,
         "*** Error *** element 1 given a second time"},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        const Outcome o = read(head + "elem\n" + cs.elem + "endi\n");
        expect_rejected(o, cs.line, cs.message);
    }
}

TEST_F(ElementInput, ElementNumberBeyondCountIsTooMany) {
    const Outcome o =
        read(header(8, 1, 1, barnodes(1)) + "elem\n" + elemrecord(2, 1, barcorners(0)) + "endi\n");
    EXPECT_TRUE(o.stopped);
    const std::string tail = errorline(17) + " *** Error *** Too many elements\n" +
                             records::listed("required : ", 1) + "\n" +
                             records::listed("inputed  : ", 2) + "\n";
    ASSERT_GE(o.out.size(), tail.size());
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail) << o.out;
}

TEST_F(ElementInput, ElementNeverGivenIsNamedAtEndOfBlock) {
    // nbel 3; elements 1 and 3 only: the block ends with element 3.
    const Outcome o =
        read(header(16, 3, 1, barnodes(3)) + "elem\n" + elemrecord(1, 1, barcorners(0)) +
             elemrecord(3, 1, barcorners(2)) + "endi\n");
    expect_rejected(o, 26,
                    "*** Error *** element 2 was never given (elements 1..3 must all be given)");
    // The first missing element is the one named.
    const Outcome o2 =
        read(header(20, 4, 1, barnodes(4)) + "elem\n" + elemrecord(4, 1, barcorners(3)) + "endi\n");
    expect_rejected(o2, 29,
                    "*** Error *** element 1 was never given (elements 1..4 must all be given)");
}

TEST_F(ElementInput, NodeWithoutCoordinatesIsRejected) {
    // nbmp 9, "part" gives nodes 1-7 and 9; the element uses node 8.
    std::string part = barnodes(1);
    part = part.substr(0, part.rfind("8 0"));
    part += "9 0 5.0 5.0 5.0\n";
    const Outcome o =
        read(header(9, 1, 1, part) + "elem\n" + elemrecord(1, 1, barcorners(0)) + "endi\n");
    expect_rejected(o, 17,
                    "*** Error *** node 8 of element 1 has no coordinates (not given in \"part\")");
}

TEST_F(ElementInput, BlockOrderErrors) {
    {
        // "elem" before "nbel".
        const Outcome o = read("nbmp 8\nelem\n1 1 1 2 3 4 5 6 7 8\nendi\n");
        EXPECT_TRUE(o.stopped);
        const std::string tail = " *** Error *** nbel must be defined in advance!\n";
        ASSERT_GE(o.out.size(), tail.size());
        EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail) << o.out;
    }
    {
        // The record of element nb_element first ends the block, with
        // element 1 still missing.
        const Outcome o =
            read(header(12, 2, 1, barnodes(2)) + "elem\n" + elemrecord(2, 1, barcorners(1)) +
                 elemrecord(1, 1, barcorners(0)) + "endi\n");
        expect_rejected(
            o, 21, "*** Error *** element 1 was never given (elements 1..2 must all be given)");
    }
}
