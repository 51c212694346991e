// Host build: there is no resource module, so every string is the one the module declared.
#include "toolkit/LumResStrings.h"

std::u16string LoadResString(const TResStringRec& rec) { return std::u16string(rec.Text); }
