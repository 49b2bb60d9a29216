#pragma once
// TSessionStore: the open training sessions of the program. It owns the
// session records (TTraining) and their identity: the session ids (the first
// is 101), the order (index 0 is the session opened last, as the chart
// windows list them), the limit of 2 open sessions with its message, and the
// four average records of the force curves window (ids -1 .. -4, reached by
// the four indexes after the open sessions).
//
// Windows are views: they read the records here and listen to the signals.
// Whoever changes a record tells the store, and the store tells everyone
// else; no window relays a change to another. The row engine records into a
// session of the store and announces every stroke it appends.
//
// Records stay where they are while their session is open, so a reference
// from At() or Find() is good until the session is removed. A holder that
// must outlive the removal (the row engine while its interface closes) keeps
// the record through Share().
//
// Everything runs on the user-interface thread; signals are delivered
// directly, so a listener runs before the announcing call returns.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "core/records.h"

enum class TWriteResult;

class TSessionStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kAverageRecords = 4;

    explicit TSessionStore(QObject* parent = nullptr);
    ~TSessionStore() override;

    // ---- identity ----------------------------------------------------------
    int Count() const { return int(FSessions.size()); }
    // Two sessions are open: no other can be added.
    bool Full() const;
    // With the store full shows "Only 2 file(s) / training session(s) can be
    // opened at the same time." (error box) and returns true.
    bool TooManyTrainings() const;
    // Takes the next session id (101, 102, ...).
    int32_t NextId();
    // Adds a copy of record as session id (its ClientId becomes id) in front
    // of the others and announces it. An id already open is replaced in place.
    TTraining& Add(const TTraining& record, int32_t id);
    TTraining& Add(const TTraining& record) { return Add(record, NextId()); }
    // Removes an open session and announces it; false when it is not open.
    bool Remove(int32_t id);

    // ---- access ------------------------------------------------------------
    // The record at an index: 0 .. Count()-1 the open sessions, Count() ..
    // Count()+3 the average records; nullptr outside.
    TTraining* At(int index);
    const TTraining* At(int index) const;
    // Session id at an index; -1 for the average records and outside.
    int32_t IdAt(int index) const;
    // Index of an open session; -1 when it is not open.
    int IndexOf(int32_t id) const;
    bool Contains(int32_t id) const { return IndexOf(id) >= 0; }
    // An open session or an average record (ids -1 .. -4); nullptr otherwise.
    TTraining* Find(int32_t id);
    const TTraining* Find(int32_t id) const;
    // The record of an open session, kept alive for the holder after a removal.
    std::shared_ptr<TTraining> Share(int32_t id);
    // Ids of the open sessions in index order.
    std::vector<int32_t> Ids() const;
    // Average record k (0..3, id -1-k).
    TTraining& Average(int k);

    // ---- changes -----------------------------------------------------------
    // Empties the session (ResetTraining) and announces the reset; the
    // session's recording journal, if any, is discarded.
    void ResetSession(int32_t id);
    // The caller has reset the record itself (the journal is discarded too).
    void NotifyReset(int32_t id);
    // A stroke was stored at index stroke.
    void NotifyStrokeAppended(int32_t id, int stroke);
    // Force curves changed (a drive ended, chart curve options changed).
    void NotifyCurvesChanged(int32_t id);
    // Several parts changed at once (totals, intervals, trimmed arrays).
    void NotifySessionChanged(int32_t id);
    // Header fields changed (texts, date, Active, colour and pen, curve source).
    void NotifyHeaderChanged(int32_t id);
    // The workout set-up changed.
    void NotifyWorkoutChanged(int32_t id);
    // Sets or clears the unsaved-changes mark; announced when it changes.
    void SetModified(int32_t id, bool modified = true);
    // Asks the holder of the session (its training window) to close it.
    void RequestClose(int32_t id);

    // Saves a session: to path, or through the save dialog when path is
    // empty (path then holds the chosen file). A session without a file type
    // of its own saved under a training-file name becomes a training file. On
    // failure the header stays as it was, except that a write that was tried
    // leaves the session modified. On success the session's recording
    // journal is ended and Saved announced. With offerFallback a write that
    // failed (a full disk, a read-only or missing folder) is offered the
    // user data folder, then the temporary folder (SaveToFallback); path then
    // holds the file written there.
    bool Save(int32_t id, std::string& path, const std::string& initialDir, TWriteResult* result = nullptr,
              bool offerFallback = false);

signals:
    void SessionAdded(int32_t id);
    void SessionRemoved(int32_t id);
    void SessionReset(int32_t id);
    void StrokeAppended(int32_t id, int stroke);
    void CurvesChanged(int32_t id);
    void SessionChanged(int32_t id);
    void HeaderChanged(int32_t id);
    void WorkoutChanged(int32_t id);
    void ModifiedChanged(int32_t id, bool modified);
    void Saved(int32_t id, const QString& path);
    void CloseRequested(int32_t id);

private:
    struct TEntry {
        int32_t Id = 0;
        std::shared_ptr<TTraining> Record;
    };
    std::vector<TEntry> FSessions;  // index order: the newest first
    std::array<TTraining, kAverageRecords> FAverages;
    int32_t FLastId;
};
