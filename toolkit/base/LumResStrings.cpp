#include "toolkit/base/LumResStrings.h"

#include <utility>

namespace {

TResStringLoader installedLoader = nullptr;

} // namespace

TResStringLoader SetResStringLoader(TResStringLoader loader) {
    return std::exchange(installedLoader, loader);
}

std::u16string LoadResString(const TResStringRec& rec) {
    return installedLoader ? installedLoader(rec) : std::u16string(rec.Text);
}
