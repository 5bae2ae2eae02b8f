// The sink list: which slot each cookie lands in, how the list grows, and
// what removing does to the slots and the count.
#include "server/DynamicUnkArray.h"

#include "AllocationFailure.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<DWORD> Slots(const CComDynamicUnkArray& list) {
    std::vector<DWORD> slots;
    for (int i = 0; i < list.GetSize(); ++i) slots.push_back(list.GetAt(i));
    return slots;
}

// Adds a cookie (positive) or removes one (negative), expecting bDone.
struct Step {
    long nCookie;
    bool bDone = true;
};

TEST(SinkList, SlotRules) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<DWORD> slots;
    } cases[] = {
        {"empty", {}, {}},
        {"first is held in place", {{5}}, {5}},
        {"second makes four slots", {{5}, {6}}, {5, 6, 0, 0}},
        {"full list doubles", {{1}, {2}, {3}, {4}, {5}}, {1, 2, 3, 4, 5, 0, 0, 0}},
        {"doubles again at eight",
         {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0}},
        {"first free slot is reused", {{1}, {2}, {3}, {-2}, {4}}, {1, 4, 3, 0}},
        {"free slot before the end is taken first", {{1}, {2}, {3}, {4}, {-1}, {-3}, {5}, {6}}, {5, 2, 6, 4}},
        {"removing keeps the count", {{1}, {2}, {-1}, {-2}}, {0, 0, 0, 0}},
        {"removing the held value empties the list", {{1}, {-1}}, {}},
        {"held again after emptying", {{1}, {-1}, {2}}, {2}},
        {"remove clears only the first match", {{7}, {7}, {-7}}, {0, 7, 0, 0}},
        {"removing an absent value fails", {{1}, {-2, false}, {3}, {-4, false}}, {1, 3, 0, 0}},
        {"removing twice fails the second time", {{1}, {2}, {-2}, {-2, false}}, {1, 0, 0, 0}},
        {"removing from an empty list fails", {{-1, false}}, {}},
        {"sixth after five removed takes slot zero",
         {{1}, {2}, {3}, {4}, {5}, {-1}, {-2}, {-3}, {-4}, {-5}, {6}},
         {6, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CComDynamicUnkArray list;
        for (const Step& step : c.steps) {
            const bool bDone = step.nCookie > 0 ? list.Add(static_cast<DWORD>(step.nCookie))
                                                : list.Remove(static_cast<DWORD>(-step.nCookie));
            EXPECT_EQ(step.bDone, bDone) << "step " << step.nCookie;
        }
        EXPECT_EQ(c.slots, Slots(list));
    }
}

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

TEST(SinkList, WithoutMemoryToGrowRefusesTheValueAndKeepsWhatItHad) {
    for (int nPrefilled : {1, 4, 8}) {
        SCOPED_TRACE(nPrefilled);
        CComDynamicUnkArray list;
        for (int i = 1; i <= nPrefilled; ++i) list.Add(static_cast<DWORD>(i));
        const std::vector<DWORD> before = Slots(list);
        {
            CNothrowAllocationFailure noMemory;
            EXPECT_FALSE(list.Add(99));
            EXPECT_EQ(1, noMemory.FailedCount());
        }
        EXPECT_EQ(before, Slots(list));
        EXPECT_TRUE(list.Add(99));
    }
}

}  // namespace
