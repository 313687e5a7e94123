#include "lookup/CountryDatabase.h"

#include "core/Failure.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace lookup {

namespace {

std::atomic<quint64> s_connections{0};

// Removes the named connection however the lookup ends; the connection object must be gone by then.
struct ConnectionName
{
    QString name = u"tellurion-country-%1"_s.arg(++s_connections);
    ~ConnectionName() { QSqlDatabase::removeDatabase(name); }
};

QSqlDatabase openReadOnly(const QString& connection, const QString& databasePath)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
    if (!db.isValid())
        throw core::Failure(u"The SQLite driver of Qt SQL is not available"_s);
    db.setDatabaseName(databasePath);
    db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
    if (!db.open())
        throw core::Failure(db.lastError().text());
    return db;
}

void checkFile(const QString& databasePath)
{
    const QFileInfo file(databasePath);
    if (!file.isFile())
        throw core::Failure(u"Could not find file '%1'."_s.arg(databasePath));
    if (!file.isReadable())
        throw core::Failure(u"Cannot read file '%1'."_s.arg(databasePath));
}

CountryNames query(const QString& connection, const QString& databasePath, const QString& code)
{
    QSqlDatabase db = openReadOnly(connection, databasePath);

    CountryNames names;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(u"select * from qryCountries where countrycode = ? collate nocase"_s))
            throw core::Failure(q.lastError().text());
        // A null string would bind as SQL Null and match nothing; the empty code is a code like any other.
        q.addBindValue(code.isNull() ? QString(u""_s) : code);
        if (!q.exec())
            throw core::Failure(q.lastError().text());
        if (q.next()) {
            names.country = q.value(u"country"_s).toString();
            names.continent = q.value(u"continent"_s).toString();
        }
    }
    db.close();
    return names;
}

} // namespace

CountryNames LookupCountry(const QString& databasePath, const QString& code)
{
    checkFile(databasePath);
    const ConnectionName connection;
    return query(connection.name, databasePath, code);
}

QString LookupCountryCodeByName(const QString& databasePath, const QString& name)
{
    checkFile(databasePath);
    const QString wanted = name.simplified();
    if (wanted.isEmpty())
        return {};
    const ConnectionName connection;
    QString code;
    {
        QSqlDatabase db = openReadOnly(connection.name, databasePath);
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            // Names are few (some 260); comparing them here keeps the spacing rule in one place.
            if (!q.prepare(u"select countrycode, country from qryCountries order by countrycode"_s) || !q.exec())
                throw core::Failure(q.lastError().text());
            while (q.next())
                if (q.value(1).toString().simplified().compare(wanted, Qt::CaseInsensitive) == 0) {
                    code = q.value(0).toString();
                    break;
                }
        }
        db.close();
    }
    return code;
}

} // namespace lookup
