#!/usr/bin/env python3
"""Fetch the data of the offline country table and build the table.

Usage:
  offline-table.py fetch PIN
      Fetches the npm package that PIN names with `npm pack NAME@VERSION` into the cache folder
      ${XDG_CACHE_HOME:-~/.cache}/tellurion/npm/, once, and checks it against the pinned sha512.
      Without npm or the registry it says so and exits 0: the build then goes on without the table.
  offline-table.py build PIN OUT.tbl OUT-LICENSE
      Builds the table from the cached package (checked against the pin first) and copies the package's
      licence file, unless both are newer than the package, PIN and this script. Without the package it
      says so, leaves any earlier table as it is, and exits 0.
  offline-table.py csv IPV4.csv IPV6.csv OUT.tbl [VERSION [DATE]]
      Builds a table from two CSV files (the tests' small tables). Addresses may be numbers or text.

The CSV files have one range per line: first address, last address (inclusive), two-letter code. Where
ranges overlap (the package has a few thousand such rows: a block inside a larger one), the range that
starts later wins for the addresses it holds, and of two that start at the same address the narrower;
of two equal ranges the later row. The table covers each address family from its first address to its
last in ranges that do not overlap; the addresses that no row holds get the code 0.

The table's format is described in src/sources/OfflineTable.h.
"""

import array
import base64
import hashlib
import io
import ipaddress
import os
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import zlib

MAGIC = b"TLRNCTRY"
FORMAT = 1
HEADER_SIZE = 256
# magic, format, header size, file size, IPv4 count, IPv6 count, four array offsets, checksum, reserved,
# package, data version, data date, the package's IPv4 and IPv6 rows.
HEADER = struct.Struct("<8sIIQIIQQQQII64s32s16sII")
CHECKSUM_AT = 64
V4_LAST = 2**32 - 1
V6_LAST = 2**128 - 1
V4_CSV = "package/geo-whois-asn-country-ipv4-num.csv"
V6_CSV = "package/geo-whois-asn-country-ipv6-num.csv"
LICENCE = "package/NRO_LICENSE"


class BadInput(Exception):
    pass


def say(message):
    print(f"offline-table: {message}", file=sys.stderr if message.startswith("warning") else sys.stdout, flush=True)


def read_pin(path):
    pin = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            key, sep, value = line.partition("=")
            if not sep:
                raise BadInput(f"{path}:{number}: expected key=value")
            pin[key.strip()] = value.strip()
    for key in ("package", "version", "integrity", "date"):
        if not pin.get(key):
            raise BadInput(f"{path}: no {key}")
    return pin


def cache_folder():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "tellurion", "npm")


def tarball_path(pin):
    # The name npm pack gives it: "@scope/name" becomes "scope-name".
    name = pin["package"].lstrip("@").replace("/", "-")
    return os.path.join(cache_folder(), f"{name}-{pin['version']}.tgz")


def integrity_of(path):
    digest = hashlib.sha512()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return "sha512-" + base64.b64encode(digest.digest()).decode("ascii")


def fetch(pin_path):
    pin = read_pin(pin_path)
    target = tarball_path(pin)
    wanted = f"{pin['package']}@{pin['version']}"
    if os.path.isfile(target):
        if integrity_of(target) == pin["integrity"]:
            return 0
        say(f"warning: {target} does not match the pinned sha512; fetching it again")
        os.unlink(target)
    npm = shutil.which("npm")
    if not npm:
        say(f"warning: npm is not installed, so {wanted} is not fetched; "
            "tellurion-cli will say that the offline table is not installed")
        return 0
    os.makedirs(os.path.dirname(target), exist_ok=True)
    work = tempfile.mkdtemp(prefix=".fetch-", dir=os.path.dirname(target))
    try:
        say(f"fetching {wanted} with npm pack")
        try:
            done = subprocess.run([npm, "pack", "--loglevel=error", "--fetch-retries=1", "--fetch-timeout=30000", wanted],
                                  cwd=work, capture_output=True, text=True, timeout=300)
        except subprocess.TimeoutExpired:
            done = None
        packed = [name for name in os.listdir(work) if name.endswith(".tgz")]
        if done is None or done.returncode != 0 or len(packed) != 1:
            if done is None:
                why = "npm pack took longer than 5 minutes"
            else:
                # npm says much; its own error line says why.
                lines = done.stderr.strip().splitlines() or ["npm pack failed"]
                why = next((line for line in lines if "Error:" in line), lines[0])
            say(f"warning: could not fetch {wanted} ({why}); "
                "tellurion-cli will say that the offline table is not installed")
            return 0
        got = os.path.join(work, packed[0])
        integrity = integrity_of(got)
        if integrity != pin["integrity"]:
            say(f"warning: {wanted} from the registry has {integrity}, not the pinned {pin['integrity']}; "
                "it is not used")
            return 0
        os.replace(got, target)
        say(f"{wanted} is in {target}")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


def parse_address(text, last, where):
    text = text.strip()
    try:
        value = int(text) if text.isdigit() else int(ipaddress.ip_address(text))
    except ValueError:
        raise BadInput(f"{where}: {text!r} is not an address") from None
    if value > last or (not text.isdigit() and (":" in text) != (last == V6_LAST)):
        raise BadInput(f"{where}: {text!r} is not an address of this family")
    return value


def read_ranges(lines, name, last):
    rows = []
    for number, line in enumerate(lines, 1):
        line = line.strip()
        if not line:
            continue
        where = f"{name}:{number}"
        fields = line.split(",")
        if len(fields) != 3:
            raise BadInput(f"{where}: expected first,last,code")
        first = parse_address(fields[0], last, where)
        end = parse_address(fields[1], last, where)
        code = fields[2].strip()
        if len(code) != 2 or not ("A" <= code[0] <= "Z" and "A" <= code[1] <= "Z"):
            raise BadInput(f"{where}: {code!r} is not a two-letter code")
        if end < first:
            raise BadInput(f"{where}: the range ends before it starts")
        rows.append((first, end, code))
    return rows


