#pragma once
// TLumDataSet: a data set over opaque row handles. It shows its rows as an ordered list of
// handles (the record list) with a cursor into it, sorts them by a list of fields and filters
// them by an event; a descendant keeps the rows themselves, behind five operations (load the
// handles, read and write a value, make and delete a row).
//
// Record buffers: a header with the row handle and the bookmark flag, then one variant per
// field in field index order. The record size the data set reports is the one of a 32-bit
// build with 16-byte variants, field count x 16 + 8, so a data set holds at most 4,095 fields;
// the buffers themselves hold this build's own variants. A bookmark is the row handle.
//
// Row handles: a descendant must not give a deleted row's handle to a new row while the data
// set is open, so that a bookmark of a deleted row finds nothing.
//
// Split by topic: rows, buffers, cursor and editing (LumLXDataSet.cpp), sorting, searching
// and filtering (LumLXDataSetSearch.cpp), exception handling (Win and Host).

#include "lib/LumLX/LumLXClasses.h"
#include "toolkit/data/LumDataSet.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A row of a TLumDataSet as its descendant knows it.
using TRowHandle = void*;

class TLumDataSet : public TDataSet {
  public:
    explicit TLumDataSet(TLumComponent* owner);
    ~TLumDataSet() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Field names separated by ";"; empty: unsorted. Rows sort by the fields' values compared
    /// without regard to case. Setting another text (compared with regard to case) refreshes an
    /// open data set, posting or cancelling changes first; a name that names no field raises
    /// EDatabaseError and clears the text.
    const std::u16string& Sort() const { return sort_; }
    void SetSort(const std::u16string& sort);

    /// Clamps the cursor to the rows (0 when there are none). Raises EDatabaseError "Internal
    /// Error: SnapRecordPosition() required a record count." when rows are required and the
    /// list is empty.
    void SnapRecordPosition(bool requireRows);
    /// Bisection over the record list for the key of the sort fields (a variant array for
    /// several), comparing under the options. Answers whether a row's key equals it; index is
    /// where it is or would go (with findFirst the first row whose key is not below it).
    /// Raises EAssertionFailed "QuickFind requires Sort fields." without Sort.
    bool QuickFind(const TLumVariant& key, int& index, TLocateOptions options, bool findFirst);
    /// Loads, filters and sorts the record list again; the cursor stays on its row when the row
    /// is still listed.
    void RebuildRecordList();
    /// Filtered, with a handler or a filter text.
    bool FilterActive() const;
    /// Whether the OnFilterRecord handler accepts the active row (a handler that leaves the
    /// answer alone rejects it). Without a handler a filter text raises ELumGeneralError
    /// "TLumDataSet.Filter property is not supported yet.".
    bool FilterRecord();
    /// The fields' values in the active buffer: the value for one field, a variant array
    /// from 0 for several.
    TLumVariant GetActiveKeyValues(const std::vector<TField*>& fields);
    /// The same of a row.
    TLumVariant GetRecordKeyValues(TRowHandle row, const std::vector<TField*>& fields);

    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    bool Locate(std::u16string_view keyFields, const TLumVariant& keyValues,
                TLocateOptions options) override;
    TLumVariant Lookup(std::u16string_view keyFields, const TLumVariant& keyValues,
                       std::u16string_view resultFields) override;
    void SetFiltered(bool filtered) override;
    void SetFilterText(const std::u16string& text) override;
    void SetFilterOptions(TFilterOptions options) override;
    void SetOnFilterRecord(const TFilterRecordEvent& handler) override;

    using TDataSet::GetFieldData;
    using TDataSet::SetFieldData;
    /// The active buffer's value of the field, in the field's native buffer when one is given;
    /// false for Null and Empty. Raises ELumInternalError "Internal Error: ActiveBuffer not
    /// assigned." without buffers, EDatabaseError for a field type without native buffer.
    bool GetFieldData(TField* field, void* buffer) override;
    bool GetFieldData(int fieldNo, void* buffer) override;
    bool GetFieldData(TField* field, void* buffer, bool nativeFormat) override;
    /// Stores the native buffer's value (Null without buffer) and tells the links.
    void SetFieldData(TField* field, const void* buffer) override;
    void SetFieldData(TField* field, const void* buffer, bool nativeFormat) override;

