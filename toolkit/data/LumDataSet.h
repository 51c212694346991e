#pragma once
// TDataSet: the framework every data set stands on. It keeps the state (inactive, browse,
// edit, insert), a ring of record buffers around the active row, the fields, bookmarks and
// the events, and implements navigation, editing, refreshing and filtering in terms of the
// virtual operations a concrete data set supplies for its storage.
//
// Record buffers: the data set allocates its own buffers (AllocRecordBuffer) and the framework
// only moves them around. BufferCount of them show rows (as many as the linked controls want,
// at least one); one more is a spare the framework reads into before it knows where a row
// goes. The active buffer is the row fields read and write.
//
// The cursor: the data set's own position in its storage, which may lag behind the buffers
// (the framework reads ahead to fill them). UpdateCursorPos brings the cursor back to the
// active row; every operation on the current row (edit, post, delete, cancel) runs with the
// cursor there.
//
// The split by topic: lifecycle, fields, events and links (LumDataSet.cpp), buffers,
// navigation and bookmarks (LumDataSetNavigation.cpp), editing (LumDataSetEditing.cpp).

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumVariants.h"
#include "toolkit/data/LumDataSetTypes.h"
#include "toolkit/data/LumFields.h"
#include "toolkit/persist/LumComponents.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TDataLink;

enum TDataSetState {
    dsInactive,
    /// InternalOpen runs: fields exist, the data set is not yet open to callers.
    dsOpening,
    dsBrowse,
    dsEdit,
    dsInsert,
    /// The data set walks its rows to filter them: no scroll events, no data events.
    dsFilter,
};

/// Which row GetRecord reads: the one at the cursor, the next one or the prior one.
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

/// What a record buffer holds: a row, the place before the first or after the last row, or a
/// row being inserted.
enum TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

/// What the data set tells its links. deFieldChange carries the field as its info, and
/// deDataSetScroll the number of rows the buffers moved by (forward: positive).
enum TDataEvent {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
};

enum TResyncModeFlag {
    /// The row at the cursor must be there; EDatabaseError otherwise.
    rmExact,
    /// The row at the cursor goes to the middle of the buffers instead of the active place.
    rmCenter,
};
using TResyncMode = TLumSet<TResyncModeFlag>;

/// What an error event decides: raise the error, end silently, or try the operation again.
enum TDataAction { daFail, daAbort, daRetry };

enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TLumSet<TFilterOption>;

/// A record buffer, laid out as the data set that allocated it decides.
using TRecordBuffer = std::uint8_t*;
/// A bookmark: BookmarkSize bytes that the data set can find its row by; empty for none.
using TBookmark = std::vector<std::uint8_t>;

