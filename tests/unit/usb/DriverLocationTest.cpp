#include <gtest/gtest.h>

#include <sstream>

#include "unit/Rows.h"
#include "usb/DriverLocation.h"

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST(DriverCandidates, ListsLibrariesInLoadOrderAndTheSimulatorChoosesTheDemonstration)
{
    for (const Row& r : Rows("driver-candidates.txt")) {
        const std::string driver = r[0] == " " ? "" : r[0];
        SCOPED_TRACE(driver + " " + r[1] + " " + r[2]);
        EXPECT_EQ(DriverCandidates(driver, r[1] == "1", r[2], Words(r[3])), Words(r[4]));
        EXPECT_EQ(SimulatorChosen(driver, r[1] == "1"), r[5] == "1");
    }
}

}  // namespace
