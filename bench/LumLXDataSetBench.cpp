// The variant-array data set against its floor, a std::vector of structs, for one workload on
// 100,000 rows of three fields (a text, an integer, a floating-point number): append them all,
// sort by the text, locate 10,000 texts (by bisection on the sort field; a scan for
// comparison), filter to one tenth and walk the result. The floor does the same with
// push_back, std::sort, std::lower_bound and std::copy_if, comparing texts the same way
// (without regard to case). Each step starts from the state the step before leaves; preparing
// it is not timed. Times are CPU times.

#include "lib/LumLX/LumLXVarArrayDataSet.h"
#include "toolkit/base/LumStringList.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kKeys = 10000;
constexpr int kScannedKeys = 100;

class TBenchTable : public TLumVarArrayDataSet {
  public:
    TBenchTable() : TLumVarArrayDataSet(nullptr) {
        FieldDefs().Add(u"Name", ftWideString, 20);
        FieldDefs().Add(u"Qty", ftInteger);
        FieldDefs().Add(u"Price", ftFloat);
    }

  protected:
    void InternalInitFieldDefs() override {}
};

using TTable = TLumOwned<TBenchTable>;

struct TRow {
    std::u16string Name;
    int Qty;
    double Price;
};

bool NameLess(const TRow& a, const TRow& b) {
    return LumCompareStrings(a.Name, b.Name, false) < 0;
}

// Distinct texts in random order; every tenth in upper case, so that the case must not count.
const std::vector<TRow>& Rows() {
    static const std::vector<TRow> rows = [] {
        std::vector<int> numbers(kRows);
        for (int i = 0; i < kRows; ++i) {
            numbers[static_cast<size_t>(i)] = i;
        }
        std::shuffle(numbers.begin(), numbers.end(), std::mt19937(2024));
        std::vector<TRow> made;
        for (int i = 0; i < kRows; ++i) {
            std::string digits = std::to_string(1000000 + numbers[static_cast<size_t>(i)]);
            std::u16string name(i % 10 == 0 ? u"ITEM-" : u"item-");
            name.append(digits.begin(), digits.end());
            made.push_back({name, i, i * 0.5});
        }
        return made;
    }();
    return rows;
}

// Texts to find, in other letter cases than stored.
const std::vector<std::u16string>& Keys() {
    static const std::vector<std::u16string> keys = [] {
        std::mt19937 random(7);
        std::vector<std::u16string> made;
        for (int i = 0; i < kKeys; ++i) {
            std::u16string key = Rows()[random() % kRows].Name;
            key[0] = key[0] == u'i' ? u'I' : u'i';
            made.push_back(key);
        }
        return made;
    }();
    return keys;
}

void AppendAll(TDataSet& table) {
    for (const TRow& row : Rows()) {
        TLumVariant values[] = {TLumVariant(row.Name), TLumVariant(row.Qty),
                                TLumVariant(row.Price)};
        table.AppendRecord(values);
    }
}

TTable FilledTable() {
    TTable table(new TBenchTable());
    table->Open();
    AppendAll(*table);
    return table;
}

TBenchTable& SortedTable() {
    static TTable table = [] {
        TTable made = FilledTable();
        made->SetSort(u"Name");
        return made;
    }();
    return *table;
}

const TFilterRecordEvent& TenthFilter() {
    static const TFilterRecordEvent filter([](TDataSet* dataSet, bool& accept) {
        accept = dataSet->Fields(1)->AsInteger() % 10 == 0;
    });
    return filter;
}

TBenchTable& FilteredTable() {
    static TTable table = [] {
        TTable made = FilledTable();
        made->SetSort(u"Name");
        made->SetOnFilterRecord(TenthFilter());
        made->SetFiltered(true);
        return made;
    }();
    return *table;
}

// ---- The data set

