// TLumList against std::vector and std::deque for the operations it is built for: inserting
// and deleting at the front, appending, inserting in the middle and sorting (with a compare
// function pointer, Sort, and with a comparison the compiler inlines, SortBy). Each run of an
// operation starts from a fresh container; filling it beforehand and destroying it afterwards
// are not timed.

#include "lib/LumLX/LumLXClasses.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 100000;

void* Item(std::uintptr_t n) {
    return reinterpret_cast<void*>(n + 1);
}

int CompareItems(void* a, void* b) {
    auto x = reinterpret_cast<std::uintptr_t>(a);
    auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// The same operations on each container.
struct TLumListOps {
    TLumList items;
    void Append(void* item) { items.Add(item); }
    void InsertAt(int index, void* item) { items.Insert(index, item); }
    void DeleteFirst() { items.Delete(0); }
    int Count() const { return items.Count(); }
    void Sort() { items.Sort(CompareItems); }
};

// The same list sorted with a comparison the compiler sees (SortBy).
struct TLumListInlineOps : TLumListOps {
    void Sort() {
        items.SortBy([](void* a, void* b) { return CompareItems(a, b); });
    }
};

template <class Container> struct TStdOps {
    Container items;
    void Append(void* item) { items.push_back(item); }
    void InsertAt(int index, void* item) { items.insert(items.begin() + index, item); }
    void DeleteFirst() { items.erase(items.begin()); }
    int Count() const { return static_cast<int>(items.size()); }
    void Sort() {
        std::sort(items.begin(), items.end(),
                  [](void* a, void* b) { return CompareItems(a, b) < 0; });
    }
};

using TVectorOps = TStdOps<std::vector<void*>>;
using TDequeOps = TStdOps<std::deque<void*>>;

const std::vector<void*>& Shuffled() {
    static const std::vector<void*> items = [] {
        std::vector<void*> v;
        for (int i = 0; i < kItems; ++i) {
            v.push_back(Item(static_cast<std::uintptr_t>(i)));
        }
        std::shuffle(v.begin(), v.end(), std::mt19937(2024));
        return v;
    }();
    return items;
}

// Runs `body` on a fresh container each time; `fill` prepares it outside the timing.
template <class Ops, class Fill, class Body>
void Run(benchmark::State& state, Fill fill, Body body) {
    for (auto _ : state) {
        state.PauseTiming();
        auto ops = std::make_unique<Ops>();
        fill(*ops);
        state.ResumeTiming();
        body(*ops);
        benchmark::ClobberMemory();
        state.PauseTiming();
        ops.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

template <class Ops> void NoFill(Ops&) {}

template <class Ops> void FillInOrder(Ops& ops) {
    for (int i = 0; i < kItems; ++i) {
        ops.Append(Item(static_cast<std::uintptr_t>(i)));
    }
}

template <class Ops> void FillShuffled(Ops& ops) {
    for (void* item : Shuffled()) {
        ops.Append(item);
    }
}

template <class Ops> void InsertFront(benchmark::State& state) {
    Run<Ops>(state, NoFill<Ops>, [](Ops& ops) {
        for (int i = 0; i < kItems; ++i) {
            ops.InsertAt(0, Item(static_cast<std::uintptr_t>(i)));
        }
    });
}

template <class Ops> void Append(benchmark::State& state) {
    Run<Ops>(state, NoFill<Ops>, [](Ops& ops) {
        for (int i = 0; i < kItems; ++i) {
            ops.Append(Item(static_cast<std::uintptr_t>(i)));
        }
    });
}

template <class Ops> void DeleteFront(benchmark::State& state) {
    Run<Ops>(state, FillInOrder<Ops>, [](Ops& ops) {
        while (ops.Count() > 0) {
            ops.DeleteFirst();
        }
    });
}

template <class Ops> void InsertMiddle(benchmark::State& state) {
    Run<Ops>(state, NoFill<Ops>, [](Ops& ops) {
        for (int i = 0; i < kItems; ++i) {
            ops.InsertAt(ops.Count() / 2, Item(static_cast<std::uintptr_t>(i)));
        }
    });
}

template <class Ops> void Sort(benchmark::State& state) {
    Run<Ops>(state, FillShuffled<Ops>, [](Ops& ops) { ops.Sort(); });
}

template <class Ops> void Register(const std::string& container) {
    auto add = [&](const char* operation, void (*fn)(benchmark::State&)) {
        benchmark::RegisterBenchmark((std::string(operation) + "/" + container).c_str(), fn)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    };
    add("InsertFront", InsertFront<Ops>);
    add("Append", Append<Ops>);
    add("DeleteFront", DeleteFront<Ops>);
    add("InsertMiddle", InsertMiddle<Ops>);
    add("Sort", Sort<Ops>);
}

} // namespace

int main(int argc, char** argv) {
    Register<TLumListOps>("TLumList");
    benchmark::RegisterBenchmark("Sort/TLumList SortBy", Sort<TLumListInlineOps>)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    Register<TVectorOps>("std::vector");
    Register<TDequeOps>("std::deque");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
