#include "cache/AnswerStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <array>

using namespace Qt::StringLiterals;
using sources::NetworkBlock;
using sources::WideAddress;

namespace cache {

namespace {

const char* const Schema = R"(
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS blocks(
  asker TEXT NOT NULL,
  www INTEGER NOT NULL,
  cover BLOB NOT NULL,
  first BLOB NOT NULL,
  last BLOB NOT NULL,
  code TEXT NOT NULL,
  source TEXT NOT NULL,
  network TEXT NOT NULL,
  handle TEXT NOT NULL,
  stored_at INTEGER NOT NULL,
  PRIMARY KEY(asker, www, cover, first, last)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS blocks_by_first ON blocks(asker, www, first, last DESC, stored_at);
CREATE TABLE IF NOT EXISTS keyed(
  asker TEXT NOT NULL,
  www INTEGER NOT NULL,
  key TEXT NOT NULL,
  found INTEGER NOT NULL,
  code TEXT NOT NULL,
  source TEXT NOT NULL,
  network TEXT NOT NULL,
  handle TEXT NOT NULL,
  notes TEXT NOT NULL,
  stored_at INTEGER NOT NULL,
  PRIMARY KEY(asker, www, key)
) WITHOUT ROWID;
PRAGMA user_version = 1;
COMMIT;
)";

// The blocks table: `cover` is the smallest prefix that holds the block, as its length (one byte, over
// 128 bits) and its first address. Blocks that hold an address X have one of the covers of X's own
// prefixes, so "which stored blocks hold X" is one probe of the primary key per prefix length, however
// the blocks nest. The common case needs less: the block that starts last at or before X holds X.
const char* const LastStartSql = "SELECT first, last, code, source, network, handle, stored_at FROM blocks"
                                 " WHERE asker = ?1 AND www = ?2 AND first <= ?3 ORDER BY first DESC, last ASC";
const char* const NextStartSql = "SELECT first FROM blocks WHERE asker = ?1 AND www = ?2 AND first > ?3"
                                 " ORDER BY first ASC LIMIT 1";
// Stale blocks passed over, walking down from an address, before the probe of its covers takes over: the
// walk stays short however many old answers the file holds.
constexpr int MaxStaleSteps = 16;
const char* const FindKeySql = "SELECT found, code, source, network, handle, notes, stored_at FROM keyed"
                               " WHERE asker = ?1 AND www = ?2 AND key = ?3";
const char* const PutBlockSql = "INSERT OR REPLACE INTO blocks VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
const char* const PutKeySql = "INSERT OR REPLACE INTO keyed VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";

constexpr int CoverParameter = 5; // the first of the cover prefixes in the cover query

QByteArray coverSql(int prefixes)
{
    QByteArray sql = "SELECT first, last, code, source, network, handle, stored_at FROM blocks"
                     " WHERE asker = ?1 AND www = ?2 AND first <= ?3 AND last >= ?3 AND stored_at >= ?4"
                     " AND cover IN (";
    for (int i = 0; i < prefixes; ++i)
        sql += (i ? ", ?" : "?") + QByteArray::number(CoverParameter + i);
    return sql + ") ORDER BY cover DESC, first DESC, last ASC LIMIT 1";
}

using Cover = std::array<unsigned char, 17>;

Cover coverOf(WideAddress address, int length)
{
    Cover cover{};
    cover[0] = static_cast<unsigned char>(length);
    const std::array<unsigned char, 16> bytes = address.masked(length).bytes();
    std::copy(bytes.begin(), bytes.end(), cover.begin() + 1);
    return cover;
}

QString columnText(sqlite3_stmt* statement, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

WideAddress columnAddress(sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_bytes(statement, column) != 16)
        return {};
    return WideAddress::fromBytes(static_cast<const unsigned char*>(sqlite3_column_blob(statement, column)));
}

} // namespace

// One use of a prepared statement: binds, steps, and is reset when it goes out of scope.
class AnswerStore::Statement
{
public:
    explicit Statement(sqlite3_stmt* statement) : m_statement(statement) {}
    ~Statement()
    {
        if (m_statement) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }
    // The bytes must stay until the statement is reset.
    void bindStatic(int index, const unsigned char* bytes, int size)
    {
        sqlite3_bind_blob(m_statement, index, bytes, size, SQLITE_STATIC);
    }
    void bind(int index, WideAddress address)
    {
        const std::array<unsigned char, 16> bytes = address.bytes();
        sqlite3_bind_blob(m_statement, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(m_statement); }
    sqlite3_stmt* get() const { return m_statement; }

private:
    sqlite3_stmt* m_statement;
};

AnswerStore::AnswerStore(const QString& path, Report report) : m_path(path), m_report(std::move(report))
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder)) {
            giveUp(u"its folder cannot be made"_s);
            return;
        }
        // What was looked up is nobody else's business.
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString error = open(path);
    if (error.isEmpty())
        m_persistent = true;
    else
        giveUp(error);
}

