#include "row/new_row_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "files/file_names.h"
#include "files/training_io.h"
#include "framework/registry.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

namespace {

constexpr int kMaxEditLength = 250;
// Section of the program settings that keeps the last rower.
constexpr const char* kLastRower = "LastRower";
constexpr int kLabelWidth = 70;
constexpr int kSpacer = 8;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The list entries without the leading "-".
void FillList(QComboBox* box, const std::vector<std::string>& names)
{
    box->clear();
    for (size_t i = 1; i < names.size(); ++i) box->addItem(Q(names[i]));
}

void SelectValue(QComboBox* box, int32_t value)
{
    box->setCurrentIndex(value >= 0 && value < box->count() ? int(value) : -1);
}

// A list without a selection keeps the stored value.
int32_t ListValue(const QComboBox* box, int32_t old)
{
    return box->currentIndex() >= 0 ? int32_t(box->currentIndex()) : old;
}

// An edit normally takes at most 250 characters; a longer text read from a
// file is shown whole rather than cut.
void SetEditText(QLineEdit* edit, const std::string& text)
{
    const QString t = Q(text);
    edit->setMaxLength(t.size() > kMaxEditLength ? int(t.size()) : kMaxEditLength);
    edit->setText(t);
}

}  // namespace

TfrmNewRow::TfrmNewRow(QWidget* parent) : TFormDialog(parent)
{
    setObjectName("frmNewRow");
    setWindowTitle("New row window");
    Record.Magic = kTrainingMagic;
    Record.ProgramVersion = ProgramVersion();

    if (TMainRegistry* r = MainRegistry()) {
        DesignedColor = r->DialogColor();
        QPalette pal = palette();
        pal.setColor(QPalette::Window, DesignedColor);
        setPalette(pal);
        setAutoFillBackground(true);
    }

    QWidget* client = ClientArea();
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(kSpacer, kSpacer, kSpacer, kSpacer);
    column->setSpacing(0);

    auto addRow = [&](const char* name, const char* caption, QWidget* control, QWidget* after) {
        auto* panel = new QWidget(client);
        panel->setObjectName(name);
        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(caption, panel);
        label->setObjectName(QString(name).replace("pnl", "lbl"));
        label->setFixedWidth(kLabelWidth);
        label->setBuddy(control);
        row->addWidget(label);
        control->setParent(panel);
        row->addWidget(control, after ? 0 : 1);
        if (after) {
            after->setParent(panel);
            row->addWidget(after);
            row->addStretch(1);
        }
        column->addWidget(panel);
        return panel;
    };

    edtTitle = new QLineEdit;
    edtTitle->setObjectName("edtTitle");
    edtTitle->setMaxLength(kMaxEditLength);
    edtName = new QLineEdit;
    edtName->setObjectName("edtName");
    edtName->setMaxLength(kMaxEditLength);
    edtWeight = new QLineEdit;
    edtWeight->setObjectName("edtWeight");
    edtWeight->setFixedWidth(60);
    lblKgs = new QLabel("Kgs");
    lblKgs->setObjectName("lblKgs");
    cmbGender = new QComboBox;
    cmbGender->setObjectName("cmbGender");
    cmbBoat = new QComboBox;
    cmbBoat->setObjectName("cmbBoat");
    cmbSprocket = new QComboBox;
    cmbSprocket->setObjectName("cmbSprocket");
    for (QComboBox* box : {cmbGender, cmbBoat, cmbSprocket}) box->setMinimumWidth(150);

    pnlTitle = addRow("pnlTitle", "&Title", edtTitle, nullptr);
    pnlName = addRow("pnlName", "&Name", edtName, nullptr);
    pnlWeight = addRow("pnlWeight", "&Weight", edtWeight, lblKgs);
    pnlGender = addRow("pnlGender", "&Gender", cmbGender, new QWidget);
    pnlBoat = addRow("pnlBoat", "&Boat", cmbBoat, new QWidget);
    pnlSprocket = addRow("pnlSprocket", "&Sprocket", cmbSprocket, new QWidget);
    column->addStretch(1);

    FillList(cmbGender, GenderNames());
    FillList(cmbBoat, BoatNames());
    FillList(cmbSprocket, SprocketNames());

    // "Open ..." at the left of the button row, before the OK and Cancel panel.
    btnOpen = new QPushButton("O&pen ...", pnlButtons);
    btnOpen->setObjectName("btnOpen");
    btnOpen->setFixedWidth(90);
    if (auto* outer = qobject_cast<QVBoxLayout*>(pnlButtons->layout())) {
        for (int i = 0; i < outer->count(); ++i) {
            if (auto* row = qobject_cast<QHBoxLayout*>(outer->itemAt(i)->layout())) {
                row->insertWidget(0, btnOpen);
                break;
            }
        }
    }
    pnlButtons->installEventFilter(this);

    connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpenClick(); });
    disconnect(btbOk, nullptr, this, nullptr);
    connect(btbOk, &QPushButton::clicked, this, [this] { btbOkClick(); });

    resize(420, height());
    SetAppearance(font(), palette().color(QPalette::Text), palette().color(QPalette::Base), DesignedColor);
}

