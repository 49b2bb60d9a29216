// The new-row dialog offscreen: its controls and lists, the template user on
// every show, user files from the command line and through "Open ...", the
// refusal of training files with data, the Modified rule on OK, the weight
// that is not a whole number, and the row heights of its appearance.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/records.h"
#include "files/file_names.h"
#include "files/training_file.h"
#include "files/training_io.h"
#include "files/user_file.h"
#include "row/new_row_dialog.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/version.h"

namespace fs = std::filesystem;

namespace {

QApplication& App() { return TestApp(); }

// A user-only session (a profile without data) with the given name and weight.
TTraining UserSession(const std::string& name, int weight)
{
    TTraining t;
    ClearTraining(t);
    t.Magic = kTrainingMagic;
    t.ProgramVersion = ProgramVersion();
    t.Header = DefaultHeader();
    t.Header.ContentKind = ckUser;
    t.Header.Name.SetText(name);
    t.Header.Title.SetText("Profile of " + name);
    t.Settings = DefaultSettings();
    t.Settings.Weight = weight;
    t.Settings.Gender = 1;
    t.Settings.BoatType = 7;
    t.Settings.Sprocket = 0;
    return t;
}

// The main window as the dialog sees it: dialog colour, user level and the
// last-used folder.
class TNewRowRegistry : public TEmptyRegistry {
public:
    bool EditAllowed() const override { return Editable; }
    QColor DialogColor() const override { return QColor(0x12, 0x34, 0x56); }
    std::string LastDir() const override { return Folder; }
    void SetLastDir(const std::string& folder) override { Folder = folder; }

