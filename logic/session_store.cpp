#include "logic/session_store.h"

#include <algorithm>

#include "files/journal.h"
#include "files/training_io.h"
#include "logic/main_logic.h"
#include "logic/training_logic.h"
#include "util/dialogs.h"
#include "util/text.h"

TSessionStore::TSessionStore(QObject* parent) : QObject(parent), FLastId(kFirstSessionId - 1)
{
    for (TTraining& a : FAverages) ClearTraining(a);
}

TSessionStore::~TSessionStore() = default;

// ---- identity ---------------------------------------------------------------------------

bool TSessionStore::Full() const { return Count() >= kMaxTrainings; }

bool TSessionStore::TooManyTrainings() const
{
    if (!Full()) return false;
    ShowErrorBox(Format("Only %d file(s) / training session(s) can be opened at the same time.", kMaxTrainings));
    return true;
}

int32_t TSessionStore::NextId() { return ++FLastId; }

TTraining& TSessionStore::Add(const TTraining& record, int32_t id)
{
    // Ids given from outside keep the counter ahead of them.
    if (id > FLastId) FLastId = id;
    auto copy = std::make_shared<TTraining>(record);
    copy->ClientId = id;
    const int existing = IndexOf(id);
    if (existing >= 0) {
        FSessions[size_t(existing)].Record = copy;
        emit SessionReset(id);
        return *copy;
    }
    FSessions.insert(FSessions.begin(), TEntry{id, copy});
    emit SessionAdded(id);
    return *copy;
}

bool TSessionStore::Remove(int32_t id)
{
    const int i = IndexOf(id);
    if (i < 0) return false;
    // The session is closed: saved, or given up by the user who closed it.
    // Either way its journal ends (a recording still writing it ends it
    // itself when its engine hears of the removal).
    TTraining& t = *FSessions[size_t(i)].Record;
    EndSessionJournal(t, t.Header.Modified == 1 ? jeDiscarded : jeSaved);
    // The record lives on for holders that shared it until they let go.
    FSessions.erase(FSessions.begin() + i);
    emit SessionRemoved(id);
    return true;
}

// ---- access -----------------------------------------------------------------------------

TTraining* TSessionStore::At(int index)
{
    if (index >= 0 && index < Count()) return FSessions[size_t(index)].Record.get();
    if (index >= Count() && index < Count() + kAverageRecords) return &FAverages[size_t(index - Count())];
    return nullptr;
}

const TTraining* TSessionStore::At(int index) const { return const_cast<TSessionStore*>(this)->At(index); }

int32_t TSessionStore::IdAt(int index) const
{
    return index >= 0 && index < Count() ? FSessions[size_t(index)].Id : -1;
}

int TSessionStore::IndexOf(int32_t id) const
{
    for (size_t i = 0; i < FSessions.size(); ++i)
        if (FSessions[i].Id == id) return int(i);
    return -1;
}

TTraining* TSessionStore::Find(int32_t id)
{
    if (id <= -1 && id >= -kAverageRecords) return &FAverages[size_t(-id - 1)];
    const int i = IndexOf(id);
    return i >= 0 ? FSessions[size_t(i)].Record.get() : nullptr;
}

const TTraining* TSessionStore::Find(int32_t id) const { return const_cast<TSessionStore*>(this)->Find(id); }

std::shared_ptr<TTraining> TSessionStore::Share(int32_t id)
{
    const int i = IndexOf(id);
    return i >= 0 ? FSessions[size_t(i)].Record : nullptr;
}

std::vector<int32_t> TSessionStore::Ids() const
{
    std::vector<int32_t> ids;
    for (const TEntry& e : FSessions) ids.push_back(e.Id);
    return ids;
}

TTraining& TSessionStore::Average(int k) { return FAverages[size_t(std::clamp(k, 0, kAverageRecords - 1))]; }

// ---- changes ----------------------------------------------------------------------------

void TSessionStore::ResetSession(int32_t id)
{
    TTraining* t = Find(id);
    if (!t || id < 0) return;
    ResetTraining(*t);
    NotifyReset(id);
}

void TSessionStore::NotifyReset(int32_t id)
{
    TTraining* t = id >= 0 ? Find(id) : nullptr;
    if (!t) return;
    // The recorded data is thrown away: so is its journal (a recording still
    // writing it ends it itself when its engine hears of the reset).
    EndSessionJournal(*t, jeDiscarded);
    emit SessionReset(id);
}

void TSessionStore::NotifyStrokeAppended(int32_t id, int stroke)
{
    if (Contains(id)) emit StrokeAppended(id, stroke);
}

void TSessionStore::NotifyCurvesChanged(int32_t id)
{
    if (Contains(id)) emit CurvesChanged(id);
}

void TSessionStore::NotifySessionChanged(int32_t id)
{
    if (Contains(id)) emit SessionChanged(id);
}

void TSessionStore::NotifyHeaderChanged(int32_t id)
{
    if (Find(id)) emit HeaderChanged(id);
}

void TSessionStore::NotifyWorkoutChanged(int32_t id)
{
    if (Contains(id)) emit WorkoutChanged(id);
}

void TSessionStore::SetModified(int32_t id, bool modified)
{
    TTraining* t = Find(id);
    if (!t || id < 0) return;
    const uint8_t value = modified ? 1 : 0;
    if (t->Header.Modified == value) return;
    t->Header.Modified = value;
    emit ModifiedChanged(id, modified);
}

void TSessionStore::RequestClose(int32_t id)
{
    if (Contains(id)) emit CloseRequested(id);
}

bool TSessionStore::Save(int32_t id, std::string& path, const std::string& initialDir, TWriteResult* result,
                         bool offerFallback)
{
    TWriteResult written = TWriteResult::Failed;
    if (result) *result = written;
    std::shared_ptr<TTraining> keep = Share(id);
    if (!keep) return false;
    TTraining& t = *keep;
    const TTrainingHeader before = t.Header;
    PrepareTrainingFileSave(t.Header, path, IsEmptyTraining(t));
    std::string tried;
    bool ok = SaveTraining(path, initialDir, t, &written, &tried);
    if (!ok && offerFallback && written == TWriteResult::Failed && !tried.empty()) {
        // The error was shown; the user is asked whether to save elsewhere.
        path = SaveToFallback(t, tried, true);
        ok = !path.empty();
        if (ok) written = TWriteResult::Written;
    }
    if (result) *result = written;
    if (!ok) {
        const uint8_t modified = t.Header.Modified;
        t.Header = before;
        t.Header.Modified = modified;
        if (modified != before.Modified && Contains(id)) emit ModifiedChanged(id, modified == 1);
        return false;
    }
    // Safely on disk: the recording's journal is not needed any more.
    EndSessionJournal(t, jeSaved);
    if (Contains(id)) {
        if (before.Modified != t.Header.Modified) emit ModifiedChanged(id, t.Header.Modified == 1);
        emit Saved(id, QString::fromStdString(path));
    }
    return true;
}