AnswerStore::~AnswerStore()
{
    closeDatabase();
}

QString AnswerStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.cache"_s;
    return base + u"/tellurion/answers.sqlite"_s;
}

QString AnswerStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : u"out of memory"_s;
}

sqlite3_stmt* AnswerStore::prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return statement;
}

QString AnswerStore::open(const QString& file)
{
    const auto fail = [this](const QString& why) {
        closeDatabase();
        return why;
    };
    const auto failed = [&] { return fail(lastError()); };
    const bool inMemory = file == u":memory:"_s;
    if (sqlite3_open_v2(file.toUtf8().constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return failed();
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    if (!inMemory) {
        // SQLite opens a file it may not write read-only, without a word.
        if (sqlite3_db_readonly(m_db, "main") == 1)
            return fail(u"it cannot be written"_s);
        // The first statement reads the file: a file that is no database fails here.
        sqlite3_stmt* mode = prepare("PRAGMA journal_mode = WAL");
        if (!mode)
            return failed();
        const int rc = sqlite3_step(mode);
        const QByteArray journal =
            rc == SQLITE_ROW ? QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0))) : QByteArray();
        sqlite3_finalize(mode);
        if (rc != SQLITE_ROW)
            return failed();
        if (journal.toLower() != "wal")
            return fail(u"it cannot be shared (journal mode %1)"_s.arg(QString::fromUtf8(journal)));
        // Pages are read from the mapped file rather than copied out of it, call by call.
        if (sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL; PRAGMA mmap_size = 268435456", nullptr, nullptr,
                         nullptr) != SQLITE_OK)
            return failed();
    }
    sqlite3_stmt* version = prepare("PRAGMA user_version");
    if (!version)
        return failed();
    const int rc = sqlite3_step(version);
    const int found = rc == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
    sqlite3_finalize(version);
    if (rc != SQLITE_ROW)
        return failed();
    if (found == 0) {
        // Two runs may start on a new file at once: the second waits for the first's transaction, then
        // finds every table there.
        if (sqlite3_exec(m_db, Schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
            const QString why = lastError();
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(why);
        }
    } else if (found != SchemaVersion) {
        return fail(u"it was written by another version of Tellurion (delete it to start afresh)"_s);
    }
    m_lastStart = prepare(LastStartSql);
    m_nextStart = prepare(NextStartSql);
    m_coverV4 = prepare(coverSql(WideAddress::Bits - WideAddress::V4Offset + 1).constData());
    m_coverV6 = prepare(coverSql(WideAddress::Bits + 1).constData());
    m_findKey = prepare(FindKeySql);
    m_putBlock = prepare(PutBlockSql);
    m_putKey = prepare(PutKeySql);
    if (!(m_lastStart && m_nextStart && m_coverV4 && m_coverV6 && m_findKey && m_putBlock && m_putKey))
        return failed();
    return {};
}

