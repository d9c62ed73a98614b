// An optional capability of a Notes client's database: the values of a few items of every
// document, read without the documents' other items (what a view's column values give in
// Notes). A database object that offers it also derives from this class; callers find it with
// dynamic_cast and walk the documents one by one where it is missing.
#pragma once

#include "variant.h"

#include <functional>
#include <string>
#include <vector>

namespace automation {

class NotesItemValues {
public:
    virtual ~NotesItemValues() = default;
    // Calls row once per document of NotesDatabase::AllDocumentIDs, in that order, with one array
    // per name (empty where the document lacks the item); a document that cannot be read is left
    // out. Rows are handed over one at a time, so a database of any size takes no more memory.
    virtual void EachItemValues(const std::vector<std::string>& itemNames,
        const std::function<void(const std::vector<Variant>&)>& row) const = 0;
};

} // namespace automation
