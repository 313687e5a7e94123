#include "rdap/BootstrapStore.h"

#include "core/Failure.h"
#include "lookup/PageLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace rdap {

const QUrl BootstrapStore::IanaBase(u"https://data.iana.org/rdap/"_s);

namespace {

const QString CheckedFile = u"checked"_s;

QString fileName(Registry registry)
{
    return registryName(registry) + u".json"_s;
}

QByteArray readFile(const QString& path, QString* error = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return file.readAll();
}

// Newer than `than`; a file without a publication time is older than any that has one.
bool newer(const QDateTime& candidate, const QDateTime& than)
{
    if (!than.isValid())
        return true;
    return candidate.isValid() && candidate >= than;
}

} // namespace

struct BootstrapStore::Download
{
    Registry registry;
    std::unique_ptr<lookup::PageRequest> request;
};

BootstrapStore::BootstrapStore(lookup::PageLoader& loader, QObject* parent) : QObject(parent), m_loader(loader) {}

BootstrapStore::BootstrapStore(lookup::PageLoader& loader, const QString& shippedFolder, const QString& cacheFolder,
                               QObject* parent)
    : QObject(parent), m_loader(loader), m_shippedFolder(shippedFolder), m_cacheFolder(cacheFolder)
{
    load();
}

BootstrapStore::~BootstrapStore() = default;

std::unique_ptr<BootstrapStore> BootstrapStore::fromFile(const QString& path, lookup::PageLoader& loader)
{
    std::unique_ptr<BootstrapStore> store(new BootstrapStore(loader, nullptr));
    store->m_fixed = true;
    QString error;
    if (QFileInfo(path).isDir())
        error = u"it is a folder"_s;
    const QByteArray json = error.isEmpty() ? readFile(path, &error) : QByteArray();
    if (error.isEmpty())
        store->m_bootstrap.add(json, nullptr, &error);
    if (!error.isEmpty())
        throw core::Failure(u"cannot use the RDAP bootstrap file %1: %2"_s.arg(path, error));
    return store;
}

void BootstrapStore::load()
{
    // Per registry the newer of the shipped and the fetched copy; a fetched one wins a tie, and a file that
    // does not read as a bootstrap file of its registry counts as absent.
    Bootstrap bootstrap;
    for (const Registry registry : AllRegistries) {
        QByteArray chosen;
        QDateTime publication;
        bool found = false;
        for (const QString& folder : {m_shippedFolder, m_cacheFolder}) {
            if (folder.isEmpty())
                continue;
            const QByteArray json = readFile(folder + u'/' + fileName(registry));
            Bootstrap check;
            Bootstrap::FileInfo info;
            if (json.isEmpty() || !check.add(json, &info) || !info.covers(registry))
                continue;
            if (!found || newer(info.publication, publication)) {
                chosen = json;
                publication = info.publication;
                found = true;
            }
        }
        if (found)
            bootstrap.add(chosen);
        m_publication[int(registry)] = publication;
    }
    m_bootstrap = std::move(bootstrap);
}

void BootstrapStore::refreshIfDue()
{
    if (m_fixed || isRefreshing())
        return;
    const QFileInfo checked(m_cacheFolder + u'/' + CheckedFile);
    if (checked.exists() && checked.lastModified().secsTo(QDateTime::currentDateTime()) < RefreshEverySeconds)
        return;
    refresh();
}

void BootstrapStore::refresh()
{
    if (m_fixed || isRefreshing())
        return;
    m_notes.clear();
    m_downloaded = 0;
    for (const Registry registry : AllRegistries) {
        auto download = std::make_unique<Download>();
        download->registry = registry;
        download->request =
            m_loader.load(m_sourceBase.resolved(QUrl(fileName(registry))), lookup::LoadOptions{"application/json"});
        Download* raw = download.get();
        connect(download->request.get(), &lookup::PageRequest::completed, this, [this, raw] { onDownloaded(raw); });
        m_downloads.push_back(std::move(download));
    }
}

void BootstrapStore::onDownloaded(Download* download)
{
    const lookup::Page& page = download->request->page();
    const Registry registry = download->registry;
    const QString name = fileName(registry);
    const QString problem = [&]() -> QString {
        if (!page.loaded)
            return page.error;
        if (page.httpStatus != 200)
            return u"HTTP status %1"_s.arg(page.httpStatus);
        Bootstrap check;
        Bootstrap::FileInfo info;
        QString error;
        if (!check.add(page.body, &info, &error))
            return error;
        if (!info.covers(registry))
            return u"it has no entries of its registry"_s;
        if (!newer(info.publication, m_publication[int(registry)]))
            return u"it is older than the copy in use"_s;
        if (!QDir().mkpath(m_cacheFolder))
            return u"cannot make the folder %1"_s.arg(m_cacheFolder);
        QSaveFile file(m_cacheFolder + u'/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(page.body) != page.body.size() || !file.commit())
            return u"cannot write %1: %2"_s.arg(file.fileName(), file.errorString());
        return {};
    }();
    if (!problem.isEmpty())
        m_notes.append(u"RDAP bootstrap %1 not refreshed from %2: %3"_s.arg(name, m_sourceBase.toString(), problem));

    // Each request says it has completed once; the last to say so ends the refresh.
    if (++m_downloaded < m_downloads.size())
        return;
    // Every file has been tried: the next run waits a day before trying again, whatever came of it.
    if (QDir().mkpath(m_cacheFolder)) {
        QSaveFile checked(m_cacheFolder + u'/' + CheckedFile);
        if (checked.open(QIODevice::WriteOnly)) {
            checked.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + '\n');
            checked.commit();
        }
    }
    // The requests go once we are out of their signals.
    for (auto& d : m_downloads)
        d->request.release()->deleteLater();
    m_downloads.clear();
    load();
    emit refreshed();
}

} // namespace rdap
