#pragma once

#include "lookup/EntryCleaning.h"
#include "lookup/PageLoader.h"
#include "lookup/WhoisScan.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace lookup {

inline const QString StatusRetrieving = QStringLiteral("Retrieving...");
inline const QString StatusCompleted = QStringLiteral("Completed");
inline const QString StatusFailed = QStringLiteral("Failed");

// The finished row of one entry, in the columns of the results table.
struct EntryResult
{
    QString entry; // normalised
    QString status;
    QString country;
    QString code;
    QString continent;
    QStringList failures; // descriptions of failed database lookups (the row then has empty names)
};

// One entry's lookup without a window: first site, its line rule, the second site when the first
// gave no code, each code through the country database. Many can run at once on one PageLoader;
// its per-host limit bounds what each site sees.
class EntryLookup : public QObject
{
    Q_OBJECT

public:
    EntryLookup(PageLoader& loader, const QString& databasePath, const QString& entry, QObject* parent = nullptr);
    ~EntryLookup() override;

    void start();
    bool isFinished() const { return m_finished; }
    const EntryResult& result() const { return m_result; }

signals:
    void finished();

private:
    void askSite(int index);
    void onPage();
    void onRecordText();
    void finish();

    PageLoader& m_loader;
    QString m_databasePath;
    QString m_entry;
    CleanedEntry m_cleaned;
    int m_site = 0;
    bool m_found = false;
    bool m_finished = false;
    std::unique_ptr<PageRequest> m_request;
    // The record text is taken out on the thread pool, so that many lookups at once use every core.
    QFutureWatcher<QString> m_recordText;
    EntryResult m_result;
};

} // namespace lookup