    bool Editable = true;
    std::string Folder = "/registry/";
};

QStringList Items(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

class NewRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        Folder = (fs::temp_directory_path() / ("catchline-newrow-" + std::to_string(getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                     .string() +
                 "/";
        fs::remove_all(Folder);
        fs::create_directories(Folder + "docs");
        SetDocumentsFolder(Folder + "docs");
        Scope = std::make_unique<TDialogScope>(Dlg);
        Dialog = std::make_unique<TfrmNewRow>();
        Dialog->LastFolder = [this] { return LastDir; };
        Dialog->SetLastFolder = [this](const std::string& f) { LastDir = f; };
    }
    void TearDown() override
    {
        Dialog.reset();
        Scope.reset();
        SetDocumentsFolder("");
        fs::remove_all(Folder);
    }

    // Shows the dialog modally; while it runs, action() works on it.
    bool Run(const std::function<void()>& action)
    {
        QTimer::singleShot(0, Dialog.get(), [this, action] {
            action();
            // A refused OK leaves the dialog open: end the loop anyway.
            if (Dialog->isVisible()) Dialog->reject();
        });
        return Dialog->Execute();
    }
    bool ConfirmUnchanged()
    {
        return Run([this] { Child<QPushButton>(Dialog, "btbOk")->click(); });
    }

    std::string TemplatePath() const { return UserDataFolder(true) + "Default.stg"; }

    std::string Folder;
    std::string LastDir = "/nowhere/";
    TScriptedDialogs Dlg;
    std::unique_ptr<TDialogScope> Scope;
    std::unique_ptr<TfrmNewRow> Dialog;
};

TEST_F(NewRowTest, ControlsCaptionsAndLists)
{
    TfrmNewRow& d = *Dialog;
    EXPECT_EQ(d.windowTitle(), "New row window");
    EXPECT_EQ(Items(Child<QComboBox>(d, "cmbGender")), (QStringList{"Male", "Female"}));
    EXPECT_EQ(Items(Child<QComboBox>(d, "cmbBoat")), (QStringList{"1X", "2+", "2-", "2X", "4+", "4-", "4X", "8+"}));
    EXPECT_EQ(Items(Child<QComboBox>(d, "cmbSprocket")), (QStringList{"Small left", "Big right"}));
    EXPECT_EQ(Child<QLineEdit>(d, "edtTitle")->maxLength(), 250);
    EXPECT_EQ(Child<QLineEdit>(d, "edtName")->maxLength(), 250);
    EXPECT_EQ(Child<QPushButton>(d, "btnOpen")->text(), "O&pen ...");
    EXPECT_EQ(Child<QLabel>(d, "lblKgs")->text(), "Kgs");
    const std::pair<const char*, const char*> labels[] = {{"lblTitle", "&Title"},   {"lblName", "&Name"},
                                                          {"lblWeight", "&Weight"}, {"lblGender", "&Gender"},
                                                          {"lblBoat", "&Boat"},     {"lblSprocket", "&Sprocket"}};
    for (const auto& [name, caption] : labels) {
        auto* label = d.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), caption);
    }
    // Open sits left of OK and Cancel on the button row.
    d.show();
    QApplication::processEvents();
    EXPECT_LT(Child<QPushButton>(d, "btnOpen")->mapTo(&d, QPoint()).x(),
              Child<QPushButton>(d, "btbOk")->mapTo(&d, QPoint()).x());
    EXPECT_EQ(Child<QPushButton>(d, "btnOpen")->mapTo(&d, QPoint()).y(),
              Child<QPushButton>(d, "btbOk")->mapTo(&d, QPoint()).y());
    EXPECT_EQ(d.focusWidget(), Child<QLineEdit>(d, "edtName"));
    d.reject();
}

TEST_F(NewRowTest, EachShowStartsFromTheLastConfirmedRower)
{
    TfrmNewRow& d = *Dialog;
    ASSERT_TRUE(Run([&] {
        EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "80");
        EXPECT_EQ(Child<QLineEdit>(d, "edtTitle")->text().toStdString(), DefaultHeader().Title.Text());
        Child<QLineEdit>(d, "edtName")->setText("Typed Rower");
        Child<QLineEdit>(d, "edtWeight")->setText("95");
        Child<QComboBox>(d, "cmbBoat")->setCurrentIndex(3);
        Child<QPushButton>(d, "btbOk")->click();
    }));
    EXPECT_EQ(d.Record.Header.Name.Text(), "Typed Rower");
    EXPECT_EQ(d.Record.Settings.Weight, 95);
    EXPECT_EQ(d.Record.Settings.BoatType, 3);
    // The default title would call every session "Anyone": it names the rower and the start.
    const std::string title = d.Record.Header.Title.Text();
    EXPECT_EQ(title, TfrmNewRow::RowerTitle("Typed Rower", d.Record.Header.DateTime));
    EXPECT_EQ(title.rfind("Typed Rower ", 0), 0u);
    EXPECT_NE(title.find(LocaleShortDate(d.Record.Header.DateTime)), std::string::npos);

    // The next show (a restart too: the rower is in the settings file) starts
    // from that rower and a title of its own; confirming it unchanged
    // changes nothing.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            Dialog = std::make_unique<TfrmNewRow>();
            Dialog->LastFolder = [this] { return LastDir; };
            Dialog->SetLastFolder = [this](const std::string& f) { LastDir = f; };
        }
        TfrmNewRow& again = *Dialog;
        ASSERT_TRUE(Run([&] {
            EXPECT_EQ(Child<QLineEdit>(again, "edtName")->text(), "Typed Rower") << pass;
            EXPECT_EQ(Child<QLineEdit>(again, "edtWeight")->text(), "95") << pass;
            EXPECT_EQ(Child<QComboBox>(again, "cmbBoat")->currentIndex(), 3) << pass;
            EXPECT_EQ(Child<QLineEdit>(again, "edtTitle")->text().toStdString(),
                      TfrmNewRow::RowerTitle("Typed Rower", again.Record.Header.DateTime))
                << pass;
            Child<QPushButton>(again, "btbOk")->click();
        }));
        EXPECT_EQ(again.Record.Settings.Weight, 95);
        EXPECT_EQ(again.Record.Header.Modified, 0);
    }

    // Another rower on the made title: the title follows the name; a title
    // the user typed stays.
    TfrmNewRow& last = *Dialog;
    ASSERT_TRUE(Run([&] {
        Child<QLineEdit>(last, "edtName")->setText("Ann");
        Child<QPushButton>(last, "btbOk")->click();
    }));
    EXPECT_EQ(last.Record.Header.Title.Text(), TfrmNewRow::RowerTitle("Ann", last.Record.Header.DateTime));
    ASSERT_TRUE(Run([&] {
        EXPECT_EQ(Child<QLineEdit>(last, "edtName")->text(), "Ann");
        Child<QLineEdit>(last, "edtTitle")->setText("Race");
        Child<QPushButton>(last, "btbOk")->click();
    }));
    EXPECT_EQ(last.Record.Header.Title.Text(), "Race");
    // Cancel remembers nothing.
    EXPECT_FALSE(Run([&] {
        Child<QLineEdit>(last, "edtName")->setText("Nobody");
        Child<QPushButton>(last, "btbCancel")->click();
    }));
    ASSERT_TRUE(ConfirmUnchanged());
    EXPECT_EQ(last.Record.Header.Name.Text(), "Ann");
}

