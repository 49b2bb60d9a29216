#pragma once
// The value store of the row window: the parameters the value areas can show,
// with each parameter's current value, its last 25 live values and their
// average, and the logo picture of logo cells. One store serves any number of
// value areas: each listens to Changed() and repaints; the store knows none
// of them.
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <QObject>
#include <QString>

constexpr int kValueHistory = 25;

struct TValueItem {
    int32_t ID = -1;
    std::string Name;    // short caption: the cell's caption and the menu caption
    std::string Hint;    // long caption with unit
    std::string Format;  // display format for FormatValue
    double Value = 0;
    std::array<double, kValueHistory> History{};  // oldest first; -1 = empty slot
    double Average = 0;                           // mean of the positive history values
    std::string Caption;        // the cell's caption when it is not Name (a countdown to the session limit)
    bool NoneWhenZero = false;  // 0 means "no value": the cell shows a dash (the pulse without a heart signal)
};

enum TLogoPosition { lpCenter, lpStretch, lpProportional };
enum TLogoMode { lmOpaque, lmTransparant, lmFill };

class TValueData : public QObject {
    Q_OBJECT
public:
    explicit TValueData(QObject* parent = nullptr);
    ~TValueData() override;

    // Appends an item for a new id, then resets the item (Name "Dummy", all
    // values zero) and gives it id, name, hint and format.
    void AddItem(int32_t id, const std::string& name, const std::string& hint, const std::string& format);
    bool HasItem(int32_t id) const;
    // A copy; a zeroed record with ID -1 for an unknown id.
    TValueItem GetItem(int32_t id) const;
    // The item itself, nullptr for an unknown id.
    const TValueItem* FindItem(int32_t id) const;
    // The cell caption of an item ("" = its Name).
    void SetCaption(int32_t id, const std::string& caption);
    // Values of 0 or less are shown as "no value" (a dash).
    void SetNoneWhenZero(int32_t id, bool none);
    // Value := v; live also shifts the history and renews the average.
    void SetValue(int32_t id, bool live, double v);
    // Every value and average 0, every history slot empty; then Refresh.
    void Clear();
    // Tells every area showing the store to repaint (Changed).
    void Refresh();
    // Only values changed (a stroke, a clock tick): the areas repaint the
    // cells whose text is no longer what they show (ValuesChanged).
    void RefreshValues();

    int ItemCount() const { return int(Items.size()); }
    // Id of the k-th item (1-based); -1 outside 1..ItemCount.
    int32_t ItemIdAt(int k) const;
    const std::vector<TValueItem>& ItemList() const { return Items; }

    // The picture of logo cells: a file or resource path ("" = none).
    const QString& Logo() const { return FLogo; }
    void SetLogo(const QString& picture);
    TLogoPosition LogoPosition() const { return FLogoPosition; }
    void SetLogoPosition(TLogoPosition position);
    TLogoMode LogoMode() const { return FLogoMode; }
    void SetLogoMode(TLogoMode mode);

signals:
    // Values or the logo changed: the areas repaint.
    void Changed();
    // Only values changed.
    void ValuesChanged();

private:
    std::vector<TValueItem> Items;
    std::unordered_map<int32_t, size_t> Index;  // id -> position in Items
    QString FLogo;
    TLogoPosition FLogoPosition = lpCenter;
    TLogoMode FLogoMode = lmOpaque;
};
