#include "lib/LumLX/LumLXClasses.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// Items are the letters of this text, so a list reads back as a word.
char letters[] = "ABCDEFGH";
void* L(char c) {
    return &letters[c - 'A'];
}

std::string Names(const TLumList& list) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        void* item = list.Get(i);
        out += item ? *static_cast<char*>(item) : '-';
    }
    return out;
}

void Fill(TLumList& list, const std::string& names) {
    for (char c : names) {
        list.Add(c == '-' ? nullptr : L(c));
    }
}

void* Number(std::uintptr_t n) {
    return reinterpret_cast<void*>(n);
}
std::uintptr_t NumberOf(void* item) {
    return reinterpret_cast<std::uintptr_t>(item);
}

int CompareNumbers(void* a, void* b) {
    return NumberOf(a) < NumberOf(b) ? -1 : NumberOf(a) > NumberOf(b) ? 1 : 0;
}

} // namespace

TEST(LumList, CapacityGrowsByFourThenSixteenThenAQuarter) {
    TLumList list;
    EXPECT_EQ(list.Capacity(), 0);
    std::vector<int> capacities;
    for (int i = 0; i < 120; ++i) {
        list.Add(Number(i + 1));
        if (capacities.empty() || capacities.back() != list.Capacity()) {
            capacities.push_back(list.Capacity());
        }
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));
}

TEST(LumList, GrowthStepIsAtMost16384) {
    TLumList list;
    list.SetCount(70000);
    EXPECT_EQ(list.Capacity(), 70000);
    list.Add(Number(1));
    EXPECT_EQ(list.Capacity(), 70000 + 16384);
    EXPECT_EQ(list.Count(), 70001);
}

TEST(LumList, InsertAtFrontUsesTheFrontGapFirst) {
    TLumList list;
    const std::pair<int, int> gapAndCapacity[] = {{4, 4}, {3, 5},  {2, 6},  {1, 7},  {0, 8},
                                                  {3, 9}, {2, 10}, {1, 11}, {0, 12}, {15, 13}};
    int step = 0;
    for (auto [gap, capacity] : gapAndCapacity) {
        SCOPED_TRACE(step);
        list.Insert(0, Number(++step));
        EXPECT_EQ(list.FrontGap(), gap);
        EXPECT_EQ(list.Capacity(), capacity);
    }
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(NumberOf(list.Get(i)), static_cast<std::uintptr_t>(10 - i));
    }
}

TEST(LumList, DeleteMovesTheSmallerSide) {
    struct Case {
        int index;
        int count;
        const char* after;
        int gapChange;
    };
    const Case cases[] = {
        {0, 1, "BCDE", 1}, // the first item: the front gap grows
        {1, 1, "ACDE", 1}, // nearer the front: the item in front moves up
        {2, 1, "ABDE", 0}, // the middle: the items behind move down
        {4, 1, "ABCD", 0}, // the last item: nothing moves
        {0, 2, "CDE", 2},  //
        {1, 3, "AE", 0},   //
        {0, 5, "", 0},     // everything: no item in front, none behind
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + "," + std::to_string(c.count));
        TLumList list;
        Fill(list, "ABCDE");
        int gap = list.FrontGap();
        int capacity = list.Capacity();
        list.DeleteRange(c.index, c.count);
        EXPECT_EQ(Names(list), c.after);
        EXPECT_EQ(list.FrontGap(), gap + c.gapChange);
        EXPECT_EQ(list.Capacity(), capacity - c.gapChange);
    }
}