TEST_F(NewRowTest, RememberedRowerOutsideTheListsKeepsTheTemplateValues)
{
    {
        TProfileFile ini(SettingsFile(true));
        ini.WriteString("LastRower", "Name", "Odd");
        ini.WriteInteger("LastRower", "Weight", -5);
        ini.WriteInteger("LastRower", "Gender", 7);
        ini.WriteInteger("LastRower", "BoatType", 8);
        ini.WriteInteger("LastRower", "Sprocket", -1);
        ASSERT_TRUE(ini.UpdateFile());
    }
    TfrmNewRow& d = *Dialog;
    ASSERT_TRUE(ConfirmUnchanged());
    EXPECT_EQ(d.Record.Header.Name.Text(), "Odd");
    EXPECT_EQ(d.Record.Settings.Weight, DefaultSettings().Weight);
    EXPECT_EQ(d.Record.Settings.Gender, DefaultSettings().Gender);
    EXPECT_EQ(d.Record.Settings.BoatType, DefaultSettings().BoatType);
    EXPECT_EQ(d.Record.Settings.Sprocket, DefaultSettings().Sprocket);
}

TEST_F(NewRowTest, FirstShowStartsFromTheTemplateUserThenFromTheLastRower)
{
    TTraining profile = UserSession("Template Rower", 71);
    ASSERT_TRUE(WriteTrainingFile(TemplatePath(), profile, false));
    TfrmNewRow& d = *Dialog;
    ASSERT_TRUE(Run([&] {
        EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Template Rower");
        EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "71");
        EXPECT_EQ(Child<QComboBox>(d, "cmbGender")->currentIndex(), 1);
        EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->currentIndex(), 7);
        Child<QLineEdit>(d, "edtName")->setText("Someone else");
        Child<QPushButton>(d, "btbOk")->click();
    }));
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(d.Record.Header.Name.Text(), "Someone else");
        EXPECT_EQ(d.Record.Header.FileType, ftSTG);
        EXPECT_EQ(d.Record.Header.ContentKind, ckRow);
        EXPECT_EQ(d.Record.Header.FileName.Text(), "?");
        EXPECT_EQ(d.Record.Settings.Weight, 71);
        if (pass == 0) {
            EXPECT_EQ(d.Record.Header.Modified, 1);
            ASSERT_TRUE(Run([&] {
                EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Someone else");
                EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "71");
                EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->currentIndex(), 7);
                Child<QPushButton>(d, "btbOk")->click();
            }));
        }
    }
}

