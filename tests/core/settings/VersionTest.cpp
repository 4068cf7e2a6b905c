#include "core/settings/Version.h"

#include <gtest/gtest.h>

#include <climits>

using Vantor::Settings::Version;

// Listed in ascending order: parts are compared as numbers, not as text, the first
// differing part deciding.
TEST(Version, OrderingIsConsistentAcrossAllOperators)
{
    const Version versions[] = {Version(), Version(0, 0, 1), Version(0, 1, 0), Version(1, 0, 0),
                                Version(1, 0, 9), Version(1, 0, 10), Version(1, 9, 9), Version(1, 10, 0),
                                Version(2, 0, 0), Version(UINT_MAX, 0, 0)};
    const int count = sizeof(versions) / sizeof(versions[0]);
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < count; ++j) {
            SCOPED_TRACE(versions[i].ToString() + " vs " + versions[j].ToString());
            EXPECT_EQ(i < j, versions[i] < versions[j]);
            EXPECT_EQ(i <= j, versions[i] <= versions[j]);
            EXPECT_EQ(i > j, versions[i] > versions[j]);
            EXPECT_EQ(i >= j, versions[i] >= versions[j]);
            EXPECT_EQ(i == j, versions[i] == versions[j]);
        }
    }
    EXPECT_TRUE(Version(1, 0, 9) == Version(1, 0, 9));
}

TEST(Version, PrintsDecimalPartsWithoutLeadingZeros)
{
    EXPECT_EQ("0.0.0", Version().ToString());
    EXPECT_EQ("10.20.300", Version(10, 20, 300).ToString());
    EXPECT_EQ("4294967295.0.1", Version(UINT_MAX, 0, 1).ToString());
}
