// The recovered recordings of a partition as catalogue entries: what the
// recovery scan of the file-system library finds (deleted recordings and
// fragments of overwritten ones), named and keyed like the recordings of the
// catalogue, so that they are played, exported and cut by their paths the
// same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"

// The recovered items of a mounted partition that the catalogue lists:
// video recordings of stream type recordFormat, in key order. Holds the
// process-wide critical section while it calls the library.
std::vector<CatalogueEntry> ListRecoveredRecords(int disk, int part, int recordFormat);

// "deleted", "fragment", or "live" for anything else (CatalogueEntry::state).
const char* RecordStateName(int state);