TEST_F(NewRowTest, UserFileFromTheCommandLineAppearsWhenTheDialogOpens)
{
    const std::string path = Folder + "rower.ini";
    ASSERT_TRUE(WriteUserFile(path, UserSession("Anna", 64), false));
    TfrmNewRow& d = *Dialog;
    const int32_t clientId = d.Record.ClientId;
    d.LoadUserFile(path);
    EXPECT_TRUE(d.UserFileLoaded());
    EXPECT_EQ(LastDir, Folder);
    EXPECT_EQ(d.Record.Magic, kTrainingMagic);
    EXPECT_EQ(d.Record.ClientId, clientId);
    ASSERT_TRUE(Run([&] {
        EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Anna");
        EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "64");
        EXPECT_EQ(Child<QComboBox>(d, "cmbGender")->currentIndex(), 1);
        EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->currentIndex(), 7);
        EXPECT_EQ(Child<QComboBox>(d, "cmbSprocket")->currentIndex(), 0);
        EXPECT_EQ(d.Record.Header.FileType, ftSTG);
        EXPECT_EQ(d.Record.Header.ContentKind, ckRow);
        EXPECT_EQ(d.Record.Header.Modified, 1);
        Child<QPushButton>(d, "btbOk")->click();
    }));
    // Confirming a loaded record without changes keeps it modified.
    EXPECT_EQ(d.Record.Header.Modified, 1);
    EXPECT_EQ(d.Record.Header.Name.Text(), "Anna");
    // Closing forgets the file: the next show starts from the last rower
    // (the file's), not from the file.
    EXPECT_FALSE(d.UserFileLoaded());
    ASSERT_TRUE(ConfirmUnchanged());
    EXPECT_EQ(d.Record.Header.Name.Text(), "Anna");
    EXPECT_EQ(d.Record.Header.Modified, 0);
}

TEST_F(NewRowTest, CancelAlsoForgetsTheLoadedFile)
{
    const std::string path = Folder + "rower.ini";
    ASSERT_TRUE(WriteUserFile(path, UserSession("Anna", 64), false));
    Dialog->LoadUserFile(path);
    EXPECT_FALSE(Run([&] { Child<QPushButton>(Dialog, "btbCancel")->click(); }));
    EXPECT_FALSE(Dialog->UserFileLoaded());
    ASSERT_TRUE(ConfirmUnchanged());
    EXPECT_EQ(Dialog->Record.Settings.Weight, 80);
}

TEST_F(NewRowTest, OpenAsksForAUserFileAndLoadsIt)
{
    const std::string path = Folder + "profile.stg";
    ASSERT_TRUE(WriteTrainingFile(path, UserSession("Ben", 88), false));
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {path};
    Dlg.FileAnswers.push_back(answer);
    TfrmNewRow& d = *Dialog;
    ASSERT_TRUE(Run([&] {
        Child<QPushButton>(d, "btnOpen")->click();
        EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Ben");
        EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "88");
        Child<QPushButton>(d, "btbOk")->click();
    }));
    ASSERT_EQ(Dlg.FileRequests.size(), 1u);
    const TFileDialogRequest& r = Dlg.FileRequests[0];
    EXPECT_FALSE(r.Save);
    EXPECT_EQ(r.Title, "Open user file");
    EXPECT_EQ(r.InitialDir, "/nowhere/");
    EXPECT_EQ(r.DefaultExt, "ini");
    EXPECT_EQ(r.FilterIndex, 3);
    EXPECT_EQ(r.Filter, DialogFilter(dkTraining | dkUser, true, true).Filter);
    EXPECT_TRUE(Dlg.Messages.empty()) << Dlg.LastText();
    EXPECT_EQ(LastDir, Folder);
    EXPECT_EQ(d.Record.Header.Name.Text(), "Ben");
    EXPECT_EQ(d.Record.Header.Modified, 1);
    EXPECT_EQ(d.Record.Header.ContentKind, ckRow);
    // The session never takes over the name of the profile's file.
    EXPECT_EQ(d.Record.Header.FileName.Text(), "?");
}