using TDataSetNotifyEvent = TLumEvent<void(TDataSet* dataSet)>;
using TDataSetErrorEvent =
    TLumEvent<void(TDataSet* dataSet, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = TLumEvent<void(TDataSet* dataSet, bool& accept)>;

/// Raises EDatabaseError with the message.
[[noreturn]] void DatabaseError(std::u16string message);

/// What connects a control to a data set: the number of buffers the control shows, and the
/// data events it is told while the data set's controls are enabled.
class TDataLink {
  public:
    explicit TDataLink(int bufferCount = 1) : bufferCount_(bufferCount < 1 ? 1 : bufferCount) {}
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;
    /// Leaves its data set.
    virtual ~TDataLink();

    TDataSet* DataSet() const { return dataSet_; }
    /// Joins a data set (or none), leaving the one before.
    void SetDataSet(TDataSet* dataSet);
    int BufferCount() const { return bufferCount_; }
    /// At least 1. The data set's buffers follow at once while it browses, otherwise when it
    /// browses again.
    void SetBufferCount(int count);

  protected:
    friend class TDataSet;
    virtual void DataEvent(TDataEvent event, std::intptr_t info) = 0;

  private:
    TDataSet* dataSet_ = nullptr;
    int bufferCount_;
};

class TDataSet : public TLumComponent {
  public:
    explicit TDataSet(TLumComponent* owner);
    /// Leaves the links and the persistent fields without data set. Free a data set with
    /// Free (or its owner): it closes while it is still whole.
    ~TDataSet() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    // ---- Opening and closing

    /// Open: not inactive and not opening.
    bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
    /// Opening: BeforeOpen, InternalOpen (fields made or bound), the buffers, browse state at
    /// the first row, AfterOpen, AfterScroll when there is a row. When opening fails, what was
    /// opened is closed again and the data set stays inactive. Closing: BeforeClose, the
    /// buffers freed, InternalClose, AfterClose; changes being edited are dropped. While the
    /// component is being loaded the value is kept and applied by Loaded.
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    /// A field changed since the row was put into edit or insert mode.
    bool Modified() const { return modified_; }
    void Loaded() override;

    // ---- Fields

    TFieldDefs& FieldDefs() { return fieldDefs_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    /// Raises EListError outside 0 to FieldCount() - 1.
    TField* Fields(int index) const;
    /// The field of that name (without regard to case), or null.
    TField* FindField(std::u16string_view name) const;
    /// FindField; raises EDatabaseError "No field named '%s'" when there is none.
    TField* FieldByName(std::u16string_view name) const;
    /// The field whose FieldNo is fieldNo, or null.
    TField* FieldByNumber(int fieldNo) const;
    /// The fields a list of names separated by ";" names, in its order (blanks around a name
    /// do not count). Raises as FieldByName.
    std::vector<TField*> GetFieldList(std::u16string_view names) const;
    /// The fields were made from the definitions at the last open (no persistent fields).
    bool DefaultFields() const { return defaultFields_; }
    /// The size of a record buffer as the data set counts it.
    std::uint16_t RecordSize() { return GetRecordSize(); }

    // ---- Navigation

    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    /// Moves the active row by distance rows (forward when positive) and answers how many it
    /// moved; stops at either end, setting Eof or Bof.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    /// No row in the buffers.
    bool IsEmpty() const { return recordCount_ == 0; }
    /// The active row's number, from 1; what the data set answers when it cannot tell.
    int RecNo();
    /// Posts or cancels changes, then moves to the row of that number (scroll events around).
    void SetRecNo(int recNo);
    /// The number of rows the data set holds now; what it answers when it cannot tell.
    int RecordCount() { return GetRecordCount(); }
    /// Reads the buffers again around the row at the cursor: the active buffer keeps its place
    /// (rmCenter: the middle of the buffers). Without rmExact a row next to the cursor serves
    /// when none is at it, and with no rows the buffers are emptied.
    void Resync(TResyncMode mode);
    /// Posts or cancels changes, lets the data set read its storage again, then resyncs.
    void Refresh();

    // ---- Bookmarks

    /// The active row's bookmark; empty when there is no row.
    TBookmark GetBookmark();
    /// Goes to the row (centred in the buffers), with scroll events. An empty bookmark does
    /// nothing; one of another size raises EDatabaseError "The bookmark does not fit this data
    /// set".
    void GotoBookmark(const TBookmark& bookmark);
    /// Whether the data set can find the bookmark's row now. The cursor stays.
    bool BookmarkValid(const TBookmark& bookmark);
    /// -1, 0 or 1 as a's row comes before, at or after b's.
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) = 0;
    int BookmarkSize() const { return bookmarkSize_; }

    // ---- Editing

    /// Puts the active row into edit mode (OnEditError may retry or abort a failure).
    void Edit();
    /// A new row before the active one, in insert mode; OnNewRecord may fill it.
    void Insert();
    /// A new row after the last one, in insert mode.
    void Append();
    /// Stores the row being edited or inserted (required fields checked; OnPostError may retry
    /// or abort a failure) and browses again.
    void Post();
    /// Drops the changes of the row being edited or inserted and browses again.
    void Cancel();
    /// Deletes the active row (OnDeleteError may retry or abort a failure); while inserting,
    /// cancels the insert.
    void Delete();
    /// Leaves edit or insert mode: posts a modified row, cancels an unmodified one. Raises
    /// EDatabaseError when the data set is closed.
    void CheckBrowseMode();
    /// Lets the links write what they hold into the fields. Raises EDatabaseError "The data
    /// set is not editing a row" when it is not.
    void UpdateRecord();
    /// Insert and Append with the fields set from the values in field order (Null and Empty
    /// leave a field null; values beyond the fields are not used), stored at once. A value a
    /// field cannot take raises and leaves the row in insert mode, as a failed Post does.
    void InsertRecord(std::span<const TLumVariant> values);
    void AppendRecord(std::span<const TLumVariant> values);

    // ---- Searching

    /// Moves to the first row whose key fields (names separated by ";") hold the key values (a
    /// variant array for several fields); false, without moving, when there is none.
    virtual bool Locate(std::u16string_view keyFields, const TLumVariant& keyValues,
                        TLocateOptions options) = 0;
    /// The result fields' values of the first row whose key fields hold the key values, or
    /// Null. The active row stays.
    virtual TLumVariant Lookup(std::u16string_view keyFields, const TLumVariant& keyValues,
                               std::u16string_view resultFields) = 0;

    // ---- Filtering

    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool filtered) { filtered_ = filtered; }
    /// The filter text (not every data set supports one).
    const std::u16string& Filter() const { return filterText_; }
    virtual void SetFilterText(const std::u16string& text) { filterText_ = text; }
    TFilterOptions FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(const TFilterRecordEvent& handler) { onFilterRecord_ = handler; }

    // ---- Links and controls

    /// Stops data events to the links until the matching EnableControls; calls nest.
    void DisableControls();
    /// At the outermost call, tells the links that the state changed (when it did) and that
    /// the data set changed (when it is open now and was at DisableControls).
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    /// Record buffers that show rows.
    int BufferCount() const { return bufferCount_; }
    /// The active row's buffer, from 0.
    int ActiveRecord() const { return activeRecord_; }
    /// Buffers that hold rows now.
    int BufferedRecords() const { return recordCount_; }

    /// For code the system calls back (a control's handler) that caught an exception of the
    /// data set: hands it to the data set's exception handling.
    void HandleException() { InternalHandleException(); }

    // ---- Field data (what fields call)

    /// Fills the field's native buffer (may be null) from the active row; false when null.
    virtual bool GetFieldData(TField* field, void* buffer) = 0;
    /// By field number (FieldNo).
    virtual bool GetFieldData(int fieldNo, void* buffer) = 0;
    /// With the buffer in the field's native format or in the data set's own.
    virtual bool GetFieldData(TField* field, void* buffer, bool nativeFormat) = 0;
    /// Stores the field's native buffer (null: null) into the active row.
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    virtual void SetFieldData(TField* field, const void* buffer, bool nativeFormat) = 0;

    // ---- Events

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    /// After Insert or Append made the new row; its values do not count as modifications.
    TDataSetNotifyEvent OnNewRecord;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;

  protected:
    // ---- Record buffers
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    /// Frees the buffer and sets it to null.
    virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
    virtual std::uint16_t GetRecordSize() = 0;
    /// Empties a buffer for a new row.
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    /// Reads the row at the cursor, after it or before it into the buffer, moving the cursor.
    /// With doCheck, a failure to read the current row raises.
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;

    // ---- Cursor
    /// Moves the cursor to the bookmark's row (BookmarkSize bytes).
    virtual void InternalGotoBookmark(const void* bookmark) = 0;
    /// Moves the cursor to the row a buffer holds.
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    /// Before the first row, after the last row.
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;

    // ---- Changes
    /// The new row's buffer is active and counted; nothing by default.
    virtual void InternalInsert() {}
    /// Stores the buffer as a new row (after the last one with append).
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
    virtual void InternalDelete() = 0;
    /// Checks the required fields; data sets store the active buffer after calling it.
    virtual void InternalPost();
    virtual void InternalEdit() {}
    virtual void InternalCancel() {}
    /// Reads the storage again; nothing by default.
    virtual void InternalRefresh() {}

    // ---- Lifecycle
    /// Defines the fields (InternalInitFieldDefs), makes or binds them and opens the cursor.
    virtual void InternalOpen() = 0;
    /// Closes the cursor; called also when opening failed half-way, while the failure is on
    /// its way, so it must not raise.
    virtual void InternalClose() = 0;
    /// Fills FieldDefs.
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalHandleException() = 0;
    virtual bool IsCursorOpen() = 0;

    // ---- Counting and numbering
    /// -1: not known.
    virtual int GetRecordCount() { return -1; }
    /// The active row's number from 1; -1: not known.
    virtual int GetRecordNumber() { return -1; }
    /// Moves the cursor to the row of that number and resyncs; nothing by default.
    virtual void SetRecordNumber(int) {}

    /// The field class for a data type; null when the framework has none.
    virtual TFieldClass GetFieldClass(TFieldType type);

    // ---- For the data sets
    /// The row fields read and write: the active buffer (null while there are no buffers).
    TRecordBuffer ActiveBuffer() const;
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    /// Makes a field of every definition (DefaultFields).
    void CreateFields();
    /// Frees the fields when CreateFields made them (DefaultFields); persistent fields stay.
    void DestroyFields();
    /// Gives every field the number of its definition. Raises EDatabaseError "No field named
    /// '%s'" for a field without definition and "Field '%s' does not have the type of its
    /// definition" for one of another type.
    void BindFields();
    /// The cursor may no longer be at the row of any buffer.
    void CursorPosChanged() { currentRecord_ = -1; }
    /// Moves the cursor to the active row (when there is one).
    void UpdateCursorPos();
    /// Tells the links (unless their controls are disabled or the data set is filtering); a
    /// field change marks the row modified.
    void DataEvent(TDataEvent event, std::intptr_t info = 0);
    /// Raises EDatabaseError "The data set is closed" when it is.
    void CheckActive() const;
    /// InternalInitRecord, then the buffer is a row being inserted.
    void InitRecord(TRecordBuffer buffer);

    // ---- The events' hooks: each runs its event; descendants add their own steps.
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoBeforeInsert();
    virtual void DoAfterInsert();
    virtual void DoBeforeEdit();
    virtual void DoAfterEdit();
    virtual void DoBeforePost();
    virtual void DoAfterPost();
    virtual void DoBeforeCancel();
    virtual void DoAfterCancel();
    virtual void DoBeforeDelete();
    virtual void DoAfterDelete();
    virtual void DoOnNewRecord();
    /// The scroll events, which do not run while the data set walks its rows to filter them.
    void DoBeforeScroll();
    void DoAfterScroll();

    /// Sets the state for the length of a scope without telling anyone (the filter walk).
    class TTempState {
      public:
        TTempState(TDataSet& dataSet, TDataSetState state);
        TTempState(const TTempState&) = delete;
        TTempState& operator=(const TTempState&) = delete;
        ~TTempState();

      private:
        TDataSet& dataSet_;
        TDataSetState saved_;
    };

    /// Frees the buffers, then InternalClose: the data set is closed without events.
    void CloseCursor();
    /// Closes quietly while the object is still whole.
    void BeforeDestruction() override;

  private:
    friend class TField;
    friend class TFieldDef;
    friend class TDataLink;

    void OpenCursor();
    void SetState(TDataSetState state);
    void Fire(const TDataSetNotifyEvent& event);
    /// Runs the operation at the active row; a database error goes to the error event, which
    /// may have it raised, end it silently or run the operation again.
    template <class Operation>
    void CheckOperation(Operation operation, const TDataSetErrorEvent& errorEvent);
    void AddField(TField* field);
    void RemoveField(TField* field);
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    int WantedBufferCount() const;
    void UpdateBufferCount();
    void ResizeBuffers(int count);
    /// The buffers exist once something reads rows, also while InternalOpen filters them.
    void EnsureBuffers();
    void FreeBuffers();
    void ClearBuffers();
    void ActivateBuffers();
    void MoveBuffer(int from, int to);
    void SetCurrentRecord(int index);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    /// Reads the buffers again after a failure, when another error is already on its way.
    void ResyncAfterFailure() noexcept;
    void BeginInsertAppend();
    void EndInsertAppend();
    void AddRecord(std::span<const TLumVariant> values, bool append);
    void CheckRequiredFields();

    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool streamedActive_ = false;
    bool defaultFields_ = false;
    TFieldDefs fieldDefs_;
    std::vector<TField*> fields_;
    std::vector<TDataLink*> links_;

    // The ring: buffers_ holds bufferCount_ + 1 buffers; the first recordCount_ show rows,
    // buffers_[activeRecord_] is the active row, buffers_[currentRecord_] the row at the
    // cursor (-1: unknown).
    std::vector<TRecordBuffer> buffers_;
    int bufferCount_ = 1;
    bool bufferCountPending_ = false;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    bool bof_ = false;
    bool eof_ = false;
    int bookmarkSize_ = 0;

    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;

    bool filtered_ = false;
    std::u16string filterText_;
    TFilterOptions filterOptions_;
    TFilterRecordEvent onFilterRecord_;
};
