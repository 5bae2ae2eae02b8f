// The sink list: which slot each cookie lands in, how the list grows, and
// what removing does to the slots and the count.
#include "server/DynamicUnkArray.h"

#include "AllocationFailure.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

std::vector<DWORD> Slots(const CComDynamicUnkArray& list) {
    std::vector<DWORD> slots;
    for (int i = 0; i < list.GetSize(); ++i) slots.push_back(list.GetAt(i));
    return slots;
}

// One step: add a cookie (positive) or remove one (negative, -0 not used).
struct Step {
    long nCookie;
    bool bExpected;
};

struct SlotCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<DWORD> slots;
};
void PrintTo(const SlotCase& c, std::ostream* os) { *os << c.name; }

class SinkListSlots : public testing::TestWithParam<SlotCase> {};

TEST_P(SinkListSlots, EndsWithTheseSlots) {
    const SlotCase& c = GetParam();
    CComDynamicUnkArray list;
    for (const Step& step : c.steps) {
        const bool bDone = step.nCookie > 0 ? list.Add(static_cast<DWORD>(step.nCookie))
                                            : list.Remove(static_cast<DWORD>(-step.nCookie));
        EXPECT_EQ(step.bExpected, bDone) << "step " << step.nCookie;
    }
    EXPECT_EQ(c.slots, Slots(list));
    EXPECT_EQ(static_cast<int>(c.slots.size()), list.GetSize());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SinkListSlots,
    testing::Values(
        SlotCase{"Empty", {}, {}},
        SlotCase{"FirstIsHeldInPlace", {{5, true}}, {5}},
        SlotCase{"SecondMakesFourSlots", {{5, true}, {6, true}}, {5, 6, 0, 0}},
        SlotCase{"FullListDoubles", {{1, true}, {2, true}, {3, true}, {4, true}, {5, true}}, {1, 2, 3, 4, 5, 0, 0, 0}},
        SlotCase{"DoublesAgainAtEight",
                 {{1, true}, {2, true}, {3, true}, {4, true}, {5, true}, {6, true}, {7, true}, {8, true}, {9, true}},
                 {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0}},
        SlotCase{"FirstFreeSlotIsReused", {{1, true}, {2, true}, {3, true}, {-2, true}, {4, true}}, {1, 4, 3, 0}},
        SlotCase{"FreeSlotBeforeTheEndIsTakenFirst",
                 {{1, true}, {2, true}, {3, true}, {4, true}, {-1, true}, {-3, true}, {5, true}, {6, true}},
                 {5, 2, 6, 4}},
        SlotCase{"RemovingKeepsTheCount", {{1, true}, {2, true}, {-1, true}, {-2, true}}, {0, 0, 0, 0}},
        SlotCase{"RemovingTheHeldValueEmptiesTheList", {{1, true}, {-1, true}}, {}},
        SlotCase{"HeldAgainAfterEmptying", {{1, true}, {-1, true}, {2, true}}, {2}},
        SlotCase{"RemoveClearsOnlyTheFirstMatch", {{7, true}, {7, true}, {-7, true}}, {0, 7, 0, 0}},
        SlotCase{"RemovingAnAbsentValueFails", {{1, true}, {-2, false}, {3, true}, {-4, false}}, {1, 3, 0, 0}},
        SlotCase{"RemovingTwiceFailsTheSecondTime", {{1, true}, {2, true}, {-2, true}, {-2, false}}, {1, 0, 0, 0}},
        SlotCase{"RemovingFromAnEmptyListFails", {{-1, false}}, {}},
        SlotCase{"SixthAfterFiveRemovedTakesSlotZero",
                 {{1, true}, {2, true}, {3, true}, {4, true}, {5, true}, {-1, true}, {-2, true}, {-3, true},
                  {-4, true}, {-5, true}, {6, true}},
                 {6, 0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<SlotCase>& info) { return std::string(info.param.name); });

TEST(SinkList, SlotsOutsideTheListReadAsFree) {
    CComDynamicUnkArray list;
    EXPECT_EQ(0u, list.GetAt(0));
    list.Add(9);
    EXPECT_EQ(0u, list.GetAt(-1));
    EXPECT_EQ(0u, list.GetAt(1));
    list.Add(8);
    EXPECT_EQ(0u, list.GetAt(4));
    EXPECT_FALSE(list.Remove(0));  // 0 marks free slots, never a cookie
    EXPECT_EQ((std::vector<DWORD>{9, 8, 0, 0}), Slots(list));
}

struct GrowthCase {
    const char* name;
    int nPrefilled;
};
void PrintTo(const GrowthCase& c, std::ostream* os) { *os << c.name; }

class SinkListWithoutMemory : public testing::TestWithParam<GrowthCase> {};

TEST_P(SinkListWithoutMemory, RefusesTheValueAndKeepsWhatItHad) {
    CComDynamicUnkArray list;
    for (int i = 1; i <= GetParam().nPrefilled; ++i) list.Add(static_cast<DWORD>(i));
    const std::vector<DWORD> before = Slots(list);
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_FALSE(list.Add(99));
        EXPECT_EQ(1, noMemory.FailedCount());
    }
    EXPECT_EQ(before, Slots(list));
    EXPECT_TRUE(list.Add(99));
}

INSTANTIATE_TEST_SUITE_P(Growth, SinkListWithoutMemory,
                         testing::Values(GrowthCase{"FromOneToFour", 1}, GrowthCase{"FromFourToEight", 4},
                                         GrowthCase{"FromEightToSixteen", 8}),
                         [](const testing::TestParamInfo<GrowthCase>& info) { return std::string(info.param.name); });

}  // namespace
