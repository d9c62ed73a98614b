// Shared set-up of the Notes stand-in tests: a scratch folder and helpers to open databases
// through the automation interface.
#pragma once

#include "automation/notes.h"
#include "dxl_builder.h"
#include "notes/notes_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace notes_test {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::DateTime;
using automation::Variant;
using automation::VariantArray;

class NotesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path()
            / ("ferrymark-notes-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        session_ = notes::CreateNotesSession();
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    std::shared_ptr<automation::NotesDatabase> open(const dxl::DatabaseBuilder& db, const std::string& name = "db.dxl")
    {
        return session_->GetDatabase("", db.write(path(name)));
    }
    std::shared_ptr<automation::NotesDatabase> open(const std::string& file) { return session_->GetDatabase("", file); }

    std::string writeFile(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
        return path(name).string();
    }

    static std::string readFile(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    // Note IDs of a view, walked as the program walks it.
    static std::vector<std::string> walk(const automation::NotesView& view)
    {
        std::vector<std::string> ids;
        for (auto doc = view.GetFirstDocument(); doc; doc = view.GetNextDocument(*doc))
            ids.push_back(doc->NoteID());
        return ids;
    }

    // The error message of what throws AutomationError; fails the test when nothing is thrown.
    template <class F> static std::string errorOf(F&& f)
    {
        try {
            f();
        } catch (const AutomationError& e) {
            return e.what();
        }
        ADD_FAILURE() << "no AutomationError was thrown";
        return {};
    }

    fs::path dir_;
    std::shared_ptr<automation::NotesSession> session_;
};

} // namespace notes_test
