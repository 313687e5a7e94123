#!/usr/bin/env python3
"""Build Tellurion's SQLite country database from data/countries.csv.

Usage: python3 scripts/make-country-db.py IN.csv OUT.mdb
"""

import csv
import os
import sqlite3
import sys
import tempfile

HEADER = ["countrycode", "country", "continent"]
CONTINENTS = {
    "Africa",
    "Antarctica",
    "Asia",
    "Europe",
    "North America",
    "Oceania",
    "South America",
}

SCHEMA = """
CREATE TABLE countries (
    countrycode TEXT NOT NULL COLLATE NOCASE PRIMARY KEY,
    country TEXT,
    continent TEXT
);
CREATE VIEW qryCountries AS SELECT countrycode, country, continent FROM countries;
"""


class BadInput(Exception):
    pass


def read_rows(path):
    """Return the data rows as (line number, code, country, continent)."""
    # csv.reader counts only the lines it is fed, so the file's own line
    # number is tracked here to make error messages point at the right line.
    line_no = 0

    def data_lines(f):
        nonlocal line_no
        for line in f:
            line_no += 1
            if not line.startswith("#"):
                yield line

    rows = []
    seen = {}
    header_seen = False
    # utf-8-sig: a spreadsheet may have saved the file with a byte order mark.
    with open(path, encoding="utf-8-sig", newline="") as f:
        reader = csv.reader(data_lines(f), strict=True)
        while True:
            try:
                fields = next(reader)
            except StopIteration:
                break
            except csv.Error as e:
                raise BadInput(f"{path}:{line_no}: malformed CSV: {e}") from e
            if not fields or fields == [""]:
                continue
            where = f"{path}:{line_no}"
            if not header_seen:
                if [x.strip() for x in fields] != HEADER:
                    raise BadInput(f"{where}: expected header {','.join(HEADER)}")
                header_seen = True
                continue
            if len(fields) != 3:
                raise BadInput(f"{where}: expected 3 columns, found {len(fields)}")
            code, country, continent = (x.strip() for x in fields)
            if not code:
                raise BadInput(f"{where}: empty country code")
            if continent not in CONTINENTS:
                raise BadInput(f"{where}: unknown continent {continent!r}")
            # The column is NOCASE, so "de" and "DE" would collide in SQLite
            # with a message that names no line.
            key = code.upper()
            if key in seen:
                raise BadInput(f"{where}: code {code} already on line {seen[key]}")
            seen[key] = line_no
            rows.append((line_no, code, country, continent))
    if not header_seen:
        raise BadInput(f"{path}: no header row")
    return rows


def write_db(rows, out_path):
    out_dir = os.path.dirname(os.path.abspath(out_path))
    fd, tmp = tempfile.mkstemp(prefix=".countries-", suffix=".tmp", dir=out_dir)
    os.close(fd)
    try:
        # mkstemp makes the file private; the database is meant to be read by
        # whoever installs it, so give it the usual permissions.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(tmp, 0o666 & ~umask)
        con = sqlite3.connect(tmp)
        try:
            con.executescript(SCHEMA)
            con.executemany(
                "INSERT INTO countries (countrycode, country, continent) VALUES (?, ?, ?)",
                [r[1:] for r in rows],
            )
            con.commit()
        finally:
            con.close()
        os.replace(tmp, out_path)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise


def main(argv):
    if len(argv) != 3:
        print(f"usage: {argv[0]} IN.csv OUT.mdb", file=sys.stderr)
        return 2
    in_path, out_path = argv[1], argv[2]
    try:
        rows = read_rows(in_path)
    except BadInput as e:
        print(f"make-country-db: {e}", file=sys.stderr)
        return 1
    except (OSError, UnicodeDecodeError) as e:
        print(f"make-country-db: {in_path}: {e}", file=sys.stderr)
        return 1
    try:
        write_db(rows, out_path)
    except (OSError, sqlite3.Error) as e:
        print(f"make-country-db: {out_path}: {e}", file=sys.stderr)
        return 1
    print(f"make-country-db: wrote {len(rows)} countries to {out_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
