// The Qt dialog service: real message boxes and file dialogs answered by the
// test, and the conversion of the program's filters.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "files/file_names.h"
#include "framework/form_dialog.h"
#include "framework/qt_dialogs.h"
#include "tests/support/testutil_framework.h"
#include "util/version.h"

TEST(QtDialogs, FilterOfTheOpenDialogBecomesQtNameFilters)
{
    TDialogFilter f = DialogFilter(dkTraining | dkUser, true, true);
    QStringList filters = QtNameFilters(f.Filter);
    ASSERT_EQ(filters.size(), 4);
    EXPECT_EQ(filters[0], "Training files (*.stg)");
    EXPECT_EQ(filters[1], "User files (*.ini)");
    // The combined entry lists its patterns with commas; Qt needs them blank-separated.
    EXPECT_EQ(filters[2], "Catchline compatible files (*.stg *.ini)");
    EXPECT_EQ(filters[3], "All files (*.*)");
    EXPECT_EQ(f.DefaultIndex, 3);
}

TEST(QtDialogs, FilterEdgeCases)
{
    EXPECT_TRUE(QtNameFilters("").isEmpty());
    // A description without a pattern takes the one in its brackets.
    EXPECT_EQ(QtNameFilters("Trainings (*.stg)"), QStringList{"Trainings (*.stg)"});
    EXPECT_EQ(QtNameFilters("Anything|"), QStringList{"Anything (*)"});
    EXPECT_EQ(QtNameFilters("|*.a;*.b|"), QStringList{"*.a *.b (*.a *.b)"});
}

TEST(QtDialogs, CarriageReturnIsALineBreak)
{
    EXPECT_EQ(MessageText("one\rtwo\r\nthree\n\rfour"), "one\ntwo\nthree\nfour");
}

TEST(QtDialogs, MessageBoxShowsTextAndReturnsTheButtonPressed)
{
    TestApp();
    TQtDialogs dialogs;
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    TMsgResult r = dialogs.MessageBox(TMsgKind::Confirmation, "Close?\rReally", mbYesNo, TMsgResult::Yes);
    EXPECT_EQ(r, TMsgResult::No);
    EXPECT_EQ(shown, "Close?\nReally");
    EXPECT_EQ(icon, QMessageBox::Question);

    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.MessageBox(TMsgKind::Error, "Bad", mbOK, TMsgResult::OK), TMsgResult::OK);
    EXPECT_EQ(icon, QMessageBox::Critical);

    // Closing a box with Cancel among its buttons answers Cancel.
    WhenModal([&](QWidget* w) { static_cast<QMessageBox*>(w)->reject(); });
    EXPECT_EQ(dialogs.MessageBox(TMsgKind::Warning, "Sure?", mbOKCancel, TMsgResult::OK), TMsgResult::Cancel);
}

TEST(QtDialogs, DialogsHaveACloseButtonButNoMinimiseOrMaximise)
{
    TestApp();
    auto plain = [](Qt::WindowFlags f) {
        return f.testFlag(Qt::CustomizeWindowHint) && f.testFlag(Qt::WindowCloseButtonHint) &&
               !f.testFlag(Qt::WindowMinimizeButtonHint) && !f.testFlag(Qt::WindowMaximizeButtonHint);
    };
    TQtDialogs dialogs;
    Qt::WindowFlags flags;
    QString title;
    WhenModal([&](QWidget* w) {
        flags = w->windowFlags();
        title = w->windowTitle();
        static_cast<QMessageBox*>(w)->reject();
    });
    dialogs.MessageBox(TMsgKind::Information, "Saved", mbOK, TMsgResult::OK);
    EXPECT_TRUE(plain(flags));
    EXPECT_EQ(title.toStdString(), VersionString("FileDescription"));
    TFormDialog form;
    EXPECT_TRUE(plain(form.windowFlags()));
}

