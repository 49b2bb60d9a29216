#include "shell/splash.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "framework/window_util.h"
#include "util/color.h"
#include "util/version.h"

static void InitShellResourcesOnce() { Q_INIT_RESOURCE(catchline); }

void InitShellResources()
{
    static bool done = false;
    if (!done) {
        InitShellResourcesOnce();
        done = true;
    }
}

QPixmap ResourcePicture(const QString& name)
{
    InitShellResources();
    QString file = ":/catchline/" + name.toLower() + ".svg";
    QSvgRenderer renderer(file);
    if (!renderer.isValid()) return QPixmap();
    QPixmap pixmap(renderer.defaultSize());
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon ApplicationIcon()
{
    InitShellResources();
    return QIcon(":/catchline/icon.svg");
}

namespace {
QColor BottomLeftColor(const QPixmap& picture, const QColor& fallback)
{
    if (picture.isNull()) return fallback;
    QImage image = picture.toImage();
    QColor c = image.pixelColor(0, image.height() - 1);
    if (c.alpha() == 0) return fallback;
    c.setAlpha(255);
    return c;
}

// Text drawn on a background in whichever of black and white reads better.
QColor ReadableTextOn(const QColor& background)
{
    const TColor bg = RGBColor(background.red(), background.green(), background.blue());
    return ContrastRatio(bg, RGBColor(255, 255, 255)) >= ContrastRatio(bg, RGBColor(0, 0, 0)) ? QColor(Qt::white)
                                                                                              : QColor(Qt::black);
}

void SetBackground(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    pal.setColor(QPalette::WindowText, ReadableTextOn(c));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}
}  // namespace

std::function<void(TfrmSplash&)> TfrmSplash::ShownHook;

TfrmSplash::TfrmSplash(int steps, const QColor& background, const QFont& font, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
{
    setObjectName("frmSplash");
    setWindowTitle(tr("Loading ..."));
    setFont(font);
    SetBackground(this, background);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(9, 9, 9, 9);
    outer->setSpacing(0);
    pnlSplash = new QWidget(this);
    pnlSplash->setObjectName("pnlSplash");
    auto* layout = new QVBoxLayout(pnlSplash);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QPixmap picture = ResourcePicture("SPLASH");
    imgSplash = new QLabel(pnlSplash);
    imgSplash->setObjectName("imgSplash");
    imgSplash->setPixmap(picture);
    imgSplash->setFixedSize(picture.size());
    layout->addWidget(imgSplash, 0, Qt::AlignHCenter);

    pnlTitle = new QWidget(pnlSplash);
    pnlTitle->setObjectName("pnlTitle");
    auto* title = new QHBoxLayout(pnlTitle);
    imgIcon = new QLabel(pnlTitle);
    imgIcon->setObjectName("imgIcon");
    imgIcon->setPixmap(ApplicationIcon().pixmap(32, 32));
    pnlName = new QWidget(pnlTitle);
    pnlName->setObjectName("pnlName");
    auto* nameLayout = new QVBoxLayout(pnlName);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    lblname = new QLabel(QString::fromStdString(VersionString("FileDescription")), pnlName);
    lblname->setObjectName("lblname");
    lblname->setWordWrap(true);
    lblname->setAlignment(Qt::AlignCenter);
    QFont bold = font;
    bold.setBold(true);
    lblname->setFont(bold);
    nameLayout->addWidget(lblname);
    title->addWidget(imgIcon);
    title->addWidget(pnlName, 1);
    layout->addWidget(pnlTitle);

    pnlParam = new QLabel(tr("Loading ..."), pnlSplash);
    pnlParam->setObjectName("pnlParam");
    pnlParam->setAlignment(Qt::AlignCenter);
    pnlParam->setMinimumHeight(20);
    layout->addWidget(pnlParam);

    pbrParam = new QProgressBar(pnlSplash);
    pbrParam->setObjectName("pbrParam");
    pbrParam->setRange(0, std::max(steps, 0));
    pbrParam->setValue(0);
    pbrParam->setTextVisible(false);
    pbrParam->setFixedHeight(18);
    layout->addWidget(pbrParam);
    outer->addWidget(pnlSplash);
    SetBackground(pnlSplash, BottomLeftColor(picture, background));

    lblVersion = new QLabel(pbrParam);
    lblVersion->setObjectName("lblVersion");
    QFont small = font;
    small.setPixelSize(std::max(pbrParam->contentsRect().height() - 2, 8));
    lblVersion->setFont(small);
    lblVersion->setText(
        QString::fromStdString(VersionString("ProductName") + " " + VersionString("FileVersion") + " "));
    lblVersion->move(1, 1);
    lblVersion->adjustSize();

    setFixedSize(picture.width() + 18, picture.height() + 20 + pnlTitle->sizeHint().height() +
                                           pnlParam->minimumHeight() + pbrParam->height());

    tmrSplash = new QTimer(this);
    tmrSplash->setObjectName("tmrSplash");
    tmrSplash->setInterval(2000);
    tmrSplash->setSingleShot(true);
    connect(tmrSplash, &QTimer::timeout, this, &TfrmSplash::tmrSplashTimer);
    tmrVersion = new QTimer(this);
    tmrVersion->setObjectName("tmrVersion");
    tmrVersion->setSingleShot(true);
    connect(tmrVersion, &QTimer::timeout, this, &TfrmSplash::tmrVersionTimer);
}

void TfrmSplash::SplashCloseTime() { tmrSplash->setInterval(8000); }

void TfrmSplash::SplashStep(const QString& text)
{
    if (pbrParam->value() < pbrParam->maximum()) pbrParam->setValue(pbrParam->value() + 1);
    pnlParam->setText(text);
    repaint();
}

void TfrmSplash::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QScreen* screen = QApplication::primaryScreen()) {
        QRect r = screen->availableGeometry();
        move(r.center() - rect().center());
    }
    tmrVersion->setInterval(tmrSplash->interval() / 2);
    tmrSplash->start();
    tmrVersion->start();
    if (ShownHook) ShownHook(*this);
}