void DataSetAppend(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        TTable table(new TBenchTable());
        table->Open();
        state.ResumeTiming();
        AppendAll(*table);
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void DataSetSort(benchmark::State& state) {
    TTable table = FilledTable();
    for (auto _ : state) {
        state.PauseTiming();
        table->SetSort(u"");
        state.ResumeTiming();
        table->SetSort(u"Name");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void DataSetLocate(benchmark::State& state) {
    TBenchTable& table = SortedTable();
    int found = 0;
    for (auto _ : state) {
        for (const std::u16string& key : Keys()) {
            found += table.Locate(u"Name", TLumVariant(key), {loCaseInsensitive});
        }
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * kKeys);
}

// The same search without a sort, row by row: per located key, to set against the bisection.
void DataSetLocateByScan(benchmark::State& state) {
    static TTable table = FilledTable();
    int found = 0;
    for (auto _ : state) {
        for (int i = 0; i < kScannedKeys; ++i) {
            found += table->Locate(u"Name", TLumVariant(Keys()[static_cast<size_t>(i)]),
                                   {loCaseInsensitive});
        }
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * kScannedKeys);
}

void DataSetFilter(benchmark::State& state) {
    TTable table = FilledTable();
    table->SetSort(u"Name");
    table->SetOnFilterRecord(TenthFilter());
    for (auto _ : state) {
        state.PauseTiming();
        table->SetFiltered(false);
        state.ResumeTiming();
        table->SetFiltered(true);
    }
    state.counters["rows"] = table->RecordCount();
    state.SetItemsProcessed(state.iterations() * kRows);
}

void DataSetWalk(benchmark::State& state) {
    TBenchTable& table = FilteredTable();
    TField* name = table.Fields(0);
    TField* qty = table.Fields(1);
    for (auto _ : state) {
        std::size_t sum = 0;
        for (table.First(); !table.Eof(); table.Next()) {
            sum += name->AsWideString().size() + static_cast<std::size_t>(qty->AsInteger());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * table.RecordCount());
}

// ---- The floor

void VectorAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<TRow> rows;
        for (const TRow& row : Rows()) {
            rows.push_back(row);
        }
        benchmark::DoNotOptimize(rows.data());
        state.PauseTiming();
        rows = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void VectorSort(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TRow> rows = Rows();
        state.ResumeTiming();
        std::sort(rows.begin(), rows.end(), NameLess);
        benchmark::DoNotOptimize(rows.data());
        state.PauseTiming();
        rows = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

const std::vector<TRow>& SortedRows() {
    static const std::vector<TRow> rows = [] {
        std::vector<TRow> made = Rows();
        std::sort(made.begin(), made.end(), NameLess);
        return made;
    }();
    return rows;
}

void VectorLocate(benchmark::State& state) {
    const std::vector<TRow>& rows = SortedRows();
    int found = 0;
    for (auto _ : state) {
        for (const std::u16string& key : Keys()) {
            TRow probe{key, 0, 0};
            auto at = std::lower_bound(rows.begin(), rows.end(), probe, NameLess);
            found += at != rows.end() && LumCompareStrings(at->Name, key, false) == 0;
        }
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * kKeys);
}

void VectorFilter(benchmark::State& state) {
    const std::vector<TRow>& rows = SortedRows();
    std::size_t kept = 0;
    for (auto _ : state) {
        std::vector<const TRow*> tenth;
        for (const TRow& row : rows) {
            if (row.Qty % 10 == 0) {
                tenth.push_back(&row);
            }
        }
        kept = tenth.size();
        benchmark::DoNotOptimize(tenth.data());
    }
    state.counters["rows"] = static_cast<double>(kept);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void VectorWalk(benchmark::State& state) {
    std::vector<const TRow*> tenth;
    for (const TRow& row : SortedRows()) {
        if (row.Qty % 10 == 0) {
            tenth.push_back(&row);
        }
    }
    for (auto _ : state) {
        std::size_t sum = 0;
        for (const TRow* row : tenth) {
            std::u16string name = row->Name;
            sum += name.size() + static_cast<std::size_t>(row->Qty);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tenth.size()));
}

// Several repetitions on a shared machine: the medians tell more than any one run.
#define LUM_DATASET_BENCHMARK(fn)                                                                  \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

LUM_DATASET_BENCHMARK(DataSetAppend);
LUM_DATASET_BENCHMARK(VectorAppend);
LUM_DATASET_BENCHMARK(DataSetSort);
LUM_DATASET_BENCHMARK(VectorSort);
LUM_DATASET_BENCHMARK(DataSetLocate);
LUM_DATASET_BENCHMARK(DataSetLocateByScan);
LUM_DATASET_BENCHMARK(VectorLocate);
LUM_DATASET_BENCHMARK(DataSetFilter);
LUM_DATASET_BENCHMARK(VectorFilter);
LUM_DATASET_BENCHMARK(DataSetWalk);
LUM_DATASET_BENCHMARK(VectorWalk);

} // namespace
