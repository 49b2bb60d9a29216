#pragma once
// What the review windows need of the main window.
#include <QWidget>

#include <cstdint>
#include <string>

struct TTraining;
class QTableView;

class TReviewHost {
public:
    virtual ~TReviewHost() = default;
    virtual bool AllowEdit() const { return true; }
    virtual bool AllowChartOptions() const { return true; }
    virtual bool InverseColors() const { return true; }
    virtual void TrainingClosed(int32_t sessionId) = 0;
    virtual void TrainingsChanged() = 0;
    virtual void TrainingListChanged(bool added) = 0;
    virtual std::string LastFolder() const = 0;
    virtual void SetLastFolder(const std::string& folder) = 0;
    virtual void AddRecentFile(const std::string& path) = 0;
    virtual void FileSaved() = 0;
    virtual void FillFrame(QWidget* child) = 0;
    virtual bool EditChartOptions(TTraining& t) = 0;
    virtual bool SelectColumns(QTableView* grid) = 0;
};

using TReviewChildBase = QWidget;

// Window bounds as the settings store them: four -1 for a maximised window,
// four 0 for a minimised one.
void SaveWindowPlacement(const QWidget* w, int& left, int& top, int& width, int& height);
void RestoreWindowPlacement(QWidget* w, int left, int top, int width, int height);
