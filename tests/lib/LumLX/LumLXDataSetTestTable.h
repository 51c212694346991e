#pragma once
// A variant-array data set for tests: its field definitions are given before it opens, it
// counts how often rows are read, and it shows its cursor and record list.

#include "lib/LumLX/LumLXVarArrayDataSet.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class TTestTable : public TLumVarArrayDataSet {
  public:
    explicit TTestTable(TLumComponent* owner = nullptr) : TLumVarArrayDataSet(owner) {}

    /// Row reads through GetRecordValue since the last reset.
    int ValueReads = 0;

    using TLumDataSet::Cursor;
    using TLumDataSet::InternalFirst;

    /// The rows of the record list in order, each as the values of one field.
    std::vector<TLumVariant> ListedValues(int fieldIndex) {
        std::vector<TLumVariant> values;
        for (int i = 0; i < RecordList().Count(); ++i) {
            TLumVariant value;
            TLumVarArrayDataSet::GetRecordValue(RecordList().Get(i), fieldIndex, value);
            values.push_back(value);
        }
        return values;
    }

    /// Writes a value straight into the row at a record-list index, as a descendant may.
    void StoreValue(int index, int fieldIndex, const TLumVariant& value) {
        SetRecordValue(RecordList().Get(index), fieldIndex, value);
    }

  protected:
    // The definitions are given before the table opens.
    void InternalInitFieldDefs() override {}

    void GetRecordValue(TRowHandle row, int fieldIndex, TLumVariant& value) override {
        ++ValueReads;
        TLumVarArrayDataSet::GetRecordValue(row, fieldIndex, value);
    }
};

using TTestTableOwned = TLumOwned<TTestTable>;

/// A table with the fields Name (wide text), Qty (integer) and Price (floating point).
inline TTestTableOwned MakeTable() {
    TTestTableOwned table(new TTestTable());
    table->FieldDefs().Add(u"Name", ftWideString, 20);
    table->FieldDefs().Add(u"Qty", ftInteger);
    table->FieldDefs().Add(u"Price", ftFloat);
    return table;
}

/// Appends rows of (Name, Qty) to an open table, Price left null.
inline void AddRows(TDataSet& table, std::initializer_list<std::pair<const char16_t*, int>> rows) {
    for (auto [name, qty] : rows) {
        TLumVariant values[] = {TLumVariant(name), TLumVariant(qty)};
        table.AppendRecord(values);
    }
}

/// The Name of every row from the first to the last, walked with First and Next; a null name
/// shows as "-".
inline std::u16string Names(TDataSet& table) {
    std::u16string names;
    table.First();
    while (!table.Eof()) {
        TField* name = table.FieldByName(u"Name");
        names += name->IsNull() ? u"-" : name->AsWideString();
        names += u' ';
        table.Next();
    }
    if (!names.empty()) {
        names.pop_back();
    }
    return names;
}

/// The Name of the active row.
inline std::u16string Current(TDataSet& table) {
    return table.FieldByName(u"Name")->AsWideString();
}