def resolve(rows, last):
    """Turns possibly overlapping rows into [(start, code)] that cover 0..last without overlap."""
    order = sorted((first, -end, index, code) for index, (first, end, code) in enumerate(rows))
    starts = []
    codes = []
    last_origin = None
    stack = []  # (end, code value, origin) of the rows that hold the current address, innermost last
    here = 0

    def advance(to):
        # Emits the addresses from `here` up to, not including, `to`.
        nonlocal here, last_origin
        while here < to:
            while stack and stack[-1][0] < here:
                stack.pop()
            end, value, origin = stack[-1] if stack else (to - 1, 0, -1)
            if origin != last_origin:
                starts.append(here)
                codes.append(value)
                last_origin = origin
            here = min(end + 1, to)

    for first, negative_end, index, code in order:
        advance(first)
        stack.append((-negative_end, ord(code[0]) | ord(code[1]) << 8, index))
    advance(last + 1)
    return starts, codes


def fixed(text, size):
    data = text.encode("utf-8")
    if len(data) >= size:
        raise BadInput(f"{text!r} is longer than {size - 1} bytes")
    return data


def table_bytes(v4_rows, v6_rows, package, version, date):
    starts4, codes4 = resolve(v4_rows, V4_LAST)
    starts6, codes6 = resolve(v6_rows, V6_LAST)
    n4, n6 = len(starts4), len(starts6)

    def align(offset):
        return (offset + 15) & ~15

    at4 = HEADER_SIZE
    at4_codes = align(at4 + 4 * n4)
    at6 = align(at4_codes + 2 * n4)
    at6_codes = at6 + 16 * n6
    size = at6_codes + 2 * n6

    pairs = array.array("Q")
    for start in starts6:
        pairs.append(start >> 64)
        pairs.append(start & (2**64 - 1))
    parts = [(at4, array.array("I", starts4)), (at4_codes, array.array("H", codes4)), (at6, pairs),
             (at6_codes, array.array("H", codes6))]
    out = bytearray(size)
    for offset, values in parts:
        if sys.byteorder != "little":
            values.byteswap()
        data = values.tobytes()
        out[offset:offset + len(data)] = data
    HEADER.pack_into(out, 0, MAGIC, FORMAT, HEADER_SIZE, size, n4, n6, at4, at4_codes, at6, at6_codes, 0, 0,
                     fixed(package, 64), fixed(version, 32), fixed(date, 16), len(v4_rows), len(v6_rows))
    checksum = zlib.crc32(memoryview(out)[CHECKSUM_AT + 4:], zlib.crc32(memoryview(out)[:CHECKSUM_AT]))
    struct.pack_into("<I", out, CHECKSUM_AT, checksum)
    return bytes(out)


def write_atomically(path, data):
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix=".offline-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(tmp, 0o666 & ~umask)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise


def build(pin_path, out_path, licence_path):
    pin = read_pin(pin_path)
    source = tarball_path(pin)
    if not os.path.isfile(source):
        if not os.path.isfile(out_path):
            say(f"warning: {source} is not there (scripts/install-deps fetches it from the npm registry), "
                "so the build has no offline table; tellurion-cli will say that it is not installed")
        return 0
    newest = max(os.path.getmtime(p) for p in (source, pin_path, os.path.abspath(__file__)))
    if all(os.path.isfile(p) and os.path.getmtime(p) >= newest for p in (out_path, licence_path)):
        return 0
    integrity = integrity_of(source)
    if integrity != pin["integrity"]:
        raise BadInput(f"{source} has {integrity}, not the pinned {pin['integrity']}; "
                       "delete it and run scripts/install-deps to fetch it again")
    with tarfile.open(source, "r:gz") as tar:

        def text(member):
            try:
                return io.TextIOWrapper(tar.extractfile(member), encoding="ascii")
            except KeyError:
                raise BadInput(f"{source} has no {member}") from None

        v4 = read_ranges(text(V4_CSV), V4_CSV, V4_LAST)
        v6 = read_ranges(text(V6_CSV), V6_CSV, V6_LAST)
        licence = text(LICENCE).read()
    write_atomically(out_path, table_bytes(v4, v6, pin["package"], pin["version"], pin["date"]))
    write_atomically(licence_path, licence.encode("utf-8"))
    say(f"wrote {out_path}: {len(v4)} IPv4 and {len(v6)} IPv6 ranges of {pin['package']} {pin['version']}")
    return 0


def from_csv(v4_path, v6_path, out_path, version="test", date=""):
    with open(v4_path, encoding="utf-8") as f:
        v4 = read_ranges(f, v4_path, V4_LAST)
    with open(v6_path, encoding="utf-8") as f:
        v6 = read_ranges(f, v6_path, V6_LAST)
    write_atomically(out_path, table_bytes(v4, v6, "csv", version, date))
    return 0


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    try:
        if command == "fetch" and len(argv) == 3:
            try:
                return fetch(argv[2])
            except OSError as e:
                # A cache folder that cannot be written costs the table, not the build.
                say(f"warning: could not fetch the offline table's data: {e}")
                return 0
        if command == "build" and len(argv) == 5:
            return build(argv[2], argv[3], argv[4])
        if command == "csv" and 5 <= len(argv) <= 7:
            return from_csv(*argv[2:])
    except BadInput as e:
        say(f"error: {e}")
        return 1
    except (OSError, UnicodeDecodeError, tarfile.TarError, zlib.error) as e:
        say(f"error: {e}")
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