void TfrmSplash::tmrSplashTimer()
{
    tmrSplash->stop();
    if (isModal() && isVisible()) accept();  // a modally shown splash closes
    else setResult(QDialog::Accepted);
}

void TfrmSplash::tmrVersionTimer()
{
    tmrVersion->stop();
    lblVersion->hide();
}

// ---- About ----

namespace {
const char* const kVersionKeys[] = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                                    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                                    "ProductVersion", "SpecialBuild",    "Comments",         "Website",
                                    "Email",          "DevelopedBy"};

const char* const kCredits[6][2] = {
    {"The Qt Company and contributors", "Qt application framework and Qt Charts"},
    {"freedesktop.org", "Icon theme, shared MIME info and desktop entries"},
    {"Google", "GoogleTest and Google Benchmark"},
    {"Niels Lohmann", "JSON for Modern C++"},
    {"The LLVM project", "libFuzzer"},
    {"Debian", "The packages the program is built from"},
};

QTableWidget* MakeGrid(QWidget* parent, const char* name)
{
    auto* grid = new QTableWidget(1, 2, parent);
    grid->setObjectName(name);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setDefaultSectionSize(150);
    // The value column takes the width the key column leaves.
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return grid;
}

QWidget* TitledPage(QWidget* parent, const QString& title, QTableWidget*& grid, const char* gridName)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(title, page);
    label->setAlignment(Qt::AlignCenter);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    layout->addWidget(label);
    grid = MakeGrid(page, gridName);
    layout->addWidget(grid, 1);
    return page;
}
}  // namespace

