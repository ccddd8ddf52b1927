// scripts/energy_summary.sh: the energy error and the hourglass share read
// from the right columns of energy.dat (found by the header's names, with
// and without the contact column), with their verdicts; a file it cannot use
// stops it with a message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.hpp"

using namespace testutil;

namespace {

const std::string kHeader =
    "#            time          kinetic         internal        hourglass"
    "    external_work       plane_work            total     energy_error\n";
// A run with contact: its column after the hourglass one.
const std::string kContactHeader =
    "#            time          kinetic         internal        hourglass          contact"
    "    external_work       plane_work            total     energy_error\n";

RunResult summary(const fs::path& dir) {
    return run_command(std::string(HEXDYN_SOURCE_DIR) + "/scripts/energy_summary.sh energy.dat",
                       dir, 60);
}

}  // namespace

TEST(EnergySummary, LastRecordInPlainWords) {
    struct Case {
        std::string last;  // the last record; an earlier one must not count
        std::vector<std::string> expect;
        std::string head = kHeader + "0 9 9 9 9 9 9 0.9\n";  // header and earlier records
    };
    // time kinetic internal hourglass external_work plane_work total energy_error
    const Case cases[] = {
        {" 8.0E-05 2.0E+00 4.0E+01 1.2E+00 0.0E+00 6.0E+00 4.3E+01 -4.2E-03\n",
         {"-0.420 % of the initial kinetic energy plus the work of the loads: good",
          "3.00 % of the internal energy: small", "hourglass 1.2E+00 J",
          "taken by the plane 6.0E+00 J"}},
        {"1 0 10 2.5 5 0 12.5 0.031\n",
         {"+3.100 % of the initial", ": fair", "25.00 % of the internal energy: large"}},
        {"1 10 0 0 0 0 10 -0.07\n", {"-7.000 %", ": poor", "no internal energy"}},
        {"1 0 10 -1.5 0 0 8.5 0\n", {"+0.000 %", "-15.00 % of the internal energy: large"}},
        // The contact share of the initial kinetic energy: at the end, and
        // the largest in size with its time; below -0.5 % the contact forces
        // have made energy, which the error cannot show.
        {"1 20 500 30 -10 0 0 540 -4.9E-04\n",
         {"-0.049 % of the initial", ": poor (the contact forces made energy",
          "made energy: the contact forces gave the bodies 1.85 % more than they took (at t = 1 s)",
          "6.00 % of the internal energy: small",
          "contact energy         -1.85 % of the initial kinetic energy",
          "largest +2.50 % (at t = 0.5 s)", "hourglass 30 J, taken by the plane 0 J"},
         kContactHeader + "0 540 0 0 0 0 0 540 0\n0.5 300 200 20 13.5 0 0 533.5 0.7\n"},
        // The eroded share, of the same reference.
        {"1 20 500 30 -10 27 0 0 567 0\n",
         {"contact energy         -1.85 %", "eroded energy          5.00 % of the initial",
          "had absorbed when removed: 27 J"},
         "# time kinetic internal hourglass contact eroded external_work plane_work total "
         "energy_error\n0 540 0 0 0 0 0 0 540 0\n"},
    };
    for (const Case& c : cases) {
        TempDir dir("energy-summary");
        write_file(dir / "energy.dat", c.head + c.last);
        const RunResult r = summary(dir.path());
        ASSERT_EQ(r.status, 0) << c.last << r.out;
        for (const std::string& e : c.expect)
            EXPECT_NE(r.out.find(e), std::string::npos) << c.last << "lacks: " << e << "\n"
                                                        << r.out;
    }
}

TEST(EnergySummary, UnusableFileIsRejectedWithAMessage) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "energy_summary.sh: cannot read energy.dat"},
        {"", "energy_summary.sh: energy.dat holds no record"},
        {"0 1 2 3 4 5 6 0\n1 2 3\n",
         "energy_summary.sh: energy.dat:3: a record has 8 columns, "
         "this one 3"},
    };
    for (const auto& [text, expect] : cases) {
        TempDir dir("energy-summary-bad");
        if (text) write_file(dir / "energy.dat", kHeader + text);
        const RunResult r = summary(dir.path());
        EXPECT_NE(r.status, 0) << expect;
        EXPECT_NE(r.out.find(expect), std::string::npos) << r.out;
    }
}
