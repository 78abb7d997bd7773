// Rule packages made from fuzz input: four tables with the loader's columns,
// rows of random cells and references that mostly name rows that exist.
#ifndef CHATSIEVE_FUZZ_FUZZPACKAGE_H
#define CHATSIEVE_FUZZ_FUZZPACKAGE_H

#include <fuzzer/FuzzedDataProvider.h>

#include "PackholdWriter.h"

namespace chatsieve::fuzz {

// Strict: every cell present and of its type, every reference naming a row,
// so the package loads unless a matcher refuses its row.
packhold::Package MakePackage(FuzzedDataProvider& in, bool strict);

// Writes the package to Data/Scp/Chatsieve.res under the working directory.
bool WritePackage(const packhold::Package& package);

}  // namespace chatsieve::fuzz

#endif
