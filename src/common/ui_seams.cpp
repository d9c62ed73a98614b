#include "ui_seams.h"

#include "help_viewer.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace common {

namespace {
    QMessageBox::Icon toQt(MsgIcon icon)
    {
        switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }

    MsgResult realMessageBox(const MessageRequest& r)
    {
        QMessageBox box(toQt(r.icon), r.title, r.text, QMessageBox::NoButton, r.owner);
        switch (r.buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Cancel:
            return MsgResult::Cancel;
        default:
            return r.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
        }
    }

    // Our help viewer: shows the help file's first topic; says nothing when there is none.
    bool realShowHelp(QWidget* owner, const QString& helpFile) { return HelpViewer::Open(owner, helpFile); }

    void realWait(int milliseconds) { QThread::msleep(static_cast<unsigned long>(std::max(milliseconds, 0))); }
} // namespace

UiSeams realSeams()
{
    UiSeams s;
    s.messageBox = realMessageBox;
    s.openFile = [](const FileDialogRequest& r) {
        QString start = r.startFolder;
        if (!r.fileName.isEmpty())
            start += QLatin1Char('/') + r.fileName;
        return QFileDialog::getOpenFileName(r.owner, r.title, start, r.filter);
    };
    s.chooseFolder = [](QWidget* owner, const QString& title) {
        return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    };
    s.showHelp = realShowHelp;
    s.wait = realWait;
    s.after = [](int milliseconds, QObject* context, std::function<void()> then) {
        QTimer::singleShot(std::max(milliseconds, 0), context, std::move(then));
    };
    s.doEvents = [] { QApplication::processEvents(); };
    s.now = [] { return QDateTime::currentDateTime(); };
    s.showModal = [](QDialog& window) { window.exec(); };
    return s;
}

UiSeams& seams()
{
    static UiSeams current = realSeams();
    return current;
}

ScopedSeams::ScopedSeams(UiSeams replacement)
    : saved_(seams())
{
    // Seams left unset in the replacement keep the ones in force.
    auto& s = seams();
    auto take = [](auto& current, auto& given) {
        if (given)
            current = std::move(given);
    };
    take(s.messageBox, replacement.messageBox);
    take(s.openFile, replacement.openFile);
    take(s.chooseFolder, replacement.chooseFolder);
    take(s.showHelp, replacement.showHelp);
    take(s.wait, replacement.wait);
    take(s.after, replacement.after);
    take(s.doEvents, replacement.doEvents);
    take(s.now, replacement.now);
    take(s.showModal, replacement.showModal);
}

ScopedSeams::~ScopedSeams() { seams() = std::move(saved_); }

QString WithReason(const QString& message, const QString& reason)
{
    if (reason.isEmpty())
        return message;
    // One line: the reason is shown, never read as more lines of the message.
    QString line = reason;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return message + QStringLiteral("\n\n") + ReasonPrefix + line;
}

QString ReasonOf(const QString& message)
{
    const qsizetype at = message.lastIndexOf(QLatin1Char('\n') + ReasonPrefix);
    if (at < 0)
        return {};
    return message.mid(at + 1 + ReasonPrefix.size()).section(QLatin1Char('\n'), 0, 0);
}

MsgResult MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title, QWidget* owner)
{
    return seams().messageBox(MessageRequest { owner, text, title, icon, buttons });
}

void DoEvents() { seams().doEvents(); }

void Wait(int milliseconds) { seams().wait(milliseconds); }

void After(int milliseconds, QObject* context, std::function<void()> then)
{
    seams().after(milliseconds, context, std::move(then));
}

QDateTime Now() { return seams().now(); }

void ShowModal(QDialog& window) { seams().showModal(window); }

} // namespace common