  protected:
    // ---- What a descendant supplies
    /// Fills the list with the handles of all rows in storage order; `current` is the row at
    /// the cursor (or null).
    virtual void LoadRecordList(TLumList& list, TRowHandle current) = 0;
    virtual void GetRecordValue(TRowHandle row, int fieldIndex, TLumVariant& value) = 0;
    virtual void SetRecordValue(TRowHandle row, int fieldIndex, const TLumVariant& value) = 0;
    virtual void DeleteRecordData(TRowHandle row) = 0;
    /// A new row with every value Empty.
    virtual TRowHandle NewRecordData() = 0;
    /// The index of the first row whose key fields hold the key values, or -1 (also for any
    /// error). On the sort fields by bisection (where case counts, then among the rows equal
    /// without regard to case), else by a scan; several key fields each under the options.
    /// Leaves edit mode first.
    virtual int LocateRecord(std::u16string_view keyFields, const TLumVariant& keyValues,
                             TLocateOptions options);
    /// Keeps the rows FilterRecord accepts (when the filter is active), walking the data set's
    /// own rows.
    virtual void FilterRecordList(TLumList& list);
    /// Orders the list by Sort (nothing when it is empty).
    virtual void SortRecordList(TLumList& list);
    /// The fields exist and are not yet bound.
    virtual void AfterCreateFields() {}

    /// The list of rows as shown, in order.
    const TLumList& RecordList() const { return recordList_; }
    /// The position in the record list: -1 before the first row, the count after the last.
    int Cursor() const { return cursor_; }

    // ---- The framework's operations
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& buffer) override;
    std::uint16_t GetRecordSize() override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    /// Raises EDatabaseError "Internal Error: TLumDataSet.InternalGetRecord has no current
    /// record." for the current row outside the rows when doCheck is set.
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void GetBookmarkData(TRecordBuffer buffer, void* data) override;
    void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    /// Raises EDatabaseError "Bookmark not found." when the row is not listed.
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalInsert() override;
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalRefresh() override;
    /// Raises EAssertionFailed when the fields number more than 4,095 or none.
    void InternalOpen() override;
    void InternalClose() override;
    void InternalHandleException() override;
    bool IsCursorOpen() override;
    int GetRecordCount() override;
    int GetRecordNumber() override;
    void SetRecordNumber(int recNo) override;
    TFieldClass GetFieldClass(TFieldType type) override;

  private:
    /// One field's value of a sort key, ready to be compared many times: a text is taken out
    /// once, so that comparing two texts converts nothing.
    struct TSortKey {
        TLumVariant Value;
        std::u16string Text;
        bool IsText = false;

        explicit TSortKey(TLumVariant value);
    };
    /// A searched key split into the values of the sort fields. A key of another shape than
    /// the fields' (a scalar for several fields, an array of other bounds) is compared whole,
    /// so that CompareVariants raises as it does for such a pair.
    struct TPreparedKey {
        std::vector<TSortKey> Parts;
        TLumVariant Whole;
        bool ByParts = true;
    };

    /// CompareVariants of the two values under the options.
    static int CompareKeys(const TSortKey& a, const TSortKey& b, TLocateOptions options);
    static TPreparedKey PrepareKey(const TLumVariant& key, std::size_t fieldCount);
    int CompareRowWithKey(int index, const std::vector<TField*>& fields, const TPreparedKey& key,
                          TLocateOptions options);
    /// For the row at the cursor, being posted in edit with the sort on: whether it stays where
    /// it is, as the row before it sorts below its new key and the row after does not; its
    /// kept sort key is then updated. False whenever the kept keys cannot tell.
    bool KeepsSortPlace(TRowHandle row) noexcept;
    bool RowMatches(TRowHandle row, const std::vector<TField*>& fields,
                    const TLumVariant& keyValues, TLocateOptions options);
    /// The active buffer's variants, after a check of the field's index.
    TLumVariant& ActiveValue(const TField& field);

    // The sort keys of the listed rows, kept in list order from the last sort on (posts and
    // deletes keep them in step), so that a search compares them instead of reading each row
    // it probes. Checked against the list row by row as they are used.
    void ForgetSortKeys() noexcept;
    void SortKeyRemoved(int index) noexcept;
    void SortKeyInserted(int index, TRowHandle row, const TLumVariant& keyValues) noexcept;

    TLumList recordList_;
    std::int32_t cursor_ = -1;
    std::u16string sort_;
    /// The fields a record buffer holds variants for, fixed while the data set is open.
    int bufferFields_ = 0;
    bool keysValid_ = false;
    std::vector<int> keyFields_;
    std::vector<TRowHandle> keyRows_;
    std::vector<TSortKey> keys_;
};
