#pragma once

#include <QString>

namespace lookup {

struct CountryNames
{
    QString country;
    QString continent;
};

// The country and continent names of the first qryCountries row whose countrycode equals the code
// (in any letter case); empty names for an unknown code or a Null column. Every call opens and closes
// its own read-only connection. The code is bound as a parameter, never pasted into the query, so a
// quote in it is simply an unknown code. Throws core::Failure when the file is missing or unreadable,
// is not a database, or has no qryCountries.
CountryNames LookupCountry(const QString& databasePath, const QString& code);

// The code of the first qryCountries row (by code) whose country name equals the name in any letter case
// and spacing ("UNITED  KINGDOM" gives GB, ahead of UK); empty when no row has it. Opens its own
// connection as LookupCountry does and throws as it does.
QString LookupCountryCodeByName(const QString& databasePath, const QString& name);

} // namespace lookup
