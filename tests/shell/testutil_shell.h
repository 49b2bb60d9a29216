#pragma once
// The main window's row and chart windows as their own classes, for tests
// that drive them (the main window itself knows them only as child windows).
#include <QList>

#include "charts/chart_window.h"
#include "row/row_window.h"
#include "shell/main_window.h"

inline TfrmRow* RowWindowOf(const TfrmMain& main) { return qobject_cast<TfrmRow*>(main.RowWindow()); }

inline QList<TfrmChart*> ChartWindowsOf(const TfrmMain& main)
{
    QList<TfrmChart*> charts;
    for (TMDIChild* child : main.ChartWindows())
        if (auto* chart = qobject_cast<TfrmChart*>(child)) charts << chart;
    return charts;
}
