// A main window offscreen with scripted dialogs and the DXL Notes stand-in.
#pragma once

#include "scripted_ui.h"

#include "automation/automation.h"
#include "common/program_state.h"
#include "dxl_builder.h"
#include "notes/notes_session.h"
#include "shell/frm_main.h"
#include "widgets/folder_tree.h"
#include "widgets/frm_main_controls.h"
#include "widgets/preview_list.h"
#include "widgets/tab_strip.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

class ScanFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        automation::ClearProviders();
        notes::RegisterNotesSession();
        window = std::make_unique<shell::frmMain>();
    }
    void TearDown() override
    {
        window.reset();
        common::Program() = common::ProgramState();
        automation::ClearProviders();
    }

    const widgets::frmMainControls& c() const { return window->controls(); }

    std::string write(const dxl::DatabaseBuilder& db, const char* name = "mail.dxl")
    {
        return db.write(std::filesystem::path(dir.path().toStdString()) / name);
    }

    void scan(const std::string& path)
    {
        // The user goes back to the first tab and starts a scan of the path.
        c().NotesTab->selectTab(1);
        c().txtNotesDatabaseFile->setText(QString::fromStdString(path));
        window->CmdScan_Click();
    }

    QStringList rows(const widgets::PreviewList* list) const
    {
        QStringList out;
        for (int i = 0; i < list->rowCount(); ++i)
            out << list->rowText(i);
        return out;
    }

    QString nodeText(const char* key) const
    {
        auto node = c().ContactsTreeView->node(QString::fromUtf8(key));
        return node ? node->text : QStringLiteral("<none>");
    }

    QTemporaryDir dir;
    testing_support::ScriptedUi ui;
    std::unique_ptr<shell::frmMain> window;
};
