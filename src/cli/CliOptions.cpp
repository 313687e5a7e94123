#include "cli/CliOptions.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace cli {

namespace {

bool takeInt(const QString& text, int low, int high, int& out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

QString takeSources(const QString& text, QStringList& out)
{
    QStringList sources;
    const QStringList known = knownSources();
    for (const QString& name : text.split(u',')) {
        const QString source = name.trimmed().toLower();
        if (!known.contains(source))
            return u"unknown source \"%1\" (%2)"_s.arg(name.trimmed(), known.join(u", "_s));
        if (sources.contains(source))
            return u"source \"%1\" is named twice"_s.arg(source);
        sources.append(source);
    }
    out = sources;
    return {};
}

QString takeFields(const QString& text, CliOptions& o)
{
    const QStringList names = text.split(u',');
    const auto added = std::count_if(names.begin(), names.end(), [](const QString& n) { return n.trimmed().startsWith(u'+'); });
    if (added != 0 && added != names.size())
        return u"--fields takes either a whole list of fields or only +NAME additions, not both"_s;
    std::vector<Field> fields = added ? defaultFields() : std::vector<Field>{};
    for (const QString& raw : names) {
        QString name = raw.trimmed();
        if (name.startsWith(u'+'))
            name.remove(0, 1);
        const auto& all = allFields();
        const auto info = std::find_if(all.begin(), all.end(), [&](const FieldInfo& f) { return name == QLatin1StringView(f.name); });
        if (info == all.end())
            return u"unknown field \"%1\" (see --help for the field names)"_s.arg(name);
        if (std::find(fields.begin(), fields.end(), info->field) == fields.end())
            fields.push_back(info->field);
    }
    o.fields = fields;
    o.extraFields.clear();
    for (const Field f : fields)
        if (std::find(defaultFields().begin(), defaultFields().end(), f) == defaultFields().end())
            o.extraFields.push_back(f);
    return {};
}

} // namespace

QString versionText()
{
    return u"tellurion-cli " TELLURION_VERSION u"\n"_s;
}

QStringList knownSources()
{
    return {u"web"_s, u"offline"_s, u"rdap"_s};
}

QString helpText()
{
    // The field names, wrapped under the option's text.
    QString fieldNames;
    qsizetype lineStart = 0;
    for (const FieldInfo& info : allFields()) {
        const QString name = QString::fromUtf8(info.name);
        if (!fieldNames.isEmpty()) {
            fieldNames += u',';
            if (fieldNames.size() - lineStart + name.size() + 2 > 76) {
                fieldNames += u"\n                      "_s;
                lineStart = fieldNames.size();
            } else {
                fieldNames += u' ';
            }
        }
        fieldNames += name;
    }
    return uR"(Usage: tellurion-cli [OPTIONS] [FILE...]

Looks up the country and continent of IP addresses and web sites, as the Tellurion window does, without
a window. Entries come from the FILEs in order, one per line (CR, CR LF or LF; a final line break ends
the last line), or from standard input when no FILE is given or a FILE is "-". Empty and blank lines are
skipped (their number is said on standard error). Every entry is cleaned and asked of the sources that
--source names, in order, until one gives a country code (by default the window's way: the first WHOIS
site, then the second); the code is resolved in the dbCountries.mdb beside the executable. Results are
written in input order, row by row as they become final.

Options:
  -j, --jobs N        entries looked up at once, 1 to 256 (default 4; 1 works as the window does).
                      No site ever has more than N requests in flight.
      --source LIST   the sources to ask, in order, comma-separated, until one gives a code:
                        web      the window's two WHOIS sites (the default)
                        offline  the offline country table beside the executable: IPv4 and
                                 IPv6 addresses only, answered at once without asking anyone
                                 (web,offline: the table for entries the sites leave without
                                 a code); --version says which data it holds
                        rdap     the registries' own answers over RDAP: IP addresses and AS
                                 numbers (AS64500) at their regional registry, names at their
                                 domain's registry (and its registrar); a withheld registrant
                                 gives no code
      --cross-check   also look every IP address up in the offline table: adds the fields
                      offline_country_code and agrees (the table's code equals the row's, read
                      case-insensitively, UK as GB, EU as any European country and AP as any
                      country of Asia or Oceania; empty when one side has no code or the row's
                      code is the table's own) and says on standard error how many differ.
  -f, --format FMT    csv (default): a header row and one row per entry, RFC 4180 quoting;
                      tsv: tab-separated values, a header line and one line per row (LF line ends,
                           no padding); a tab, CR or LF inside a field is written as a blank;
                      table: the window's clipboard text for all rows (space-padded, tab-separated;
                           written when every row is final, since widths span all rows);
                      text: the window's results file (five lines and a line of 18 "=" per entry);
                      json: one JSON object per line with the keys "address", "status",
                            "country", "country_code", "continent", "source", "cached" and
                            "network", and any further field that --fields names.
      --fields LIST   the columns of csv and tsv, comma-separated field names in order; with every
                      name written as +NAME, the five usual columns and then those. Field names:
                      %1.
  -o, --output FILE   write to FILE, replacing it only once the whole output is complete (an
                      interrupted run leaves an existing FILE as it was); default: standard output.
      --timeout S     seconds allowed for one page, 1 to 3600 (default 30).
      --rate N        at most N requests a second to any one site (default 1; 0: no limit; a
                      fraction is the mean, 0.5 being one request every 2 s). Every request counts,
                      each step of a redirect and each repeat too. A site that answers 429 or 503
                      is left alone for the time its Retry-After header asks, else for 1 s,
                      doubling with each such answer in a row, with jitter (at most 5 minutes);
                      the entry is then asked again, at most 3 times. Standard error says which
                      site asked to slow down and for how long. Other sites go on meanwhile.
      --no-cache      neither use nor keep stored answers (see Cache below).
      --refresh       ask the sources again for every entry and store their new answers.
      --max-age D     use stored answers up to D days old (default 7; a fraction such as 0.5
                      is allowed; 0 uses none).
      --rdap-bootstrap FILE
                      the RDAP services to ask, as one file in the format of IANA's bootstrap
                      files (RFC 9224; its entries may be IP prefixes, AS ranges and domains),
                      instead of IANA's registries (a snapshot comes with the program and is
                      refreshed from IANA at most once a day into ~/.cache/tellurion/rdap).
      --sample        add the three sample addresses after the entries of the FILEs.
      --summary       at the end, the number of entries per country and per continent, largest
                      first, and the failed count, on standard error.
  -q, --quiet         no progress bar (it is shown on standard error only when that is a terminal).
  -h, --help          show this help and exit.
      --version       show the version and exit.

Exit status:
  0  every entry completed      1  some entries failed (all results are still written)
  2  usage error, or an input or output file that cannot be used, or an offline table that is
     not installed or unusable (said before any lookup)
  3  dbCountries.mdb missing or unusable
  130  interrupted (Ctrl+C): the rows already final are written in order

Cache:
  The answers of the sources that ask over the network (web) are kept in
  $XDG_CACHE_HOME/tellurion/answers.sqlite (default ~/.cache/tellurion/): an address's answer for
  the whole network block its record names, so that every address of that block is answered without
  a request, and a name's answer for its registered domain (mail.example.co.uk and example.co.uk are
  one registration). An answer without a country code is kept for one hour only. A stored answer is
  used only for the source that gave it, while that source is in the --source list. An entry that an
  answer on its way may cover (same /24, same /48, same registered domain) waits for that answer
  instead of asking again. Several runs may share the cache at once; a cache that cannot be used is
  reported once and the run goes on without it. JSON rows say "cached": true when the cache
  answered; csv and tsv show it with --fields +cached,+network.