TEST(LumList, InsertMovesTheSmallerSide) {
    struct Case {
        int index;
        const char* after;
        int gapChange;
    };
    const Case cases[] = {
        {0, "HABCDE", -1}, {1, "AHBCDE", -1}, {2, "ABHCDE", -1}, {3, "ABCHDE", 0}, {5, "ABCDEH", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        TLumList list;
        Fill(list, "ABCDE");
        int gap = list.FrontGap();
        list.Insert(c.index, L('H'));
        EXPECT_EQ(Names(list), c.after);
        EXPECT_EQ(list.FrontGap(), gap + c.gapChange);
    }
}

TEST(LumList, FailuresRaiseTheirClassAndTextAndChangeNothing) {
    TLumList list;
    Fill(list, "ABCDE");
    ExpectRaises<EListError>([&] { list.Get(5); }, "EListError", u"List index out of bounds (5)");
    ExpectRaises<EListError>([&] { list.Get(-1); }, "EListError", u"List index out of bounds (-1)");
    ExpectRaises<EListError>([&] { list.Insert(6, L('H')); }, "EListError",
                             u"List index out of bounds (6)");
    ExpectRaises<EListError>([&] { list.Insert(-1, L('H')); }, "EListError",
                             u"List index out of bounds (-1)");
    ExpectRaises<EListError>([&] { list.DeleteRange(3, 3); }, "EListError",
                             u"List index out of bounds (3)");
    ExpectRaises<EListError>([&] { list.DeleteRange(-1, 1); }, "EListError",
                             u"List index out of bounds (-1)");
    ExpectRaises<EListError>([&] { list.DeleteRange(0x7FFFFFFF, 2); }, "EListError",
                             u"List index out of bounds (2147483647)");
    ExpectRaises<ELumInternalError>([&] { list.DeleteRange(0, 0); }, "ELumInternalError",
                                    u"Internal Error: DelCount must be greater than 0. (0)");
    ExpectRaises<ELumInternalError>([&] { list.DeleteRange(9, -3); }, "ELumInternalError",
                                    u"Internal Error: DelCount must be greater than 0. (-3)");
    ExpectRaises<EListError>([&] { list.SetCount(-1); }, "EListError",
                             u"List count out of bounds (-1)");
    ExpectRaises<EListError>([&] { list.SetCount(0x8000000); }, "EListError",
                             u"List count out of bounds (134217728)");
    ExpectRaises<ELumGeneralError>([&] { list.SetCapacity(4); }, "ELumGeneralError",
                                   u"List capacity out of bounds (4)");
    ExpectRaises<ELumGeneralError>([&] { list.SetCapacity(0x8000000); }, "ELumGeneralError",
                                   u"List capacity out of bounds (134217728)");
    EXPECT_EQ(Names(list), "ABCDE");
    EXPECT_EQ(list.Capacity(), 8);
    EXPECT_EQ(list.FrontGap(), 4);
}

TEST(LumList, SetCountExtendsWithNoneAndShrinksWithNotification) {
    TLumList list;
    std::string log;
    list.OnNotify = [&](void* item, TListNotification action) {
        log += *static_cast<char*>(item);
        log += action == lnAdded ? '+' : action == lnDeleted ? '-' : '?';
    };
    Fill(list, "AB");
    list.SetCount(5);
    EXPECT_EQ(Names(list), "AB---");
    EXPECT_EQ(list.Capacity(), 5);
    list.SetCount(20);
    EXPECT_EQ(list.Capacity(), 20);
    EXPECT_EQ(list.Get(19), nullptr);
    list.SetCount(1);
    EXPECT_EQ(Names(list), "A");
    EXPECT_EQ(log, "A+B+B-");
}

TEST(LumList, NotificationsSkipNoneAndComeAfterTheChange) {
    TLumList list;
    std::vector<std::pair<std::string, int>> seen; // (item, count when notified)
    list.OnNotify = [&](void* item, TListNotification action) {
        seen.push_back({std::string(1, *static_cast<char*>(item)) + (action == lnAdded ? "+" : "-"),
                        list.Count()});
    };
    Fill(list, "A-B");
    list.Insert(1, L('C'));
    list.Insert(0, nullptr);
    list.DeleteRange(1, 3);
    EXPECT_EQ(Names(list), "-B");
    list.Clear();
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(list.FrontGap(), 0);
    const std::vector<std::pair<std::string, int>> expected = {{"A+", 1}, {"B+", 3}, {"C+", 4},
                                                               {"A-", 2}, {"C-", 2}, {"B-", 0}};
    EXPECT_EQ(seen, expected);
}

TEST(LumList, DestructorNotifiesTheItemsLeft) {
    std::string log;
    {
        TLumList list;
        Fill(list, "AB-C");
        list.OnNotify = [&](void* item, TListNotification) { log += *static_cast<char*>(item); };
    }
    EXPECT_EQ(log, "ABC");
}

TEST(LumList, IndexOfFindsTheFirstMatch) {
    TLumList list;
    Fill(list, "AB-BA");
    EXPECT_EQ(list.IndexOf(L('B')), 1);
    EXPECT_EQ(list.IndexOf(L('A')), 0);
    EXPECT_EQ(list.IndexOf(nullptr), 2);
    EXPECT_EQ(list.IndexOf(L('H')), -1);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf(L('A')), 3);
}

TEST(LumList, AssignOperators) {
    struct Case {
        TListAssignOp op;
        const char* list;
        const char* source;
        const char* after;
    };
    const Case cases[] = {
        {laCopy, "BD", "ABC", "ABC"},     {laAnd, "BDCA", "ABC", "BCA"},
        {laOr, "BD", "ABCA", "BDAC"},     {laXor, "BDE", "ABC", "DEAC"},
        {laSrcUnbind, "BDB", "ABC", "D"}, {laDestUnbind, "B", "ABC", "CA"},
        {laDestUnbind, "ABC", "AB", ""},  {laAnd, "", "ABC", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.op) + " " + c.list + " with " + c.source);
        TLumList list;
        TLumList source;
        Fill(list, c.list);
        Fill(source, c.source);
        list.Assign(source, c.op);
        EXPECT_EQ(Names(list), c.after);
        EXPECT_EQ(Names(source), c.source);
    }
}

