#include "toolkit/base/LumVarTypes.h"

#include "rstr/LumVariants.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

std::u16string VarTypeAsText(TVarType type) {
    if (type & varArray) {
        return u"Array " + VarTypeAsText(static_cast<TVarType>(type & ~varArray));
    }
    switch (type) {
    case varEmpty:
        return u"Empty";
    case varNull:
        return u"Null";
    case varSmallint:
        return u"Smallint";
    case varInteger:
        return u"Integer";
    case varSingle:
        return u"Single";
    case varDouble:
        return u"Double";
    case varCurrency:
        return u"Currency";
    case varDate:
        return u"Date";
    case varOleStr:
        return u"OleStr";
    case varDispatch:
        return u"Dispatch";
    case varBoolean:
        return u"Boolean";
    case varVariant:
        return u"Variant";
    case varUnknown:
        return u"Unknown";
    case varDecimal:
        return u"Decimal";
    case varShortInt:
        return u"ShortInt";
    case varByte:
        return u"Byte";
    case varWord:
        return u"Word";
    case varLongWord:
        return u"LongWord";
    case varInt64:
        return u"Int64";
    case varUInt64:
        return u"UInt64";
    case varString:
        return u"String";
    case varArray:
        break;
    }
    return Format(u"$%.4x", static_cast<int>(type));
}

void RaiseCouldNotConvert(TVarType from, TVarType to) {
    throw EConvertError(Format(LoadResString(LumVariants::SVarTypeCouldNotConvert),
                               VarTypeAsText(from), VarTypeAsText(to)));
}

void RaiseOutOfRange(std::u16string_view valueText, TVarType to) {
    throw EConvertError(
        Format(LoadResString(LumVariants::SVarOverflow), valueText, VarTypeAsText(to)));
}
