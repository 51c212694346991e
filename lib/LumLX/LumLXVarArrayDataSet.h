#pragma once
// TLumVarArrayDataSet: a TLumDataSet whose rows are arrays of variants in memory, one variant
// per field, kept in creation order. A descendant supplies the field definitions
// (InternalInitFieldDefs). The rows live while the data set is open: closing discards them.

#include "lib/LumLX/LumLXClasses.h"
#include "lib/LumLX/LumLXDataSet.h"

#include <memory>
#include <vector>

class TLumVarArrayDataSet : public TLumDataSet {
  public:
    explicit TLumVarArrayDataSet(TLumComponent* owner);
    /// Frees the rows left and the storage.
    ~TLumVarArrayDataSet() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Frees every row and empties the storage.
    void ClearVarArrays();

  protected:
    /// Closes, then discards the rows.
    void InternalClose() override;
    /// All rows in creation order.
    void LoadRecordList(TLumList& list, TRowHandle current) override;
    /// Raises EListError "List index out of bounds (%d)" for an index the row has no value for.
    void GetRecordValue(TRowHandle row, int fieldIndex, TLumVariant& value) override;
    void SetRecordValue(TRowHandle row, int fieldIndex, const TLumVariant& value) override;
    /// Releases the row's values and takes it out of the storage.
    void DeleteRecordData(TRowHandle row) override;
    /// A row of FieldCount() Empty values at the end of the storage.
    TRowHandle NewRecordData() override;

  private:
    TLumVariant& ValueAt(TRowHandle row, int fieldIndex);

    TVarArrayList storage_;
    /// Deleted rows, emptied of their values, kept until the rows are cleared: no new row gets
    /// the handle of a deleted one while a bookmark may still hold it.
    std::vector<std::unique_ptr<TVarArrayRow>> retired_;
};