TEST(LumList, AssignCopyTakesTheSourceCapacity) {
    TLumList list;
    TLumList source;
    source.SetCapacity(100);
    Fill(source, "AB");
    Fill(list, "CDEFGH");
    list.Assign(source);
    EXPECT_EQ(Names(list), "AB");
    EXPECT_EQ(list.Capacity(), 100);
}

TEST(LumList, AssignWithSecondSourceStartsFromACopy) {
    TLumList list;
    TLumList first;
    TLumList second;
    Fill(list, "H");
    Fill(first, "ABC");
    Fill(second, "BCD");
    list.Assign(first, laAnd, &second);
    EXPECT_EQ(Names(list), "BC");
    list.Assign(first, laDestUnbind, &second);
    EXPECT_EQ(Names(list), "D");
}

// A list assigned from itself keeps its items instead of clearing them away first.
TEST(LumList, AssignFromItselfReadsTheListAsItWas) {
    struct Case {
        TListAssignOp op;
        const char* after;
    };
    const Case cases[] = {{laCopy, "ABC"}, {laAnd, "ABC"},    {laOr, "ABC"},
                          {laXor, ""},     {laSrcUnbind, ""}, {laDestUnbind, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        TLumList list;
        Fill(list, "ABC");
        list.Assign(list, c.op);
        EXPECT_EQ(Names(list), c.after);
    }
    TLumList list;
    TLumList other;
    Fill(list, "AB");
    Fill(other, "C");
    list.Assign(other, laOr, &list);
    EXPECT_EQ(Names(list), "CAB");
}

TEST(LumList, SortFallsBackToHeapSortWhenPartitionsDegenerate) {
    // Depth 0: the first range longer than the insertion limit goes to the heap sort.
    std::mt19937 random(5);
    std::vector<void*> items;
    for (int i = 0; i < 1000; ++i) {
        items.push_back(Number(random() % 100));
    }
    int (*compare)(void*, void*) = CompareNumbers;
    LumListSort::IntroSort(items.data(), 0, static_cast<int>(items.size()) - 1, compare, 0);
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(),
                               [](void* a, void* b) { return CompareNumbers(a, b) < 0; }));
    // Short ranges are finished by insertion sort, which keeps equal items in their order.
    struct Keyed {
        int key;
        char tag;
    };
    Keyed keyed[] = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};
    TLumList list;
    for (Keyed& k : keyed) {
        list.Add(&k);
    }
    list.Sort(
        [](void* a, void* b) { return static_cast<Keyed*>(a)->key - static_cast<Keyed*>(b)->key; });
    std::string tags;
    for (int i = 0; i < list.Count(); ++i) {
        tags += static_cast<Keyed*>(list.Get(i))->tag;
    }
    EXPECT_EQ(tags, "bdace");
}

TEST(LumList, SortOrdersLargeInputs) {
    const std::vector<std::uintptr_t> patterns[] = {
        [] {
            std::vector<std::uintptr_t> v;
            std::mt19937 random(7);
            for (int i = 0; i < 50000; ++i) {
                v.push_back(random() % 1000);
            }
            return v;
        }(),
        [] {
            std::vector<std::uintptr_t> v;
            for (int i = 50000; i > 0; --i) {
                v.push_back(i);
            }
            return v;
        }(),
        std::vector<std::uintptr_t>(50000, 3),
        {},
        {1},
    };
    for (const auto& pattern : patterns) {
        SCOPED_TRACE(pattern.size());
        TLumList list;
        for (std::uintptr_t n : pattern) {
            list.Add(Number(n));
        }
        list.Sort(CompareNumbers);
        std::vector<std::uintptr_t> expected = pattern;
        std::sort(expected.begin(), expected.end());
        std::vector<std::uintptr_t> sorted;
        for (int i = 0; i < list.Count(); ++i) {
            sorted.push_back(NumberOf(list.Get(i)));
        }
        EXPECT_EQ(sorted, expected);
    }
}

