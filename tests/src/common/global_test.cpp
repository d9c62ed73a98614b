#include "scripted_ui.h"

#include "automation/notes.h"
#include "common/global.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

using common::FileNameFromPath;
using common::QuickSortStrings;
using common::RemoveDuplicateStrings;

namespace {
std::vector<QString> texts(std::initializer_list<const char*> items)
{
    std::vector<QString> out;
    for (const char* s : items)
        out.emplace_back(QString::fromUtf8(s));
    return out;
}

QString randomName(std::mt19937& rng)
{
    static const QString alphabet = QStringLiteral("aAbBzZ\\ 09(é");
    std::uniform_int_distribution<int> length(0, 6);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(alphabet.size()) - 1);
    QString s;
    for (int n = length(rng); n > 0; --n)
        s += alphabet[pick(rng)];
    return s;
}
} // namespace

TEST(QuickSortStrings, OrdersByCharacterCodeWithinTheGivenPositions)
{
    auto list = texts({ "alpha", "Zeta", "A\\B", "A", "b", "B" });
    QuickSortStrings(list, 0, 5);
    EXPECT_EQ(list, texts({ "A", "A\\B", "B", "Zeta", "alpha", "b" }));

    auto single = texts({ "z", "a" });
    QuickSortStrings(single, 1, 1);
    EXPECT_EQ(single, texts({ "z", "a" }));

    auto two = texts({ "b", "a" });
    QuickSortStrings(two, 0, 1);
    EXPECT_EQ(two, texts({ "a", "b" }));

    // Only the given positions move: slots past the last one stay as they are.
    auto partial = texts({ "c", "b", "a", "", "" });
    QuickSortStrings(partial, 0, 2);
    EXPECT_EQ(partial, texts({ "a", "b", "c", "", "" }));
}

TEST(QuickSortStrings, AgreesWithAReferenceSortOnRandomLists)
{
    std::mt19937 rng(20261206);
    for (int round = 0; round < 300; ++round) {
        std::vector<QString> list(std::uniform_int_distribution<std::size_t>(1, 400)(rng));
        for (auto& s : list)
            s = randomName(rng);
        auto expected = list;
        std::sort(expected.begin(), expected.end(),
            [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
        QuickSortStrings(list, 0, static_cast<std::int16_t>(list.size() - 1));
        ASSERT_EQ(list, expected) << "round " << round;
    }
    // Already sorted and reversed inputs of the largest size a folder list can have.
    std::vector<QString> big;
    for (int i = 0; i < 32767; ++i)
        big.push_back(QString::asprintf("%05d", i));
    auto reversed = big;
    std::reverse(reversed.begin(), reversed.end());
    QuickSortStrings(reversed, 0, 32766);
    EXPECT_EQ(reversed, big);
}

TEST(RemoveDuplicateStrings, DropsRepeatsAndEmptySlotsKeepingOrder)
{
    auto a = texts({ "a", "a", "a", "b" });
    RemoveDuplicateStrings(a);
    EXPECT_EQ(a, texts({ "a", "b" }));

    auto b = texts({ "a", "", "b" });
    RemoveDuplicateStrings(b);
    EXPECT_EQ(b, texts({ "a", "b" }));

    auto c = texts({ "", "", "A", "A\\B", "A\\B", "x", "x" });
    RemoveDuplicateStrings(c);
    EXPECT_EQ(c, texts({ "A", "A\\B", "x" }));

    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<QString> list(std::uniform_int_distribution<std::size_t>(1, 200)(rng));
        for (auto& s : list)
            s = randomName(rng).left(2);
        std::sort(list.begin(), list.end());
        auto expected = list;
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        std::erase_if(expected, [](const QString& s) { return s.isEmpty(); });
        RemoveDuplicateStrings(list);
        ASSERT_EQ(list, expected) << "round " << round;
    }
}

TEST(FileNameFromPath, TakesThePartAfterTheLastSeparator)
{
    EXPECT_EQ(FileNameFromPath(QStringLiteral("C:\\Mail\\user.nsf")), QStringLiteral("user.nsf"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("/home/ann/mail/user.dxl")), QStringLiteral("user.dxl"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("user.nsf")), QStringLiteral("user.nsf"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("/home/ann/")), QString());
    EXPECT_EQ(FileNameFromPath(QStringLiteral("/mixed\\dir/x\\y.nsf")), QStringLiteral("y.nsf"));
    EXPECT_EQ(FileNameFromPath(QString()), QString());
}

TEST(SharedRoutines, TempFolderAndFolderPicker)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toUtf8());
    EXPECT_EQ(common::GetTempFolder(), QDir(dir.path()).canonicalPath() + QLatin1Char('/'));
    qputenv("TMPDIR", saved);

    testing_support::ScriptedUi ui;
    EXPECT_EQ(common::BrowseForFolder(nullptr, QStringLiteral("Pick")), QString()); // cancelled
    ui.answerFolder(QStringLiteral("/home/ann/out/"));
    ui.answerFolder(QStringLiteral("/"));
    EXPECT_EQ(common::BrowseForFolder(nullptr, QStringLiteral("Pick")), QStringLiteral("/home/ann/out"));
    EXPECT_EQ(common::BrowseForFolder(nullptr, QStringLiteral("Pick")), QStringLiteral("/"));
    EXPECT_EQ(ui.folderDialogTitles(), QStringList({ "Pick", "Pick", "Pick" }));
}

TEST(CreateNotesSession, ReportsAMissingNotesClientAndLeavesNone)
{
    automation::ClearProviders();
    testing_support::ScriptedUi ui;
    auto session = std::shared_ptr<automation::NotesSession>();
    common::CreateNotesSession(session);
    EXPECT_FALSE(session);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Lotus Notes not INSTALLED or Configured"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Lotus Notes Error"));
    EXPECT_EQ(ui.messages()[0].icon, common::MsgIcon::Information);
    EXPECT_EQ(ui.messages()[0].buttons, common::MsgButtons::Ok);

    struct FakeSession : automation::NotesSession {
        std::shared_ptr<automation::NotesDatabase> GetDatabase(const std::string&, const std::string&) override
        {
            return nullptr;
        }
    };
    automation::RegisterProvider("Notes.NotesSession", [] { return std::make_shared<FakeSession>(); });
    common::CreateNotesSession(session);
    EXPECT_TRUE(session);
    EXPECT_EQ(ui.messages().size(), 1u);
    automation::ClearProviders();
}