TfrmAbout::TfrmAbout(const QColor& dialogColor, QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle(tr("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QPixmap picture = ResourcePicture("SPLASH");
    if (IsThemeActive()) SetBackground(this, dialogColor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    pgcAbout = new QTabWidget(this);
    pgcAbout->setObjectName("pgcAbout");

    tshGeneral = new QWidget(pgcAbout);
    tshGeneral->setObjectName("tshGeneral");
    auto* general = new QVBoxLayout(tshGeneral);
    auto* picturePanel = new QWidget(tshGeneral);
    picturePanel->setObjectName("pnlPicture");
    auto* pictureLayout = new QVBoxLayout(picturePanel);
    imgAbout = new QLabel(picturePanel);
    imgAbout->setObjectName("imgAbout");
    imgAbout->setPixmap(picture);
    imgAbout->setAlignment(Qt::AlignCenter);
    pictureLayout->addWidget(imgAbout);
    auto* nameRow = new QHBoxLayout();
    imgIcon = new QLabel(picturePanel);
    imgIcon->setObjectName("imgIcon");
    imgIcon->setPixmap(ApplicationIcon().pixmap(32, 32));
    pnlName = new QLabel(QString::fromStdString(VersionString("FileDescription")), picturePanel);
    pnlName->setObjectName("pnlName");
    QFont bold = pnlName->font();
    bold.setBold(true);
    pnlName->setFont(bold);
    nameRow->addWidget(imgIcon);
    nameRow->addWidget(pnlName, 1);
    pictureLayout->addLayout(nameRow);
    pnlWebsite = new QLabel(picturePanel);
    pnlWebsite->setObjectName("pnlWebsite");
    pnlWebsite->setCursor(Qt::PointingHandCursor);
    pnlWebsite->setAlignment(Qt::AlignCenter);
    pnlWebsite->installEventFilter(this);
    pictureLayout->addWidget(pnlWebsite);
    SetBackground(picturePanel, BottomLeftColor(picture, palette().color(QPalette::Window)));
    general->addWidget(picturePanel);
    pgcAbout->addTab(tshGeneral, tr("General"));

    tshVersion = TitledPage(pgcAbout, tr("Version information"), stgVersion, "stgVersion");
    tshVersion->setObjectName("tshVersion");
    pgcAbout->addTab(tshVersion, tr("&Version"));
    tshCredits = TitledPage(pgcAbout, tr("This software has been built with the help of"), stgCredits, "stgCredits");
    tshCredits->setObjectName("tshCredits");
    pgcAbout->addTab(tshCredits, tr("&Credits"));
    tshStatistics = TitledPage(pgcAbout, tr("Program usage statistics"), stgStatistics, "stgStatistics");
    tshStatistics->setObjectName("tshStatistics");
    pgcAbout->addTab(tshStatistics, tr("&Statistics"));
    layout->addWidget(pgcAbout, 1);

    btbOk = new QPushButton(tr("OK"), this);
    btbOk->setObjectName("btbOk");
    btbOk->setFixedSize(90, 25);
    layout->addWidget(btbOk, 0, Qt::AlignHCenter);
    connect(btbOk, &QPushButton::clicked, this, &QDialog::accept);

    for (const char* key : kVersionKeys) AddGridRow(stgVersion, key, QString::fromStdString(VersionString(key)));
    for (const auto& credit : kCredits) AddGridRow(stgCredits, credit[0], credit[1]);
    stgVersion->setMouseTracking(true);
    stgVersion->viewport()->installEventFilter(this);
    connect(stgVersion, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { stgVersionDblClick(row); });

    resize(picture.width() + 26, picture.height() + 220);
}

void TfrmAbout::AddGridRow(QTableWidget* grid, const QString& key, const QString& value)
{
    int last = grid->rowCount() - 1;
    if (last < 0 || (grid->item(last, 0) && !grid->item(last, 0)->text().isEmpty())) {
        grid->insertRow(grid->rowCount());
        last = grid->rowCount() - 1;
    }
    grid->setItem(last, 0, new QTableWidgetItem(key));
    grid->setItem(last, 1, new QTableWidgetItem(value));
}

void TfrmAbout::WidenValueColumn(QTableWidget* grid)
{
    int rowsHeight = 0;
    for (int r = 0; r < grid->rowCount(); ++r) rowsHeight += grid->rowHeight(r);
    int width = grid->viewport()->width() - grid->columnWidth(0) - 2;
    if (rowsHeight > grid->viewport()->height()) width -= 10;
    grid->setColumnWidth(1, std::max(width, 50));
}

void TfrmAbout::Fill(const QFont& font, const TProgramStatistics& st, double startTime, double now)
{
    pnlWebsite->setText(QString::fromStdString(VersionString("Website")));
    setFont(font);
    int rowHeight = 2 * std::max(QFontInfo(font).pixelSize(), 8);
    for (QTableWidget* grid : {stgVersion, stgCredits, stgStatistics})
        grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    stgStatistics->setRowCount(1);
    stgStatistics->clearContents();
    AddGridRow(stgStatistics, "Running time", QString::fromStdString(DurationText(RunningTimeNow(st, startTime, now))));
    AddGridRow(stgStatistics, "Times started", QString::number(st.TimesStarted));
    AddGridRow(stgStatistics, "Rowing time", QString::fromStdString(DurationText(st.RowingTime)));
    AddGridRow(stgStatistics, "Rowing sessions", QString::number(st.RowingSessions));
    AddGridRow(stgStatistics, "Files opened", QString::number(st.FilesOpened));
    AddGridRow(stgStatistics, "Files saved", QString::number(st.FilesSaved));
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    pgcAbout->setCurrentWidget(tshGeneral);
    pgcAbout->setTabText(0, tr("General"));
    for (QTableWidget* grid : {stgVersion, stgCredits, stgStatistics}) WidenValueColumn(grid);
    btbOk->setFocus();
}

void TfrmAbout::stgVersionDblClick(int row)
{
    if (row < 0 || row >= stgVersion->rowCount() || !stgVersion->item(row, 0)) return;
    QString key = stgVersion->item(row, 0)->text();
    QString value = stgVersion->item(row, 1) ? stgVersion->item(row, 1)->text() : QString();
    if (key == "Email") OpenWithShell("mailto:" + value.toStdString());
    else if (key == "Website" || key == "DevelopedBy") OpenWithShell("http://" + value.toStdString());
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlWebsite && event->type() == QEvent::MouseButtonRelease) {
        OpenWithShell("http://" + pnlWebsite->text().toStdString());
        return true;
    }
    if (stgVersion && watched == stgVersion->viewport() && event->type() == QEvent::MouseMove) {
        auto* me = static_cast<QMouseEvent*>(event);
        int row = stgVersion->rowAt(int(me->position().y()));
        QString key = row >= 0 && stgVersion->item(row, 0) ? stgVersion->item(row, 0)->text() : QString();
        stgVersion->viewport()->setCursor(
            key == "Email" || key == "Website" || key == "DevelopedBy" ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSplash::SetParamText(const QString& text) { pnlParam->setText(text); }
