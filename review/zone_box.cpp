#include "review/zone_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "core/catalogue.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* Named(QWidget* parent, const QString& name, const QString& text = QString())
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}
}  // namespace

TZoneBox::TZoneBox(bool editable, QWidget* parent) : QGroupBox("Heart-rate zones", parent), FEditable(editable)
{
    setObjectName("gbxZones");
    setProperty("BaseCaption", title());
    auto* grid = new QGridLayout(this);
    int row = 0;
    if (editable) {
        grid->addWidget(Named(this, "lblMaxHeartRate", "Maximum heart rate (/min)"), row, 0);
        edtMaxHeartRate = new QLineEdit(this);
        edtMaxHeartRate->setObjectName("edtMaxHeartRate");
        edtMaxHeartRate->setToolTip("The rower's maximum heart rate, 100 to 240");
        edtMaxHeartRate->setMaximumWidth(60);
        grid->addWidget(edtMaxHeartRate, row, 1);
        grid->addWidget(Named(this, "lblZoneFrom", "From % of max."), row, 2);
        ++row;
        connect(edtMaxHeartRate, &QLineEdit::editingFinished, this, [this] { ApplyEdits(); });
    }
    for (int i = 0; i < 5; ++i, ++row) {
        lblZone[size_t(i)] = Named(this, QString("lblZone%1").arg(i + 1));
        grid->addWidget(lblZone[size_t(i)], row, 0);
        lblZoneTime[size_t(i)] = Named(this, QString("lblZoneTime%1").arg(i + 1), "-");
        grid->addWidget(lblZoneTime[size_t(i)], row, 1);
        if (editable) {
            auto* e = new QLineEdit(this);
            e->setObjectName(QString("edtZone%1").arg(i + 1));
            e->setToolTip(QString("Lowest heart rate of zone %1, in % of the maximum").arg(i + 1));
            e->setMaximumWidth(60);
            edtZone[size_t(i)] = e;
            grid->addWidget(e, row, 2);
            connect(e, &QLineEdit::editingFinished, this, [this] { ApplyEdits(); });
        }
    }
    grid->addWidget(Named(this, "lblZoneBelowCaption", "Below zone 1"), row, 0);
    lblZoneBelow = Named(this, "lblZoneBelow", "-");
    grid->addWidget(lblZoneBelow, row++, 1);
    grid->addWidget(Named(this, "lblZoneNoneCaption", "No heart rate"), row, 0);
    lblZoneNone = Named(this, "lblZoneNone", "-");
    grid->addWidget(lblZoneNone, row++, 1);
    grid->setColumnStretch(3, 1);
    LoadZones();
}

void TZoneBox::LoadZones()
{
    const std::string file = SettingsFile(false);
    FZones = !file.empty() && FileSizeOf(file) >= 0 ? ReadHeartZones(TProfileFile(file)) : THeartZones();
    FillEdits();
    FillTimes();
}

void TZoneBox::FillEdits()
{
    for (int i = 0; i < 5; ++i) lblZone[size_t(i)]->setText(Q(ZoneCaption(FZones, i)));
    if (!FEditable) return;
    edtMaxHeartRate->setText(QString::number(FZones.MaxHeartRate));
    for (int i = 0; i < 5; ++i) edtZone[size_t(i)]->setText(QString::number(FZones.Lower[size_t(i)]));
}

void TZoneBox::FillTimes()
{
    if (!FSession) return;
    FTimes = ComputeZoneTimes(*FSession, FZones);
    const bool any = FTimes.HasHeartRate();
    for (int i = 0; i < 5; ++i)
        lblZoneTime[size_t(i)]->setText(any ? Q(ZoneTimeText(FTimes.Seconds[size_t(i)], FTimes)) : QString("-"));
    lblZoneBelow->setText(any ? Q(ZoneTimeText(FTimes.Below, FTimes)) : QString("-"));
    lblZoneNone->setText(Q(FormatValue("Th:nn:ss", FTimes.NoHeartRate / 86400)));
}

void TZoneBox::ShowSession(const TTraining& session)
{
    FSession = &session;
    FillTimes();
}

bool TZoneBox::ApplyEdits()
{
    if (!FEditable) return false;
    THeartZones z;
    int32_t v = 0;
    bool numbers = TryParseInt(Trim(edtMaxHeartRate->text().toStdString()), v);
    z.MaxHeartRate = v;
    for (int i = 0; i < 5 && numbers; ++i) {
        numbers = TryParseInt(Trim(edtZone[size_t(i)]->text().toStdString()), v);
        z.Lower[size_t(i)] = v;
    }
    std::string why;
    if (!numbers) why = "The maximum heart rate and the zones' bounds are whole numbers.";
    if (numbers && z.MaxHeartRate == FZones.MaxHeartRate && z.Lower == FZones.Lower) return true;
    if (!numbers || !ValidZones(z, &why)) {
        FillEdits();
        ShowErrorBox(why);
        return false;
    }
    FZones = z;
    const std::string file = SettingsFile(true);
    if (!file.empty() && IsWritable(file)) {
        TProfileFile ini(file);
        WriteHeartZones(ini, z);
        ini.UpdateFile();
    }
    FillEdits();
    FillTimes();
    if (OnZonesChanged) OnZonesChanged();
    return true;
}