TEST_F(NewRowTest, OpenRefusesATrainingFileWithStrokes)
{
    TTraining rowed = UserSession("Carl", 77);
    rowed.Header.ContentKind = ckTraining;
    SetStrokeCount(rowed, 3);
    for (int k = 1; k <= 3; ++k) {
        rowed.Strokes[size_t(k)] = EmptyStroke(k);
        rowed.Strokes[size_t(k)].Time = float(k * 2.5);
    }
    rowed.Totals.Distance = 30;
    const std::string path = Folder + "rowed.stg";
    ASSERT_TRUE(WriteTrainingFile(path, rowed, false));
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {path};
    Dlg.FileAnswers.push_back(answer);
    TfrmNewRow& d = *Dialog;
    ASSERT_TRUE(Run([&] {
        Child<QLineEdit>(d, "edtName")->setText("Typed");
        Child<QLineEdit>(d, "edtWeight")->setText("66");
        Child<QPushButton>(d, "btnOpen")->click();
        EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Typed");
        EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "66");
        EXPECT_FALSE(d.UserFileLoaded());
        Child<QPushButton>(d, "btbOk")->click();
    }));
    ASSERT_EQ(Dlg.Messages.size(), 1u);
    EXPECT_EQ(Dlg.Messages[0].Kind, TMsgKind::Error);
    EXPECT_EQ(Dlg.Messages[0].Text, "File \"" + path + "\" is not a valid User file.");
    EXPECT_EQ(d.Record.StrokeCount(), 0);
    EXPECT_EQ(d.Record.Header.Name.Text(), "Typed");
    EXPECT_EQ(LastDir, "/nowhere/");
}

TEST_F(NewRowTest, CancelledOrMissingFilesChangeNothing)
{
    TfrmNewRow& d = *Dialog;
    d.Record.Header.Name.SetText("Kept");
    d.LoadUserFile("?");  // the scripted dialog cancels
    d.LoadUserFile(Folder + "missing.ini");
    EXPECT_EQ(d.Record.Header.Name.Text(), "Kept");
    EXPECT_FALSE(d.UserFileLoaded());
    EXPECT_EQ(Dlg.FileRequests.size(), 1u);
    EXPECT_TRUE(Dlg.Messages.empty());
}

TEST_F(NewRowTest, UnreadableUserFileKeepsTheValues)
{
    const std::string path = Folder + "broken.stg";
    {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fputs("this is not a training file at all", f);
        fclose(f);
    }
    TfrmNewRow& d = *Dialog;
    d.Record.Header.Name.SetText("Kept");
    d.Record.Settings.Weight = 70;
    d.LoadUserFile(path);
    EXPECT_FALSE(Dlg.Messages.empty());
    EXPECT_EQ(d.Record.Header.Name.Text(), "Kept");
    EXPECT_EQ(d.Record.Settings.Weight, 70);
    EXPECT_FALSE(d.UserFileLoaded());
    EXPECT_EQ(LastDir, "/nowhere/");
}

TEST_F(NewRowTest, ControlsMapToTheRecordBothWays)
{
    TfrmNewRow& d = *Dialog;
    TTraining& r = d.Record;
    r.Header.Title.SetText("Morning row");
    r.Header.Name.SetText("Dora Ärmel");
    r.Settings.Weight = 59;
    r.Settings.Gender = 1;
    r.Settings.BoatType = 5;
    r.Settings.Sprocket = 1;
    d.FillControls();
    EXPECT_EQ(Child<QLineEdit>(d, "edtTitle")->text(), "Morning row");
    EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), QString::fromUtf8("Dora Ärmel"));
    EXPECT_EQ(Child<QLineEdit>(d, "edtWeight")->text(), "59");
    EXPECT_EQ(Child<QComboBox>(d, "cmbGender")->currentText(), "Female");
    EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->currentText(), "4-");
    EXPECT_EQ(Child<QComboBox>(d, "cmbSprocket")->currentText(), "Big right");

    // Unchanged controls leave Modified as it was; each control alone sets it.
    r.Header.Modified = 0;
    ASSERT_TRUE(d.TakeValues());
    EXPECT_EQ(r.Header.Modified, 0);
    const std::function<void()> changes[] = {
        [&] { Child<QLineEdit>(d, "edtTitle")->setText("Evening row"); },
        [&] { Child<QLineEdit>(d, "edtName")->setText("Eva"); },
        [&] { Child<QLineEdit>(d, "edtWeight")->setText(" 61 "); },
        [&] { Child<QComboBox>(d, "cmbGender")->setCurrentIndex(0); },
        [&] { Child<QComboBox>(d, "cmbBoat")->setCurrentIndex(0); },
        [&] { Child<QComboBox>(d, "cmbSprocket")->setCurrentIndex(0); },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        d.FillControls();
        r.Header.Modified = 0;
        changes[i]();
        ASSERT_TRUE(d.TakeValues());
        EXPECT_EQ(r.Header.Modified, 1) << "control " << i;
    }
    EXPECT_EQ(r.Header.Title.Text(), "Evening row");
    EXPECT_EQ(r.Header.Name.Text(), "Eva");
    EXPECT_EQ(r.Settings.Weight, 61);
    EXPECT_EQ(r.Settings.Gender, 0);
    EXPECT_EQ(r.Settings.BoatType, 0);
    EXPECT_EQ(r.Settings.Sprocket, 0);
}

