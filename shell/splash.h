#pragma once
// The splash window (start-up progress with the product picture) and the
// about window (picture, version information, credits, usage statistics),
// with the program's pictures.
#include <functional>

#include <QDialog>
#include <QPixmap>

#include "logic/main_logic.h"

class QLabel;
class QProgressBar;
class QTabWidget;
class QTableWidget;
class QTimer;
class QWidget;
class QPushButton;

// The program's pictures by resource name: "SPLASH", "BACKGROUND", "LOGO",
// "ICON" (null when the name is unknown).
QPixmap ResourcePicture(const QString& name);
QIcon ApplicationIcon();
// Makes the compiled-in pictures available (call once before using them).
void InitShellResources();

class TfrmSplash : public QDialog {
    Q_OBJECT
public:
    TfrmSplash(int steps, const QColor& background, const QFont& font, QWidget* parent = nullptr);

    // Sets the close timer to 8000 ms (start-up without arguments).
    void SplashCloseTime();
    // Advances the progress bar by one (not beyond its maximum) and shows text.
    void SplashStep(const QString& text);
    // The line under the title (the file being opened, or nothing).
    void SetParamText(const QString& text);

    QLabel* lblname = nullptr;
    QProgressBar* pbrParam = nullptr;

    // Called whenever a splash window is shown (tests fire its timers from here).
    static std::function<void(TfrmSplash&)> ShownHook;

    // The timers' handlers.
    void tmrSplashTimer();
    void tmrVersionTimer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The controls (object name = member name).
    QWidget* pnlSplash = nullptr;
    QLabel* imgSplash = nullptr;
    QWidget* pnlTitle = nullptr;
    QLabel* imgIcon = nullptr;
    QWidget* pnlName = nullptr;
    QLabel* pnlParam = nullptr;
    QLabel* lblVersion = nullptr;
    QTimer* tmrSplash = nullptr;
    QTimer* tmrVersion = nullptr;
};

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(const QColor& dialogColor, QWidget* parent = nullptr);

    // Fills the pages: website, appearance and the statistics rows.
    void Fill(const QFont& font, const TProgramStatistics& statistics, double startTime, double now);
    // Adds a row to a two-column grid (the first empty row is used first).
    static void AddGridRow(QTableWidget* grid, const QString& key, const QString& value);

    QTableWidget* stgVersion = nullptr;
    QTableWidget* stgCredits = nullptr;
    QTableWidget* stgStatistics = nullptr;

    // Opens the address behind a version row ("Email", "Website", "DevelopedBy").
    void stgVersionDblClick(int row);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls (object name = member name).
    QTabWidget* pgcAbout = nullptr;
    QWidget* tshGeneral = nullptr;
    QWidget* tshVersion = nullptr;
    QWidget* tshCredits = nullptr;
    QWidget* tshStatistics = nullptr;
    QLabel* imgAbout = nullptr;
    QLabel* imgIcon = nullptr;
    QLabel* pnlName = nullptr;
    QLabel* pnlWebsite = nullptr;
    QPushButton* btbOk = nullptr;
    static void WidenValueColumn(QTableWidget* grid);
};
