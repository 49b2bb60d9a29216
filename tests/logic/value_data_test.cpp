// The row window's value store: histories, averages and unknown ids, and one
// change announcement per refresh rather than per value.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

#include "logic/value_data.h"

namespace {

std::unique_ptr<TValueData> Store()
{
    auto data = std::make_unique<TValueData>();
    for (int id = 1; id <= 12; ++id) data->AddItem(id, "P" + std::to_string(id), "Parameter", "%.0f");
    return data;
}

}  // namespace

TEST(ValueStore, HistoriesAveragesAndUnknownIds)
{
    auto data = Store();
    data->Clear();
    for (int i = 0; i < 3; ++i) data->SetValue(1, true, 0);
    TValueItem item = data->GetItem(1);
    EXPECT_EQ(item.History[kValueHistory - 1], 0);
    EXPECT_EQ(item.History[kValueHistory - 2], 0);
    EXPECT_EQ(item.History[kValueHistory - 3], 0);
    EXPECT_EQ(item.History[kValueHistory - 4], -1);  // still empty
    EXPECT_EQ(item.Average, 0);

    data->Clear();
    data->SetValue(2, true, 100);
    data->SetValue(2, true, 0);
    data->SetValue(2, true, 200);
    EXPECT_DOUBLE_EQ(data->GetItem(2).Average, 150);
    // A value that is not live changes only the value.
    data->SetValue(2, false, 999);
    item = data->GetItem(2);
    EXPECT_EQ(item.Value, 999);
    EXPECT_EQ(item.History[kValueHistory - 1], 200);
    EXPECT_DOUBLE_EQ(item.Average, 150);
    // The history keeps the last 25 live values.
    for (int i = 1; i <= 30; ++i) data->SetValue(3, true, i);
    item = data->GetItem(3);
    EXPECT_EQ(item.History[0], 6);
    EXPECT_EQ(item.History[kValueHistory - 1], 30);
    EXPECT_DOUBLE_EQ(item.Average, 18);

    EXPECT_EQ(data->GetItem(77).ID, -1);
    data->SetValue(77, true, 5);  // nothing happens
    EXPECT_FALSE(data->HasItem(77));
    EXPECT_EQ(data->ItemCount(), 12);
}

TEST(ValueStore, OneChangeAnnouncedPerRefresh)
{
    auto data = Store();
    QSignalSpy changed(data.get(), &TValueData::Changed);
    // The engine pushes every value of a stroke, then refreshes once: the
    // areas repaint once per stroke, not once per value.
    for (int id = 1; id <= 12; ++id) data->SetValue(id, true, id);
    EXPECT_EQ(changed.count(), 0);
    data->Refresh();
    EXPECT_EQ(changed.count(), 1);
    data->Clear();
    EXPECT_EQ(changed.count(), 2);
    data->SetLogo(":/logo.svg");
    EXPECT_EQ(data->Logo(), ":/logo.svg");
    EXPECT_EQ(changed.count(), 3);
}
