#include "cli/Sources.h"

#include "cache/CachedSource.h"
#include "cli/CliRun.h"
#include "core/Failure.h"
#include "rdap/BootstrapStore.h"
#include "sources/OfflineSource.h"
#include "sources/RdapSource.h"
#include "sources/WebSource.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace cli {

namespace {

QString offlineTablePath()
{
    return QCoreApplication::applicationDirPath() + u"/offlineCountries.tbl"_s;
}

std::unique_ptr<sources::Source> makeRdapSource(const CliOptions& options, lookup::PageLoader& loader)
{
    const QString appFolder = QCoreApplication::applicationDirPath();
    std::unique_ptr<rdap::BootstrapStore> store;
    if (!options.rdapBootstrap.isEmpty()) {
        store = rdap::BootstrapStore::fromFile(options.rdapBootstrap, loader);
    } else {
        // Beside the cache of answers, under $XDG_CACHE_HOME/tellurion.
        const QString cache = QFileInfo(cache::AnswerStore::defaultPath()).absolutePath() + u"/rdap"_s;
        store = std::make_unique<rdap::BootstrapStore>(loader, appFolder + u"/rdap"_s, cache);
        store->refreshIfDue();
    }
    return std::make_unique<sources::RdapSource>(loader, std::move(store), appFolder + u"/dbCountries.mdb"_s);
}

} // namespace

std::vector<std::unique_ptr<sources::Source>> makeSources(const CliOptions& options, lookup::PageLoader& loader)
{
    std::vector<std::unique_ptr<sources::Source>> made;
    for (const QString& name : options.sources) {
        if (name == u"web"_s) {
            auto web = std::make_unique<sources::WebSource>(loader);
            web->setNotice(&CliRun::say);
            made.push_back(std::move(web));
        } else if (name == u"offline"_s)
            made.push_back(std::make_unique<sources::OfflineSource>(openOfflineTable()));
        else if (name == u"rdap"_s)
            made.push_back(makeRdapSource(options, loader));
        else
            throw core::Failure(u"unknown source \"%1\""_s.arg(name));
    }

    // Every source that asks over the network answers from the cache first, and feeds it.
    if (options.cache) {
        cache::CacheSettings settings;
        settings.maxAgeMs = qint64(options.maxAgeDays * double(cache::CacheSettings::Day));
        settings.refresh = options.refresh;
        std::shared_ptr<cache::AnswerStore> store;
        for (std::unique_ptr<sources::Source>& source : made) {
            if (!source->isRemote())
                continue;
            if (!store)
                store = std::make_shared<cache::AnswerStore>(
                    cache::AnswerStore::defaultPath(),
                    [](const QString& message) { std::fprintf(stderr, "tellurion-cli: %s\n", qPrintable(message)); });
            source = std::make_unique<cache::CachedSource>(std::move(source), store, settings);
        }
    }
    return made;
}

std::shared_ptr<const sources::OfflineTable> openOfflineTable()
{
    // The offline source and --cross-check share one mapping: opening checks the whole file.
    static std::weak_ptr<const sources::OfflineTable> open;
    if (std::shared_ptr<const sources::OfflineTable> table = open.lock())
        return table;
    const QString path = offlineTablePath();
    if (!QFileInfo::exists(path))
        throw core::Failure(u"the offline country table is not installed (%1 not found); a build makes it "
                            u"when scripts/install-deps could fetch its data from the npm registry"_s.arg(path));
    try {
        auto table = std::make_shared<const sources::OfflineTable>(path);
        open = table;
        return table;
    } catch (const core::Failure& failure) {
        throw core::Failure(u"the offline country table cannot be used: "_s + failure.description());
    }
}

QString offlineTableVersionText()
{
    const QString path = offlineTablePath();
    if (!QFileInfo::exists(path))
        return u"Offline country table: not installed (%1 not found).\n"_s.arg(path);
    try {
        const sources::OfflineTable table(path);
        return u"Offline country table: %1 %2 (data of %3), %4 IPv4 and %5 IPv6 ranges.\n"
               u"Its data comes from the regional internet registries' WHOIS and ASN data, licensed under\n"
               u"CC BY 4.0 by the Number Resource Organization (NRO, https://www.nro.net/).\n"_s.arg(
                   table.packageName(), table.dataVersion(), table.dataDate(), QString::number(table.packageRows4()),
                   QString::number(table.packageRows6()));
    } catch (const core::Failure& failure) {
        return u"Offline country table: cannot be used: %1\n"_s.arg(failure.description());
    }
}

} // namespace cli
