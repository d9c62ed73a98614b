#include "stop_on_signal.h"

#include "common/stop_signals.h"
#include "frm_save.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

namespace exporting {

void WatchStopSignals(QObject* parent)
{
    const int fd = common::StopSignalDescriptor();
    if (fd < 0)
        return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        common::DrainStopSignals();
        StopRunsForSignal(common::StopSignalReceived());
    });
}

void StopRunsForSignal(int signal)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* run = qobject_cast<frmSave*>(window))
            run->CmdStop_Click();
    QCoreApplication::exit(128 + signal);
}

} // namespace exporting