TEST_F(NewRowTest, StoredValueOutsideAListIsKept)
{
    TfrmNewRow& d = *Dialog;
    d.Record.Settings.BoatType = 12;
    d.Record.Settings.Gender = -1;
    d.Record.Header.Modified = 0;
    d.FillControls();
    EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->currentIndex(), -1);
    EXPECT_EQ(Child<QComboBox>(d, "cmbGender")->currentIndex(), -1);
    ASSERT_TRUE(d.TakeValues());
    EXPECT_EQ(d.Record.Settings.BoatType, 12);
    EXPECT_EQ(d.Record.Settings.Gender, -1);
    EXPECT_EQ(d.Record.Header.Modified, 0);
}

TEST_F(NewRowTest, LongTitleFromAFileIsNotCut)
{
    TfrmNewRow& d = *Dialog;
    const std::string title(255, 't');
    d.Record.Header.Title.SetText(title);
    d.Record.Header.Modified = 0;
    d.FillControls();
    ASSERT_TRUE(d.TakeValues());
    EXPECT_EQ(d.Record.Header.Title.Text(), title);
    EXPECT_EQ(d.Record.Header.Modified, 0);
}

TEST_F(NewRowTest, WeightThatIsNotAWholeNumberIsRefused)
{
    TfrmNewRow& d = *Dialog;
    bool stillOpen = false;
    QWidget* focused = nullptr;
    ASSERT_FALSE(Run([&] {
        Child<QLineEdit>(d, "edtName")->setText("Fred");
        Child<QLineEdit>(d, "edtWeight")->setText("72.5");
        Child<QPushButton>(d, "btbOk")->click();
        stillOpen = d.isVisible();
        focused = d.focusWidget();
    }));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(focused, Child<QLineEdit>(d, "edtWeight"));
    ASSERT_EQ(Dlg.Messages.size(), 1u);
    EXPECT_EQ(Dlg.Messages[0].Kind, TMsgKind::Error);
    EXPECT_EQ(Dlg.Messages[0].Text, "'72.5' is not a valid integer value");
    // Nothing of the refused values reached the record.
    EXPECT_EQ(d.Record.Header.Name.Text(), DefaultHeader().Name.Text());
    EXPECT_EQ(d.Record.Settings.Weight, 80);

    for (const char* bad : {"", "abc", "99999999999", "7O"}) {
        Child<QLineEdit>(d, "edtWeight")->setText(bad);
        EXPECT_FALSE(d.TakeValues()) << bad;
    }
    // A corrected weight is taken on the next OK.
    ASSERT_TRUE(Run([&] {
        Child<QLineEdit>(d, "edtWeight")->setText("72x");
        Child<QPushButton>(d, "btbOk")->click();
        Child<QLineEdit>(d, "edtWeight")->setText("72");
        Child<QPushButton>(d, "btbOk")->click();
    }));
    EXPECT_EQ(d.Record.Settings.Weight, 72);
}

