// What every item writer of the progress window does: make the item in a default folder of the
// run's store, assign its properties and save it, each step under the skip rule (a failing step
// is skipped and the next one runs). A saved item is noted with its folder for the run's
// report and read-back; an item that could not be made or saved is counted as not written.
#pragma once

#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/ui_seams.h"
#include "export/frm_save.h"

#include <QString>

namespace exporting {

// The new item of that kind in a default folder of the store; throws AutomationError.
inline std::shared_ptr<automation::RDOMail> NewItem(
    frmSave& w, const QString& storeID, std::int16_t folder, automation::OlItemType kind)
{
    if (!w.RdoSession)
        throw automation::AutomationError("frmSave", "RdoSession", "no session");
    return w.RdoSession->GetStoreFromID(storeID.toStdString())->GetDefaultFolder(folder)->Items()->Add(kind);
}

class ItemWriter {
public:
    explicit ItemWriter(frmSave& window)
        : w_(window)
    {
        r_.onErrorSkip();
    }

    // CurrentItem = the new item of that kind in the store's default folder.
    void create(const QString& storeID, std::int16_t folder, automation::OlItemType kind)
    {
        folder_ = frmSave::DefaultFolderPath(folder);
        r_.step([&] { w_.CurrentItem = NewItem(w_, storeID, folder, kind); });
    }
    // The PST folder of an item made by the caller (a path below the top of the store).
    void madeIn(const QString& folderPath) { folder_ = folderPath; }
    void set(const char* property, const automation::Variant& value)
    {
        r_.step([&] { item().Set(property, value); });
    }
    void set(const char* property, const QString& value) { set(property, automation::Variant(value.toStdString())); }
    // Runs one more step of the writer under the same rule.
    template <class F> bool step(F&& statement) { return r_.step(std::forward<F>(statement)); }
    automation::RDOMail& item()
    {
        if (!w_.CurrentItem)
            throw automation::AutomationError("frmSave", "CurrentItem", "no item was created");
        return *w_.CurrentItem;
    }
    // Saves the item; an item that could not be made or saved is counted as not written
    // ("what" names it in the report).
    void save(const QString& what = QStringLiteral("an item"))
    {
        if (!w_.CurrentItem)
            w_.NoteNotWritten(what + QStringLiteral(" could not be made: ") + QString::fromStdString(r_.lastError()));
        else if (!r_.step([&] { item().Save(); }))
            w_.NoteNotWritten(what + QStringLiteral(" could not be saved: ") + QString::fromStdString(r_.lastError()));
        else
            w_.NoteItemSaved(folder_);
        w_.CurrentItem.reset();
    }

private:
    enum class Never { Reached };
    frmSave& w_;
    common::Routine<Never> r_;
    QString folder_;
};

} // namespace exporting
