#include "logic/value_data.h"

#include <algorithm>

TValueData::TValueData(QObject* parent) : QObject(parent) {}

// The areas hold the store through a guarded pointer: it becomes none here.
TValueData::~TValueData() = default;

void TValueData::AddItem(int32_t id, const std::string& name, const std::string& hint, const std::string& format)
{
    auto it = Index.find(id);
    size_t pos;
    if (it == Index.end()) {
        pos = Items.size();
        Items.emplace_back();
        Index[id] = pos;
    } else {
        pos = it->second;
    }
    TValueItem& item = Items[pos];
    item = TValueItem{};
    item.History.fill(0);
    item.Name = "Dummy";
    item.ID = id;
    item.Name = name;
    item.Hint = hint;
    item.Format = format;
}

bool TValueData::HasItem(int32_t id) const { return Index.count(id) != 0; }

const TValueItem* TValueData::FindItem(int32_t id) const
{
    auto it = Index.find(id);
    return it == Index.end() ? nullptr : &Items[it->second];
}

TValueItem TValueData::GetItem(int32_t id) const
{
    if (const TValueItem* item = FindItem(id)) return *item;
    TValueItem none;
    none.ID = -1;
    none.History.fill(0);
    return none;
}

void TValueData::SetCaption(int32_t id, const std::string& caption)
{
    auto it = Index.find(id);
    if (it != Index.end()) Items[it->second].Caption = caption;
}

void TValueData::SetNoneWhenZero(int32_t id, bool none)
{
    auto it = Index.find(id);
    if (it != Index.end()) Items[it->second].NoneWhenZero = none;
}

void TValueData::SetValue(int32_t id, bool live, double v)
{
    auto it = Index.find(id);
    if (it == Index.end()) return;
    TValueItem& item = Items[it->second];
    item.Value = v;
    if (!live) return;
    std::move(item.History.begin() + 1, item.History.end(), item.History.begin());
    item.History[kValueHistory - 1] = v;
    double sum = 0;
    int count = 0;
    for (double h : item.History)
        if (h > 0) {
            sum += h;
            ++count;
        }
    item.Average = count > 0 ? sum / count : v;
}

void TValueData::Clear()
{
    for (TValueItem& item : Items) {
        item.Value = 0;
        item.Average = 0;
        item.History.fill(-1);
    }
    Refresh();
}

void TValueData::Refresh() { emit Changed(); }

void TValueData::RefreshValues() { emit ValuesChanged(); }

int32_t TValueData::ItemIdAt(int k) const
{
    if (k < 1 || k > ItemCount()) return -1;
    return Items[size_t(k - 1)].ID;
}

void TValueData::SetLogo(const QString& picture)
{
    FLogo = picture;
    Refresh();
}

void TValueData::SetLogoPosition(TLogoPosition position)
{
    FLogoPosition = position;
    Refresh();
}

void TValueData::SetLogoMode(TLogoMode mode)
{
    FLogoMode = mode;
    Refresh();
}
