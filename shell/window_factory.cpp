#include "shell/window_factory.h"

#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "row/new_row_dialog.h"
#include "row/row_window.h"

namespace {

class TProgramWindows : public TWindowFactory {
public:
    TMDIChild* TrainingWindow(TSessionStore& store, int32_t sessionId) override
    {
        return new TfrmTraining(store, sessionId);
    }
    TMDIChild* RowWindow(TMDIMain* frame, TSessionStore& store, int32_t sessionId) override
    {
        TfrmRow* row = CreateRowWindow(frame, store, sessionId);
        // A session that reaches its end shows its results in the shared results window.
        row->ResultsShower = [](const TTraining& session) { ShowResultsModal(session); };
        row->Engine().RefreshSession();
        return row;
    }
    TMDIChild* StrokeDataWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile) override
    {
        return CreateStrokeDataWindow(frame, store, settingsFile);
    }
    TMDIChild* ForceCurvesWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile) override
    {
        return CreateForceCurvesWindow(frame, store, settingsFile);
    }
    TNewRowPrompt* NewRowDialog(QWidget* parent) override { return new TfrmNewRow(parent); }
    TFormDialog* ResultsWindow(QWidget* parent) override
    {
        // The one results window every session's results show in.
        auto* results = new TfrmResults(parent);
        SetResultsWindow(results);
        return results;
    }
};

}  // namespace

TWindowFactory& ProgramWindows()
{
    static TProgramWindows windows;
    return windows;
}