TEST(QtDialogs, EachKindShowsItsIconAndAPlainMessageNone)
{
    TestApp();
    TQtDialogs dialogs;
    const std::pair<TMsgKind, QMessageBox::Icon> kinds[] = {{TMsgKind::Error, QMessageBox::Critical},
                                                            {TMsgKind::Warning, QMessageBox::Warning},
                                                            {TMsgKind::Information, QMessageBox::Information},
                                                            {TMsgKind::Plain, QMessageBox::NoIcon}};
    for (const auto& [kind, want] : kinds) {
        QMessageBox::Icon shown = QMessageBox::Question;
        WhenModal([&](QWidget* w) {
            shown = static_cast<QMessageBox*>(w)->icon();
            static_cast<QMessageBox*>(w)->reject();
        });
        dialogs.MessageBox(kind, "Text", mbOK, TMsgResult::OK);
        EXPECT_EQ(shown, want) << int(kind);
    }
}

TEST(QtDialogs, OpenAndSaveDialogsAreSetUpFromTheRequest)
{
    TShellEnv env;
    TQtDialogs dialogs;
    TFileDialogRequest request;
    request.Title = "Open file";
    TDialogFilter f = DialogFilter(dkTraining | dkUser, true, true);
    request.Filter = f.Filter;
    request.FilterIndex = f.DefaultIndex;
    request.InitialDir = env.Folder();
    request.MultiSelect = true;
    QString title, selectedFilter, folder;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode accept = QFileDialog::AcceptSave;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        title = d->windowTitle();
        selectedFilter = d->selectedNameFilter();
        folder = d->directory().absolutePath() + "/";
        mode = d->fileMode();
        accept = d->acceptMode();
        d->reject();
    });
    EXPECT_FALSE(dialogs.FileDialog(request).Accepted);
    EXPECT_EQ(title, "Open file");
    EXPECT_EQ(selectedFilter, "Catchline compatible files (*.stg *.ini)");
    EXPECT_EQ(folder.toStdString(), env.Folder());
    EXPECT_EQ(mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(accept, QFileDialog::AcceptOpen);

    TFileDialogRequest save;
    save.Save = true;
    save.Title = "Export training session";
    save.Filter = "Trainings (*.stg)|*.stg|User (*.ini)|*.ini";
    save.FilterIndex = 2;
    save.DefaultExt = "STG";
    save.InitialDir = env.Folder();
    QString suffix;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        title = d->windowTitle();
        selectedFilter = d->selectedNameFilter();
        accept = d->acceptMode();
        suffix = d->defaultSuffix();
        d->reject();
    });
    EXPECT_FALSE(dialogs.FileDialog(save).Accepted);
    EXPECT_EQ(title, "Export training session");
    EXPECT_EQ(selectedFilter, "User (*.ini)");
    EXPECT_EQ(accept, QFileDialog::AcceptSave);
    EXPECT_EQ(suffix, "ini");  // the chosen filter's extension, not the default one

    // A bare name typed under the filter the user switched to gets that
    // filter's extension.
    save.FilterIndex = 1;
    save.Filter = "Trainings (*.stg)|*.stg|User (*.ini)|*.ini|All files (*.*)|*.*";
    std::vector<QString> suffixes;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        suffixes.push_back(d->defaultSuffix());
        auto* types = d->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        // The user steps through the file types with the arrow keys.
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
            QTest::keyClick(types, key);
            suffixes.push_back(d->defaultSuffix());
        }
        auto* name = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("rower");
        static_cast<QDialog*>(d)->accept();  // as the Save button does
    });
    TFileDialogResult saved = dialogs.FileDialog(save);
    EXPECT_EQ(suffixes, (std::vector<QString>{"stg", "ini", "stg", "ini"}));
    ASSERT_TRUE(saved.Accepted);
    EXPECT_EQ(saved.FileName(), env.Folder() + "rower.ini");
    EXPECT_EQ(saved.FilterIndex, 2);
}
