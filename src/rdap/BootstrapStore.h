#pragma once

#include "rdap/Bootstrap.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace lookup {
class PageLoader;
class PageRequest;
} // namespace lookup

namespace rdap {

// The bootstrap registries in use. Normally the newest good copy of each of IANA's four files: the snapshot
// shipped in the app folder, or a copy fetched from IANA into the cache folder, fetched again at most once
// a day. A download replaces nothing unless it is a complete, well-formed file of its registry and at least
// as new as the copy it replaces; files are replaced whole (written aside and renamed), so a run that
// stops mid-way, or another run reading at the same time, never sees half a file.
// Or, when the user names one, a single file of the same format and nothing else.
class BootstrapStore : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 RefreshEverySeconds = qint64(24) * 60 * 60;
    static const QUrl IanaBase; // https://data.iana.org/rdap/

    // shippedFolder and cacheFolder hold files named ipv4.json, ipv6.json, asn.json and dns.json; either may
    // lack some or all of them. The cache folder is made when a download is kept.
    BootstrapStore(lookup::PageLoader& loader, const QString& shippedFolder, const QString& cacheFolder,
                   QObject* parent = nullptr);
    ~BootstrapStore() override;
    // Only the named file, never refreshed. Throws core::Failure when it cannot be read or is not a
    // bootstrap file.
    static std::unique_ptr<BootstrapStore> fromFile(const QString& path, lookup::PageLoader& loader);

    const Bootstrap& bootstrap() const { return m_bootstrap; }
    bool covers(Registry registry) const { return m_bootstrap.covers(registry); }

    // Where IANA's files are fetched from (a test points it at a local server).
    void setSourceBase(const QUrl& base) { m_sourceBase = base; }
    // Starts fetching IANA's files unless that was done (or tried) in the last RefreshEverySeconds, as the
    // time of the folder's "checked" file tells, shared by every run on the machine.
    void refreshIfDue();
    // Starts fetching IANA's files now.
    void refresh();
    bool isRefreshing() const { return !m_downloads.empty(); }
    // What went wrong in the last refresh, one line per file (for standard error).
    const QStringList& refreshNotes() const { return m_notes; }

signals:
    // A refresh has ended, whatever it brought; bootstrap() holds what is now in use.
    void refreshed();

private:
    struct Download;
    BootstrapStore(lookup::PageLoader& loader, QObject* parent);
    void load();
    void onDownloaded(Download* download);

    lookup::PageLoader& m_loader;
    QString m_shippedFolder;
    QString m_cacheFolder;
    QUrl m_sourceBase = IanaBase;
    bool m_fixed = false; // a file the user named: no folders, no refresh
    Bootstrap m_bootstrap;
    QDateTime m_publication[4]; // of the copy in use, per registry
    std::vector<std::unique_ptr<Download>> m_downloads;
    size_t m_downloaded = 0;
    QStringList m_notes;
};

} // namespace rdap