int TfrmNewRow::RowHeightFor(const QFont& font)
{
    const int textHeight = QFontMetrics(font).height();
    return textHeight > 16 ? textHeight + 13 : 25;
}

void TfrmNewRow::SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                               const QColor& faceColor)
{
    (void)faceColor;
    TFormDialog::SetAppearance(font, textColor, windowColor, DesignedColor);
    for (QWidget* w : std::initializer_list<QWidget*>{edtTitle, edtName, edtWeight, cmbGender, cmbBoat, cmbSprocket}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Base, windowColor);
        pal.setColor(QPalette::Text, textColor);
        w->setPalette(pal);
    }
    btnOpen->setFont(font);
    RowHeight = RowHeightFor(font);
    for (QWidget* row : {pnlTitle, pnlName, pnlWeight, pnlGender, pnlBoat, pnlSprocket}) row->setFixedHeight(RowHeight);
    const int buttonRow = RowHeight + 15;
    pnlButtons->setFixedHeight(buttonRow);
    // The bottom of the last field row, its spacer, then the button row (the
    // window frame is outside the client height here).
    const int fieldsBottom = kSpacer + 6 * RowHeight;
    const int total = fieldsBottom + kSpacer + buttonRow;
    setMinimumHeight(total);
    setMaximumHeight(total);
    resize(width(), total);
    ButtonRowResize();
}

bool TfrmNewRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlButtons && event->type() == QEvent::Resize) ButtonRowResize();
    return TFormDialog::eventFilter(watched, event);
}

void TfrmNewRow::ButtonRowResize()
{
    const int h = std::max(1, pnlButtons->height() - 15);
    for (QPushButton* b : {btnOpen, btbOk, btbCancel}) b->setFixedHeight(h);
}

std::string TfrmNewRow::LastDir() const
{
    if (LastFolder) return LastFolder();
    if (TMainRegistry* r = MainRegistry()) return r->LastDir();
    return {};
}

void TfrmNewRow::StoreLastDir(const std::string& folder)
{
    if (SetLastFolder) SetLastFolder(folder);
    else if (TMainRegistry* r = MainRegistry()) r->SetLastDir(folder);
}

