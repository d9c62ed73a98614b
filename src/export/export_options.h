// The Export tab: the PST formats offered by the installed Outlook, and the checks before the
// progress window opens.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace widgets {
struct frmMainControls;
}

namespace exporting {

// The integer value of the first two characters of an Outlook version text ("11.0.8217" is
// 11, "9.0.3821" is 9); 0 when they hold no number.
int MajorVersion(const QString& versionText);

class frmSave;

class ExportOptions {
public:
    // Called with each new progress window before it is shown: plugs in the item writers.
    std::function<void(frmSave&)> prepareRun;

    ExportOptions(QWidget* owner, const widgets::frmMainControls& controls);

    void NotesTab_Click(std::int16_t tabNumber);
    void CmdStartConversion_Click();
    void CmdBrowseNamesFile_Click();
    void CmdBrowseDirectoryFile_Click();

private:
    QWidget* owner_;
    const widgets::frmMainControls& c_;
};

} // namespace exporting