TEST(LumList, SortByLeavesTheOrderOfSortEqualItemsIncluded) {
    std::mt19937 random(11);
    std::vector<std::uintptr_t> values;
    for (int i = 0; i < 20000; ++i) {
        // Few keys, many ties: the low byte is the key, the rest tells equal items apart.
        values.push_back((static_cast<std::uintptr_t>(i) << 8) | (random() % 7));
    }
    auto byKey = [](void* a, void* b) {
        return static_cast<int>(NumberOf(a) & 0xFF) - static_cast<int>(NumberOf(b) & 0xFF);
    };
    TLumList withPointer;
    TLumList inlined;
    for (std::uintptr_t value : values) {
        withPointer.Add(Number(value));
        inlined.Add(Number(value));
    }
    withPointer.Sort(byKey);
    inlined.SortBy(byKey);
    for (int i = 0; i < withPointer.Count(); ++i) {
        ASSERT_EQ(withPointer.Get(i), inlined.Get(i)) << i;
    }
    for (int i = 1; i < inlined.Count(); ++i) {
        ASSERT_LE(byKey(inlined.Get(i - 1), inlined.Get(i)), 0) << i;
    }
}

// A compare function that contradicts itself must not lead the sort out of the list.
TEST(LumList, SortSurvivesACompareFunctionThatLies) {
    TLumList list;
    for (int i = 0; i < 1000; ++i) {
        list.Add(Number(i + 1));
    }
    list.Sort([](void*, void*) { return -1; });
    list.Sort([](void*, void*) { return 1; });
    static std::mt19937 random(3);
    list.Sort([](void*, void*) { return static_cast<int>(random() % 3) - 1; });
    std::vector<bool> present(1001, false);
    for (int i = 0; i < list.Count(); ++i) {
        present[NumberOf(list.Get(i))] = true;
    }
    EXPECT_EQ(std::count(present.begin(), present.end(), true), 1000);
}

// Adding at the end and deleting at the front forever must not keep widening the block.
TEST(LumList, QueueUseKeepsTheBlockSmall) {
    TLumList list;
    for (int i = 0; i < 10; ++i) {
        list.Add(Number(i + 1));
    }
    for (int i = 0; i < 100000; ++i) {
        list.Add(Number(i + 11));
        list.Delete(0);
    }
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(NumberOf(list.Get(0)), 100001u);
    EXPECT_LE(list.FrontGap() + list.Capacity(), 64);
}

// Random edits checked against a plain vector.
TEST(LumList, RandomEditsMatchAVector) {
    std::mt19937 random(42);
    TLumList list;
    std::vector<void*> model;
    for (int step = 0; step < 20000; ++step) {
        int op = static_cast<int>(random() % 10);
        int size = static_cast<int>(model.size());
        if (op < 5 || size == 0) {
            int index = static_cast<int>(random() % (size + 1));
            void* item = Number(step + 1);
            list.Insert(index, item);
            model.insert(model.begin() + index, item);
        } else if (op < 9) {
            int index = static_cast<int>(random() % size);
            int count = 1 + static_cast<int>(random() % std::min(size - index, 40));
            list.DeleteRange(index, count);
            model.erase(model.begin() + index, model.begin() + index + count);
        } else {
            int n = static_cast<int>(random() % (size + 20));
            list.SetCount(n);
            model.resize(n, nullptr);
        }
        ASSERT_EQ(list.Count(), static_cast<int>(model.size())) << step;
        ASSERT_LE(list.Count(), list.Capacity());
    }
    for (int i = 0; i < list.Count(); ++i) {
        ASSERT_EQ(list.Get(i), model[i]) << i;
    }
}

TEST(VarArrayList, HoldsRowsAndSortsThemByTheirValues) {
    TVarArrayRow rows[] = {{TLumVariant(u"b"), TLumVariant(2)},
                           {TLumVariant(u"A"), TLumVariant(1)},
                           {TLumVariant(u"c"), TLumVariant::Null()}};
    TVarArrayList storage;
    for (TVarArrayRow& row : rows) {
        storage.Add(&row);
    }
    EXPECT_EQ(storage.Get(1), &rows[1]);
    EXPECT_EQ(storage.IndexOf(&rows[2]), 2);

    // The order of a data set: a copy of the storage, sorted by the first field ignoring case.
    TLumList order;
    order.Assign(storage);
    order.Sort([](void* a, void* b) {
        TVariantRelation r = VarCompareValue((*static_cast<TVarArrayRow*>(a))[0],
                                             (*static_cast<TVarArrayRow*>(b))[0], true);
        return r == vrLessThan ? -1 : r == vrGreaterThan ? 1 : 0;
    });
    std::u16string firsts;
    for (int i = 0; i < order.Count(); ++i) {
        firsts += (*static_cast<TVarArrayRow*>(order.Get(i)))[0].AsWideString();
    }
    EXPECT_EQ(firsts, u"Abc");
    EXPECT_EQ(storage.Get(0), &rows[0]);

    storage.Insert(0, &rows[2]);
    storage.Delete(3);
    EXPECT_EQ(storage.Count(), 3);
    EXPECT_EQ(storage.Get(0), &rows[2]);
    EXPECT_EQ(storage.Get(2), &rows[1]);
}
