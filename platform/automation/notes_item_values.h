// An optional capability of a Notes client's database: the values of a few items of every
// document, read without the documents' other items (what a view's column values give in
// Notes). A database object that offers it also derives from this class; callers find it with
// dynamic_cast and walk the documents one by one where it is missing.
#pragma once

#include "variant.h"

#include <string>
#include <vector>

namespace automation {

class NotesItemValues {
public:
    virtual ~NotesItemValues() = default;
    // One row per document of NotesDatabase::AllDocumentIDs, one array per name (empty where the
    // document lacks the item); a document that cannot be read is left out.
    virtual std::vector<std::vector<Variant>> ItemValuesOfAll(const std::vector<std::string>& itemNames) const = 0;
};

} // namespace automation