bool AnswerStore::beginReading(QString& error)
{
    if (m_reading && m_readingSince.elapsed() < ReadingMs)
        return true;
    if (!endReading(error))
        return false;
    if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = lastError();
        return false;
    }
    m_reading = true;
    m_readingSince.start();
    return true;
}

bool AnswerStore::endReading(QString& error)
{
    if (!m_reading)
        return true;
    m_reading = false;
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = lastError();
        return false;
    }
    return true;
}

void AnswerStore::closeDatabase()
{
    m_reading = false;
    for (sqlite3_stmt** statement :
         {&m_lastStart, &m_nextStart, &m_coverV4, &m_coverV6, &m_findKey, &m_putBlock, &m_putKey}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void AnswerStore::giveUp(const QString& why)
{
    closeDatabase();
    if (m_reported)
        return; // the in-memory store failed as well (out of memory): go on without any
    m_reported = true;
    m_persistent = false;
    if (m_report)
        m_report(u"cache %1: %2; going on without the cache"_s.arg(QDir::toNativeSeparators(m_path), why));
    // This run's answers still serve the rest of this run.
    open(u":memory:"_s);
}

// Every use of a statement ends (and resets it) before a failure closes the database.
std::optional<AnswerStore::FoundBlock> AnswerStore::findBlock(const QString& asker, bool www, WideAddress address,
                                                              qint64 notBeforeMs)
{
    QString error;
    std::optional<FoundBlock> found = findBlock(asker, www, address, notBeforeMs, error);
    if (!error.isEmpty()) {
        giveUp(error);
        return std::nullopt;
    }
    return found;
}

std::optional<AnswerStore::FoundBlock> AnswerStore::findBlock(const QString& asker, bool www, WideAddress address,
                                                              qint64 notBeforeMs, QString& error)
{
    if (!m_db || !beginReading(error))
        return std::nullopt;
    const auto read = [](sqlite3_stmt* row) {
        FoundBlock found;
        found.block = {columnAddress(row, 0), columnAddress(row, 1)};
        found.answer.found = true;
        found.answer.code = columnText(row, 2);
        found.answer.source = columnText(row, 3);
        found.answer.network = columnText(row, 4);
        found.answer.handle = columnText(row, 5);
        found.answer.cached = true;
        found.storedAtMs = sqlite3_column_int64(row, 6);
        return found;
    };
    const auto bindCommon = [&](Statement& statement) {
        statement.bind(1, asker);
        statement.bind(2, qint64(www));
        statement.bind(3, address);
    };

    // The fresh block that starts last at or before the address.
    std::optional<FoundBlock> before;
    bool crowded = false; // too many stale blocks on the way to tell
    {
        Statement last(m_lastStart);
        bindCommon(last);
        for (int stale = 0;; ++stale) {
            const int rc = last.step();
            if (rc == SQLITE_ROW && sqlite3_column_int64(last.get(), 6) >= notBeforeMs) {
                before = read(last.get());
                break;
            }
            if (rc == SQLITE_ROW && stale < MaxStaleSteps)
                continue;
            crowded = rc == SQLITE_ROW;
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                error = lastError();
            break;
        }
    }
    // No fresh block starts at or before the address: none holds it.
    if (!error.isEmpty() || (!before && !crowded))
        return std::nullopt;
    // Any block that starts after the address, fresh or not, ends the addresses that the same block
    // surely answers.
    std::optional<WideAddress> nextStart;
    {
        Statement next(m_nextStart);
        bindCommon(next);
        const int rc = next.step();
        if (rc == SQLITE_ROW)
            nextStart = columnAddress(next.get(), 0);
        else if (rc != SQLITE_DONE)
            error = lastError();
    }
    if (!error.isEmpty())
        return std::nullopt;
    const auto upTo = [&](WideAddress last) {
        return nextStart && nextStart->previous() < last ? nextStart->previous() : last;
    };
    if (before && before->block.contains(address)) {
        // No fresh block starts between its start and the address, so it is the innermost fresh one that
        // holds it, and so for every address up to the next start.
        before->answers = {before->block.first, upTo(before->block.last)};
        return before;
    }

    // The address lies past the end of the block that starts last before it; an outer block may still
    // hold it. Probe the covers of the address's prefixes.
    const bool v4 = address.isV4();
    const int shortest = v4 ? WideAddress::V4Offset : 0;
    std::array<Cover, WideAddress::Bits + 1> covers;
    std::optional<FoundBlock> outer;
    {
        Statement cover(v4 ? m_coverV4 : m_coverV6);
        bindCommon(cover);
        cover.bind(4, notBeforeMs);
        for (int length = shortest; length <= WideAddress::Bits; ++length) {
            Cover& c = covers[size_t(length)];
            c = coverOf(address, length);
            cover.bindStatic(CoverParameter + length - shortest, c.data(), int(c.size()));
        }
        const int rc = cover.step();
        if (rc == SQLITE_ROW)
            outer = read(cover.get());
        else if (rc != SQLITE_DONE)
            error = lastError();
    }
    if (!outer)
        return std::nullopt;
    // From past the end of the block before up to the next start, the same block is the innermost.
    if (before)
        outer->answers = {std::max(before->block.last.next(), outer->block.first), upTo(outer->block.last)};
    else
        outer->answers = {address, address};
    return outer;
}

std::optional<AnswerStore::Found> AnswerStore::findKey(const QString& asker, bool www, const QString& key)
{
    if (!m_db)
        return std::nullopt;
    std::optional<Found> found;
    QString error;
    if (beginReading(error)) {
        Statement find(m_findKey);
        find.bind(1, asker);
        find.bind(2, qint64(www));
        find.bind(3, key);
        const int rc = find.step();
        if (rc == SQLITE_ROW) {
            sqlite3_stmt* row = find.get();
            found.emplace();
            found->answer.found = sqlite3_column_int(row, 0) != 0;
            found->answer.code = columnText(row, 1);
            found->answer.source = columnText(row, 2);
            found->answer.network = columnText(row, 3);
            found->answer.handle = columnText(row, 4);
            const QString notes = columnText(row, 5);
            if (!notes.isEmpty())
                found->answer.notes = notes.split(u'\n');
            found->answer.cached = true;
            found->storedAtMs = sqlite3_column_int64(row, 6);
        } else if (rc != SQLITE_DONE) {
            error = lastError();
        }
    }
    if (!error.isEmpty())
        giveUp(error);
    return found;
}

void AnswerStore::putBlock(const QString& asker, bool www, const NetworkBlock& block, const sources::Answer& answer,
                           qint64 nowMs)
{
    if (!m_db)
        return;
    const Cover cover = coverOf(block.first, block.coverLength());
    QString error;
    if (endReading(error)) {
        Statement put(m_putBlock);
        put.bind(1, asker);
        put.bind(2, qint64(www));
        put.bindStatic(3, cover.data(), int(cover.size()));
        put.bind(4, block.first);
        put.bind(5, block.last);
        put.bind(6, answer.code);
        put.bind(7, answer.source);
        put.bind(8, answer.network);
        put.bind(9, answer.handle);
        put.bind(10, nowMs);
        if (put.step() != SQLITE_DONE)
            error = lastError();
    }
    if (!error.isEmpty())
        giveUp(error);
}

void AnswerStore::putKey(const QString& asker, bool www, const QString& key, const sources::Answer& answer,
                         qint64 nowMs)
{
    if (!m_db)
        return;
    QString error;
    if (endReading(error)) {
        Statement put(m_putKey);
        put.bind(1, asker);
        put.bind(2, qint64(www));
        put.bind(3, key);
        put.bind(4, qint64(answer.found));
        put.bind(5, answer.code);
        put.bind(6, answer.source);
        put.bind(7, answer.network);
        put.bind(8, answer.handle);
        put.bind(9, answer.notes.join(u'\n'));
        put.bind(10, nowMs);
        if (put.step() != SQLITE_DONE)
            error = lastError();
    }
    if (!error.isEmpty())
        giveUp(error);
}

} // namespace cache