TEST_F(NewRowTest, MainWindowGivesColourFolderAndUserLevel)
{
    TNewRowRegistry registry;
    TfrmNewRow d;  // without folder functions: the main window's folder
    EXPECT_EQ(d.palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
    d.SetAppearance(d.font(), Qt::black, Qt::white, Qt::red);  // dialogs keep their own colour
    EXPECT_EQ(d.palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));

    const std::string path = Folder + "sub/rower.ini";
    fs::create_directories(Folder + "sub");
    ASSERT_TRUE(WriteUserFile(path, UserSession("Gus", 90), false));
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {path};
    Dlg.FileAnswers.push_back(answer);
    d.LoadUserFile("/any/folder/?");  // only the name counts
    ASSERT_EQ(Dlg.FileRequests.size(), 1u);
    EXPECT_EQ(Dlg.FileRequests[0].InitialDir, "/registry/");
    EXPECT_EQ(registry.Folder, Folder + "sub/");
    EXPECT_EQ(Child<QLineEdit>(d, "edtName")->text(), "Gus");

    registry.Editable = false;
    d.show();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Child<QLineEdit>(d, "edtTitle"), Child<QLineEdit>(d, "edtName"), Child<QLineEdit>(d, "edtWeight"),
             Child<QComboBox>(d, "cmbGender"), Child<QComboBox>(d, "cmbBoat"), Child<QComboBox>(d, "cmbSprocket"),
             Child<QPushButton>(d, "btnOpen")})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(Child<QPushButton>(d, "btbOk")->isEnabled());
    d.reject();
    registry.Editable = true;
    d.show();
    EXPECT_TRUE(Child<QLineEdit>(d, "edtName")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(d, "btnOpen")->isEnabled());
    d.reject();
}

TEST_F(NewRowTest, AppearanceSetsRowHeightsAndDialogHeight)
{
    TfrmNewRow& d = *Dialog;
    QFont small = d.font();
    small.setPixelSize(10);
    QFont large = d.font();
    large.setPixelSize(30);
    ASSERT_LE(QFontMetrics(small).height(), 16);
    ASSERT_GT(QFontMetrics(large).height(), 16);
    EXPECT_EQ(TfrmNewRow::RowHeightFor(small), 25);
    EXPECT_EQ(TfrmNewRow::RowHeightFor(large), QFontMetrics(large).height() + 13);

    for (const QFont& f : {small, large}) {
        const int row = TfrmNewRow::RowHeightFor(f);
        d.SetAppearance(f, Qt::darkBlue, Qt::yellow, Qt::gray);
        d.show();
        QApplication::processEvents();
        for (QWidget* p :
             {Child<QWidget>(d, "pnlTitle"), Child<QWidget>(d, "pnlName"), Child<QWidget>(d, "pnlWeight"),
              Child<QWidget>(d, "pnlGender"), Child<QWidget>(d, "pnlBoat"), Child<QWidget>(d, "pnlSprocket")})
            EXPECT_EQ(p->height(), row);
        EXPECT_EQ(Child<QWidget>(d, "pnlButtons")->height(), row + 15);
        for (QPushButton* b :
             {Child<QPushButton>(d, "btnOpen"), Child<QPushButton>(d, "btbOk"), Child<QPushButton>(d, "btbCancel")})
            EXPECT_EQ(b->height(), row) << b->objectName().toStdString();
        EXPECT_EQ(d.height(), 8 + 6 * row + 8 + row + 15);
        EXPECT_EQ(
            Child<QWidget>(d, "pnlSprocket")->mapTo(&d, QPoint(0, Child<QWidget>(d, "pnlSprocket")->height())).y(),
            8 + 6 * row);
        EXPECT_EQ(Child<QLineEdit>(d, "edtName")->palette().color(QPalette::Base), QColor(Qt::yellow));
        EXPECT_EQ(Child<QComboBox>(d, "cmbBoat")->palette().color(QPalette::Text), QColor(Qt::darkBlue));
        EXPECT_EQ(Child<QPushButton>(d, "btbOk")->palette().color(QPalette::ButtonText), QColor(Qt::black));
        d.reject();
    }
}

}  // namespace
