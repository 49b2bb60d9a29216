// The Qt dialog service: real message boxes and file dialogs answered by the
// test, and the conversion of the program's filters.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "files/file_names.h"
#include "shell/framework/qtdialogs.h"
#include "testutil_framework.h"

TEST(QtDialogs, FilterOfTheOpenDialogBecomesQtNameFilters) {
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

TEST(QtDialogs, FilterEdgeCases) {
    EXPECT_TRUE(QtNameFilters("").isEmpty());
    // A description without a pattern takes the one in its brackets.
    EXPECT_EQ(QtNameFilters("Trainings (*.stg)"), QStringList{"Trainings (*.stg)"});
    EXPECT_EQ(QtNameFilters("Anything|"), QStringList{"Anything (*)"});
    EXPECT_EQ(QtNameFilters("|*.a;*.b|"), QStringList{"*.a *.b (*.a *.b)"});
}

TEST(QtDialogs, CarriageReturnIsALineBreak) {
    EXPECT_EQ(MessageText("one\rtwo\r\nthree\n\rfour"), "one\ntwo\nthree\nfour");
}

TEST(QtDialogs, MessageBoxShowsTextAndReturnsTheButtonPressed) {
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

TEST(QtDialogs, OpenDialogReturnsTheChosenFileAndFilterEntry) {
    TShellEnv env;
    WriteTextFile(env.File("a.stg"), "x");
    TQtDialogs dialogs;
    TFileDialogRequest request;
    request.Title = "Open file";
    TDialogFilter f = DialogFilter(dkTraining | dkUser, true, true);
    request.Filter = f.Filter;
    request.FilterIndex = f.DefaultIndex;
    request.InitialDir = env.Folder();
    request.MultiSelect = true;
    QString title, selectedFilter;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        title = d->windowTitle();
        selectedFilter = d->selectedNameFilter();
        d->selectFile(QString::fromStdString(env.File("a.stg")));
        QMetaObject::invokeMethod(d, "accept");
    });
    TFileDialogResult r = dialogs.FileDialog(request);
    EXPECT_EQ(title, "Open file");
    EXPECT_EQ(selectedFilter, "Catchline compatible files (*.stg *.ini)");
    ASSERT_TRUE(r.Accepted);
    ASSERT_EQ(r.FileNames.size(), 1u);
    EXPECT_EQ(r.FileNames[0], env.File("a.stg"));
    EXPECT_EQ(r.FilterIndex, 3);

    WhenModal([](QWidget* w) { static_cast<QFileDialog*>(w)->reject(); });
    EXPECT_FALSE(dialogs.FileDialog(request).Accepted);
}

TEST(QtDialogs, SaveDialogAddsTheDefaultExtension) {
    TShellEnv env;
    TQtDialogs dialogs;
    TFileDialogRequest request;
    request.Save = true;
    request.Title = "Export training session";
    request.Filter = "Trainings (*.stg)|*.stg|User (*.ini)|*.ini";
    request.DefaultExt = "STG";
    request.InitialDir = env.Folder();
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        d->selectNameFilter(d->nameFilters().at(1));
        d->selectFile(QString::fromStdString(env.File("session")));
        QMetaObject::invokeMethod(d, "accept");
    });
    TFileDialogResult r = dialogs.FileDialog(request);
    ASSERT_TRUE(r.Accepted);
    EXPECT_EQ(r.FileName(), env.File("session.stg"));
    EXPECT_EQ(r.FilterIndex, 2);
}