The proxy variables http_proxy, https_proxy and no_proxy are honoured. The offline country table holds
the regional internet registries' data, CC BY 4.0 by the Number Resource Organization (NRO,
https://www.nro.net/); --version names its version.

Example:
  tellurion-cli -j 8 -f csv -o results.csv addresses.txt
)"_s.arg(fieldNames);
}

ParseOutcome parseCommandLine(const QStringList& arguments)
{
    ParseOutcome outcome;
    CliOptions& o = outcome.options;
    const auto fail = [&](const QString& message) {
        outcome.action = ParseOutcome::Action::UsageError;
        outcome.error = message;
        return outcome;
    };

    bool onlyFiles = false;
    bool ownColumns = false; // --fields gave a whole list of columns, not additions
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        if (onlyFiles || arg == u"-"_s || !arg.startsWith(u'-')) {
            o.files.append(arg);
            continue;
        }
        if (arg == u"--"_s) {
            onlyFiles = true;
            continue;
        }
        // "--name=value" and "-xVALUE" forms.
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(u"--"_s)) {
            const qsizetype eq = arg.indexOf(u'=');
            if (eq > 0) {
                inlineValue = arg.mid(eq + 1);
                arg = arg.left(eq);
                hasInline = true;
            }
        } else if (arg.size() > 2) {
            inlineValue = arg.mid(2);
            arg = arg.left(2);
            hasInline = true;
        }
        const auto value = [&](QString& out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            out = arguments[++i];
            return true;
        };
        const auto noValue = [&] { return !hasInline; };

        QString v;
        if (arg == u"-h"_s || arg == u"--help"_s) {
            if (!noValue())
                return fail(u"option %1 takes no value"_s.arg(arg));
            outcome.action = ParseOutcome::Action::ShowHelp;
            return outcome;
        } else if (arg == u"--version"_s) {
            outcome.action = ParseOutcome::Action::ShowVersion;
            return outcome;
        } else if (arg == u"-j"_s || arg == u"--jobs"_s) {
            if (!value(v))
                return fail(u"option %1 needs a number"_s.arg(arg));
            if (!takeInt(v, 1, CliOptions::MaxJobs, o.jobs))
                return fail(u"--jobs takes a whole number from 1 to %1, not \"%2\""_s.arg(CliOptions::MaxJobs).arg(v));
        } else if (arg == u"-f"_s || arg == u"--format"_s) {
            if (!value(v))
                return fail(u"option %1 needs a format"_s.arg(arg));
            if (v == u"csv"_s)
                o.format = Format::Csv;
            else if (v == u"tsv"_s)
                o.format = Format::Tsv;
            else if (v == u"table"_s)
                o.format = Format::Table;
            else if (v == u"text"_s)
                o.format = Format::Text;
            else if (v == u"json"_s)
                o.format = Format::Json;
            else
                return fail(u"unknown format \"%1\" (csv, tsv, table, text or json)"_s.arg(v));
        } else if (arg == u"-o"_s || arg == u"--output"_s) {
            if (!value(v) || v.isEmpty())
                return fail(u"option %1 needs a file name"_s.arg(arg));
            o.outputFile = v;
        } else if (arg == u"--timeout"_s) {
            if (!value(v))
                return fail(u"option --timeout needs a number of seconds"_s);
            if (!takeInt(v, 1, 3600, o.timeoutS))
                return fail(u"--timeout takes a whole number of seconds from 1 to 3600, not \"%1\""_s.arg(v));
        } else if (arg == u"--rate"_s) {
            if (!value(v))
                return fail(u"option --rate needs a number of requests a second"_s);
            bool ok = false;
            const double rate = v.toDouble(&ok);
            if (!ok || !std::isfinite(rate) || rate < 0 || rate > CliOptions::MaxRate)
                return fail(u"--rate takes a number of requests a second from 0 (no limit) to %1, not \"%2\""_s
                                .arg(CliOptions::MaxRate)
                                .arg(v));
            o.rate = rate;
        } else if (arg == u"--source"_s) {
            if (!value(v))
                return fail(u"option --source needs a list of sources"_s);
            const QString error = takeSources(v, o.sources);
            if (!error.isEmpty())
                return fail(error);
        } else if (arg == u"--fields"_s) {
            if (!value(v))
                return fail(u"option --fields needs a list of field names"_s);
            const QString error = takeFields(v, o);
            if (!error.isEmpty())
                return fail(error);
            ownColumns = !v.trimmed().startsWith(u'+');
        } else if (arg == u"--cross-check"_s) {
            if (!noValue())
                return fail(u"option %1 takes no value"_s.arg(arg));
            o.crossCheck = true;
        } else if (arg == u"--no-cache"_s || arg == u"--refresh"_s) {
            if (!noValue())
                return fail(u"option %1 takes no value"_s.arg(arg));
            if (arg == u"--no-cache"_s)
                o.cache = false;
            else
                o.refresh = true;
        } else if (arg == u"--max-age"_s) {
            if (!value(v))
                return fail(u"option --max-age needs a number of days"_s);
            bool ok = false;
            const double days = v.toDouble(&ok);
            if (!ok || !(days >= 0 && days <= CliOptions::MaxMaxAgeDays))
                return fail(u"--max-age takes a number of days from 0 to %1, not \"%2\""_s
                                .arg(CliOptions::MaxMaxAgeDays)
                                .arg(v));
            o.maxAgeDays = days;
        } else if (arg == u"--rdap-bootstrap"_s) {
            if (!value(v) || v.isEmpty())
                return fail(u"option --rdap-bootstrap needs a file name"_s);
            o.rdapBootstrap = v;
        } else if (arg == u"--summary"_s) {
            if (!noValue())
                return fail(u"option %1 takes no value"_s.arg(arg));
            o.summary = true;
        } else if (arg == u"--sample"_s) {
            o.sample = true;
        } else if (arg == u"-q"_s || arg == u"--quiet"_s) {
            if (!noValue())
                return fail(u"option %1 takes no value"_s.arg(arg));
            o.quiet = true;
        } else {
            return fail(u"unknown option %1"_s.arg(arguments[i]));
        }
    }
    if (o.crossCheck) {
        // The comparison is the point of --cross-check: JSON gets both keys, and so do csv and tsv unless
        // --fields gave their whole list of columns.
        for (const Field f : {Field::OfflineCountryCode, Field::Agrees}) {
            if (std::find(o.extraFields.begin(), o.extraFields.end(), f) == o.extraFields.end())
                o.extraFields.push_back(f);
            if (!ownColumns && std::find(o.fields.begin(), o.fields.end(), f) == o.fields.end())
                o.fields.push_back(f);
        }
    }
    if (!o.cache && o.refresh)
        return fail(u"--refresh stores new answers in the cache, which --no-cache turns off"_s);
    if (!o.rdapBootstrap.isEmpty() && !o.sources.contains(u"rdap"_s))
        return fail(u"--rdap-bootstrap is for the rdap source; name it in --source"_s);
    return outcome;
}

} // namespace cli
