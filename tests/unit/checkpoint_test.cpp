// The history layout a checkpoint records: a checkpoint whose records have
// another layout than this solver's is refused by name, whatever its size.
#include <gtest/gtest.h>

#include <string>

#include "control/checkpoint.hpp"
#include "model/model.hpp"

TEST(CheckpointLayout, OtherHistoryLayoutIsRefusedNamingBoth) {
    EXPECT_EQ(checkpoint::layoutfault(historylayout), "");
    const std::string mine = historylayout;
    // A field added, two swapped (same size), an array resized, none at all.
    const std::string others[] = {mine + " dmg", "vol0 sm sig_y seqv sd:6 epeff eint q temp",
                                  "vol0 sig_y sm seqv sd:3 epeff eint q temp", ""};
    for (const std::string& other : others) {
        SCOPED_TRACE(other);
        EXPECT_EQ(checkpoint::layoutfault(other),
                  "holds element history records of the layout \"" + other +
                      "\", this solver's are \"" + mine +
                      "\": it was written by a solver whose elements carry another state; start "
                      "the run again from its deck");
    }
}