void TfrmNewRow::LoadUserFile(const std::string& file)
{
    std::string use = file;
    TTraining loaded;
    bool haveLoaded = false;
    if (ExtractFileName(file) == "?") {
        use.clear();
        const TDialogFilter filter = DialogFilter(dkTraining | dkUser, true, true);
        TFileDialogRequest request;
        request.Title = "Open user file";
        request.Filter = filter.Filter;
        request.FilterIndex = filter.DefaultIndex;
        request.InitialDir = LastDir();
        request.DefaultExt = "ini";
        request.OverwritePrompt = false;
        const TFileDialogResult chosen = Dialogs().FileDialog(request);
        if (chosen.Accepted && !chosen.FileName().empty()) {
            const std::string path = chosen.FileName();
            OpenTraining(path, loaded, true);
            if (IsUserOnly(loaded) && IsEmptyTraining(loaded)) {
                use = path;
                haveLoaded = true;
            } else {
                ShowErrorBox(Format("File \"%s\" is not a valid User file.", path.c_str()));
            }
        }
    }
    if (use.empty() || !FileExists(use)) return;
    // A file that cannot be read (reported by OpenTraining) leaves the
    // dialog's values as they were.
    if (!haveLoaded && !OpenTraining(use, loaded, true)) return;

    loaded.Magic = Record.Magic;
    loaded.ProgramVersion = Record.ProgramVersion;
    loaded.ClientId = Record.ClientId;
    loaded.Client = Record.Client;
    Record = std::move(loaded);

    TTrainingHeader& h = Record.Header;
    h.FileType = ftSTG;
    h.ContentKind = ckRow;
    h.DateTime = NowDays();
    h.Modified = 1;
    // The new session never takes the name of the file its user came from, so
    // saving it cannot overwrite that file.
    h.FileName.SetText("?");
    StoreLastDir(ExtractFilePath(use));
    UserLoaded = true;
    FillControls();
}

void TfrmNewRow::FillControls()
{
    SetEditText(edtTitle, Record.Header.Title.Text());
    SetEditText(edtName, Record.Header.Name.Text());
    edtWeight->setText(Q(std::to_string(Record.Settings.Weight)));
    SelectValue(cmbGender, Record.Settings.Gender);
    SelectValue(cmbBoat, Record.Settings.BoatType);
    SelectValue(cmbSprocket, Record.Settings.Sprocket);
}

void TfrmNewRow::FormShow()
{
    TTrainingHeader& h = Record.Header;
    // A user file loaded before the show keeps its values and stays marked
    // modified; otherwise the session starts from the template user.
    if (!UserLoaded) {
        NewTraining(Record);
        if (RecallRower() && SameText(h.Title.Text(), DefaultHeader().Title.Text()))
            h.Title.SetText(RowerTitle(h.Name.Text(), h.DateTime));
        h.Modified = 0;
    }
    h.FileType = ftSTG;
    h.ContentKind = ckRow;
    h.FileName.SetText("?");
    FillControls();
    const bool editable = MainRegistry() ? MainRegistry()->EditAllowed() : true;
    for (QWidget* w :
         std::initializer_list<QWidget*>{edtTitle, edtName, edtWeight, cmbGender, cmbBoat, cmbSprocket, btnOpen})
        w->setEnabled(editable);
}

void TfrmNewRow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        FormShow();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect r = screen->availableGeometry();
            move(r.center().x() - width() / 2, r.center().y() - height() / 2);
        }
    }
    TFormDialog::showEvent(event);
    if (!event->spontaneous() && edtName->isEnabled()) edtName->setFocus();
}

void TfrmNewRow::done(int result)
{
    UserLoaded = false;
    TFormDialog::done(result);
}

bool TfrmNewRow::Execute() { return exec() == QDialog::Accepted; }

bool TfrmNewRow::Ask(TTraining& record)
{
    if (!Execute()) return false;
    record = Record;
    return true;
}

