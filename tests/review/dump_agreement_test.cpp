// The training and results windows show a file as catchline-cli's dump of
// the same file reports it: labels, workout fields, every grid cell.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>

#include "core/catalogue.h"
#include "files/training_io.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "tests/review/testutil_review.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

using TJson = nlohmann::json;

std::string Cell(const QTableView* v, int row, int col)
{
    return v->model()->data(v->model()->index(row, col)).toString().toStdString();
}
std::string S(const QString& q) { return q.toStdString(); }

class DumpAgreementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
    }

    // The dump of a file, as the user gets it on the command line.
    TJson Dump(const std::string& file)
    {
        const std::string out = Env.File("dump.json");
        const std::string cmd =
            std::string("'") + CATCHLINE_CLI + "' dump '" + file + "' --values >'" + out + "' 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        return TJson::parse(text.str(), nullptr, false);
    }

    TReviewEnv Env;
    TTestRegistry Registry;
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
};

TEST_F(DumpAgreementTest, TrainingWindowShowsWhatTheDumpReports)
{
    for (const char* name :
         {"training/sample.stg", "training/user_only.stg", "training/stroke_numbers.stg", "stroke/sample.str",
          "user/rower.ini", "brax/session.bxs", "brax/stroke.bxr", "brax/user.bxi"}) {
        SCOPED_TRACE(name);
        const std::string file = TestDataFile(name);
        const TJson d = Dump(file);
        ASSERT_FALSE(d.is_discarded());
        TTraining t;
        ASSERT_TRUE(OpenTraining(file, t, false));
        TfrmTraining w(Registry.Store, Registry.Open(t, 130));
        w.RefreshAll();

        const TJson& h = d["Header"];
        EXPECT_EQ(S(Child<QLineEdit>(w, "edtTitle")->text()), h["Title"].get<std::string>());
        EXPECT_EQ(S(w.windowTitle()), h["Title"].get<std::string>());
        EXPECT_EQ(S(Child<QComboBox>(w, "cmbName")->currentText()), h["Name"].get<std::string>());
        EXPECT_EQ(S(Child<QComboBox>(w, "cmbDescription")->currentText()), h["Description"].get<std::string>());
        EXPECT_EQ(S(Child<QComboBox>(w, "cmbType")->currentText()), h["TrainingType"].get<std::string>());
        EXPECT_EQ(S(Child<QComboBox>(w, "cmbEvent")->currentText()), h["Event"].get<std::string>());
        EXPECT_EQ(S(Child<QPlainTextEdit>(w, "memNote")->toPlainText()), h["Note"].get<std::string>());
        // The file groups: the name part, and the size on disk when the file is there.
        const std::string fileName = h["FileName"].get<std::string>();
        EXPECT_EQ(S(Child<QLabel>(w, "lblTFile")->text()), fileName.empty() ? "-" : ExtractFileName(fileName));
        const int64_t size = FileExists(fileName) ? FileSizeOf(fileName) : h["FileSize"].get<int64_t>();
        EXPECT_EQ(S(Child<QLabel>(w, "lblTSize")->text()), size > 0 ? Format("%d bytes", int(size)) : std::string("-"));
        const std::string original = h["OriginalFileName"].get<std::string>();
        EXPECT_EQ(S(Child<QLabel>(w, "lblOFile")->text()), original.empty() ? "-" : ExtractFileName(original));

        const TJson& st = d["Settings"];
        EXPECT_EQ(S(Child<QLineEdit>(w, "edtWeight")->text()), std::to_string(st["Weight"].get<int>()));
        EXPECT_EQ(Child<QComboBox>(w, "cmbGender")->currentIndex(), st["Gender"].get<int>());
        EXPECT_EQ(Child<QComboBox>(w, "cmbBoat")->currentIndex(), st["BoatType"].get<int>());
        EXPECT_EQ(Child<QComboBox>(w, "cmbSprocket")->currentIndex(), st["Sprocket"].get<int>());
        EXPECT_EQ(Child<QComboBox>(w, "cmbErgometer")->currentIndex(), st["Ergometer"].get<int>());
        EXPECT_EQ(Child<QComboBox>(w, "cmbSessionLimit")->currentIndex(), st["LimitType"].get<int>());

        // Totals: the dump's texts with the catalogue's units.
        const TJson& totals = d["TotalTexts"];
        const std::pair<QLabel*, int> labels[] = {
            {Child<QLabel>(w, "lblDistance"), 0},  {Child<QLabel>(w, "lblTime"), 1},
            {Child<QLabel>(w, "lblEnergy"), 2},    {Child<QLabel>(w, "lblStrokes"), 4},
            {Child<QLabel>(w, "lblPower"), 3},     {Child<QLabel>(w, "lbl500m"), 5},
            {Child<QLabel>(w, "lblStrokerate"), 6}};
        for (auto [l, i] : labels)
            EXPECT_EQ(S(l->text()), Trim(totals[size_t(i)].get<std::string>() + " " + TotalParameterUnit(i))) << i;

        // Stroke data: one row per stroke 1..N, the dump's texts by catalogue position.
        const TJson& strokes = d["StrokeTexts"];
        const int n = int(strokes.size()) - 1;
        QTableView* g = Child<QTableView>(w, "sgdStrokeData");
        ASSERT_EQ(g->model()->rowCount(), std::max(n, 1));
        for (int k = 1; k <= n; ++k) {
            EXPECT_EQ(Cell(g, k - 1, 0), Format("%4d", k));
            for (size_t c = 1; c < size_t(g->model()->columnCount()); ++c)
                ASSERT_EQ(Cell(g, k - 1, int(c)), strokes[size_t(k)][size_t(StrokeIdMap()[c - 1])].get<std::string>())
                    << "stroke " << k << " column " << c;
        }

        // Force curves: "+" for a used curve and every sample.
        const TJson& curves = d["Curves"];
        QTableView* fc = Child<QTableView>(w, "sgdForceCurves");
        for (int k = 1; k < int(curves.size()); ++k) {
            EXPECT_EQ(Cell(fc, k - 1, 1), curves[size_t(k)]["HasData"].get<int>() ? "+" : "");
            const TJson& samples = curves[size_t(k)]["Samples"];
            for (size_t i = 0; i < samples.size(); ++i)
                ASSERT_EQ(Cell(fc, k - 1, int(i) + 2), Format("%3d", samples[i].get<int>())) << k << "," << i;
        }

        // Intervals.
        const TJson& intervals = d["IntervalTexts"];
        QTableView* iv = Child<QTableView>(w, "sgdIntervals");
        ASSERT_EQ(iv->model()->rowCount(), std::max<int>(int(intervals.size()), 1));
        for (size_t r = 0; r < intervals.size(); ++r)
            for (size_t c = 1; c < size_t(iv->model()->columnCount()); ++c)
                EXPECT_EQ(Cell(iv, int(r), int(c)), intervals[r][size_t(IntervalIdMap()[c - 1])].get<std::string>());

        // The results window: the same totals and averages.
        TfrmResults results;
        results.ShowResults(w.Record());
        const std::pair<QLineEdit*, int> fields[] = {
            {Child<QLineEdit>(results, "edtDistance"), 0},     {Child<QLineEdit>(results, "edtTime"), 1},
            {Child<QLineEdit>(results, "edtEnergy"), 2},       {Child<QLineEdit>(results, "edtStrokes"), 4},
            {Child<QLineEdit>(results, "edtAvgPower"), 3},     {Child<QLineEdit>(results, "edtAvg500m"), 5},
            {Child<QLineEdit>(results, "edtAvgStrokerate"), 6}};
        for (auto [e, i] : fields)
            EXPECT_EQ(S(e->text()), Trim(totals[size_t(i)].get<std::string>() + " " + TotalParameterUnit(i))) << i;
        ASSERT_EQ(Child<QTableView>(results, "sgdIntervals")->model()->rowCount(), iv->model()->rowCount());
        for (int r = 0; r < iv->model()->rowCount(); ++r)
            for (int c = 0; c < iv->model()->columnCount(); ++c)
                EXPECT_EQ(Cell(Child<QTableView>(results, "sgdIntervals"), r, c), Cell(iv, r, c));
    }
}

}  // namespace
