#pragma once
// Types the data sets and the code that searches them share.

#include "toolkit/persist/LumComponents.h"

/// The data set's locate options: loCaseInsensitive has bit value 1, loPartialKey 2.
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TLumSet<TLocateOption>;