bool TfrmNewRow::TakeValues()
{
    const std::string weightText = edtWeight->text().toStdString();
    int32_t weight = 0;
    if (!TryParseInt(weightText, weight)) {
        ShowErrorBox(Format("'%s' is not a valid integer value", weightText.c_str()));
        edtWeight->setFocus();
        edtWeight->selectAll();
        return false;
    }
    TTrainingSettings& s = Record.Settings;
    TTrainingHeader& h = Record.Header;
    const TTrainingSettings oldSettings = s;
    const std::string oldTitle = h.Title.Text();
    const std::string oldName = h.Name.Text();

    s.Weight = weight;
    s.Gender = ListValue(cmbGender, s.Gender);
    s.BoatType = ListValue(cmbBoat, s.BoatType);
    s.Sprocket = ListValue(cmbSprocket, s.Sprocket);
    h.Title.SetText(edtTitle->text().toStdString());
    h.Name.SetText(edtName->text().toStdString());
    // A title left at the default "Anyone" (or at the title made for the
    // rower shown) would name every session alike: the session is then
    // titled by its rower and its start.
    const std::string name = Trim(h.Name.Text());
    const std::string anyone = DefaultHeader().Title.Text();
    const std::string title = Trim(h.Title.Text());
    const bool madeTitle = SameText(title, anyone) || (title == oldTitle && title == RowerTitle(oldName, h.DateTime));
    if (madeTitle) h.Title.SetText(name.empty() || SameText(name, anyone) ? anyone : RowerTitle(name, h.DateTime));

    if (s.Weight != oldSettings.Weight || s.Gender != oldSettings.Gender || s.BoatType != oldSettings.BoatType ||
        s.Sprocket != oldSettings.Sprocket || h.Title.Text() != oldTitle || h.Name.Text() != oldName)
        h.Modified = 1;
    return true;
}

void TfrmNewRow::btnOpenClick() { LoadUserFile("?"); }

void TfrmNewRow::btbOkClick()
{
    if (!TakeValues()) return;
    RememberRower();
    accept();
}

std::string TfrmNewRow::RowerTitle(const std::string& name, double dateTime)
{
    return name + " " + LocaleShortDate(dateTime) + " " + FormatDateTime("hh:nn", dateTime);
}

namespace {

std::string RowerSettings(bool forWriting)
{
    if (TMainRegistry* r = MainRegistry())
        return forWriting ? r->SettingsFileForWriting() : r->SettingsFileForReading();
    return SettingsFile(forWriting);
}

}  // namespace

void TfrmNewRow::RememberRower() const
{
    const std::string file = RowerSettings(true);
    if (file.empty()) return;
    TProfileFile ini(file);
    const TTrainingSettings& s = Record.Settings;
    ini.WriteString(kLastRower, "Name", Record.Header.Name.Text());
    ini.WriteInteger(kLastRower, "Weight", s.Weight);
    ini.WriteInteger(kLastRower, "Gender", s.Gender);
    ini.WriteInteger(kLastRower, "BoatType", s.BoatType);
    ini.WriteInteger(kLastRower, "Sprocket", s.Sprocket);
    ini.UpdateFile();  // a settings file that cannot be written only forgets the rower
}

bool TfrmNewRow::RecallRower()
{
    const std::string file = RowerSettings(false);
    if (file.empty() || !FileExists(file)) return false;
    TProfileFile ini(file);
    if (!ini.ValueExists(kLastRower, "Name")) return false;
    TTrainingSettings& s = Record.Settings;
    Record.Header.Name.SetText(ini.ReadString(kLastRower, "Name", Record.Header.Name.Text()));
    // Values outside the lists or a weight no rower has keep the template's.
    const int32_t weight = ini.ReadInteger(kLastRower, "Weight", s.Weight);
    if (weight > 0 && weight < 1000) s.Weight = weight;
    auto listValue = [&](const char* key, int32_t& value, const std::vector<std::string>& names) {
        const int32_t v = ini.ReadInteger(kLastRower, key, value);
        if (v >= 0 && v + 1 < int32_t(names.size())) value = v;
    };
    listValue("Gender", s.Gender, GenderNames());
    listValue("BoatType", s.BoatType, BoatNames());
    listValue("Sprocket", s.Sprocket, SprocketNames());
    return true;
}
