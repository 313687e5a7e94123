#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (run once; the files are kept in the repository).

Each seed starts with the choice bytes its target takes off the front (see the target's source)."""
import os
import pathlib
import runpy

here = pathlib.Path(__file__).resolve().parent
data = here.parent.parent / "data" / "lookup"


def write(target, name, content):
    folder = here / target
    folder.mkdir(exist_ok=True)
    (folder / name).write_bytes(content)


# record_text: choice (bit 0: second site; >> 3: length of the Content-Type that follows), Content-Type, body.
def page(site, content_type, body):
    return bytes([site | (len(content_type) << 3)]) + content_type + body


for f in sorted(data.glob("*.html")):
    body = f.read_bytes()
    write("record_text", f.stem + "-first", page(0, b"", body))
    write("record_text", f.stem + "-second", page(1, b"text/html", body))
write("record_text", "nested-pre", page(0, b"", b"<pre>a<pre>b</pre>c</pre><pre>d</pre>"))
write("record_text", "noscript-pre", page(0, b"", b"<noscript><pre>x</pre></noscript><pre>\r\nCountry: DE\r</pre>"))
write("record_text", "by-id", page(1, b"", b"<div id=whoisRecordContainer>Registrant<br>Country: FR<p>x</p><table><tr><td>a<td>b</table></div>"))
write("record_text", "deep", page(0, b"", b"<div>" * 3000 + b"<pre>deep</pre>"))
write("record_text", "latin1-header", page(0, b"text/html; charset=iso-8859-1", b"<pre>Land: \xe9\xe8</pre>"))
write("record_text", "bad-charset", page(1, b"text/html; charset=x-nonsense", b"<meta charset=\"utf-16\"><p id=whoisRecordContainer>\xff\xfe</p>"))
write("record_text", "meta-unclosed", page(0, b"", b"<meta http-equiv=content-type content=\"text/html; charset=koi8-r\"<pre>\xc1\xc2</pre>"))
write("record_text", "textarea-cr", page(0, b"", b"<pre>a\rb\nc\r\nd<textarea>e\r\rf</textarea></pre>"))
write("record_text", "empty", page(0, b"", b""))

# line_rules: choice (bit 0: second site; bit 1: registrant rule; bit 2: raw UTF-16), record text.
records = {
    "network": b"% comment\r\ninetnum: 1.2.3.0 - 1.2.3.255\r\ncountry:        DE\r\nCountry: FR\r\n",
    "registrant": b"Registrant Contact\r\nName: x\r\n  US  \r\nXX\r\n",
    "colon-first": b"a:b country: US\r\n#country: ZZ\r\n",
    "no-final-break": b"Country:",
    "lone-breaks": b"country: A\rcountry: B\ncountry: C\r\n\r\n",
}
for name, text in records.items():
    for choice in range(4):
        write("line_rules", f"{name}-{choice}", bytes([choice]) + text)
write("line_rules", "utf16-registrant", bytes([6]) + "Registrant\r\nDE".encode("utf-16-le") + b"\x00\xd8")

# list_file: chunk size byte (1 + b % 16), batch byte (1 + b % 8), file bytes.
lists = {
    "crlf": b"1.2.3.4\r\nwww.example.com\r\n",
    "lf-last-empty": b"a\nb\n",
    "mixed": b"a\rb\r\nc\nd\r\r\n\n",
    "utf8-cut": "Zürich\r\n東京\r\n😀\r\n".encode(),
    "invalid-utf8": b"a\xff\xfeb\r\n\xc3\r\n\xe2\x82\r\n\xf0\x9f\x98",
    "bom": b"\xef\xbb\xbfa\r\nb",
    "long-line": b"x" * 300 + b"\r\n",
    "empty": b"",
}
for name, text in lists.items():
    write("list_file", name + "-1", bytes([0, 0]) + text)
    write("list_file", name + "-3", bytes([2, 1]) + text)
    write("list_file", name + "-16", bytes([15, 7]) + text)

# entry_cleaning: choice (bit 0: raw UTF-16; bit 1: "/" as the separator; >> 2: leading run), text.
entries = [b"\\\\\\host\\share\\\\a.txt", b"C:\\dir\\\\\\file", b"//a///b", b"\\", b"",
           b"HTTPS://www.Example.com/", b"hthttp://tp://x", b"www.", b"WWW.a/", b"ftp://ftp://www.b//"]
for i, text in enumerate(entries):
    write("entry_cleaning", f"entry-{i}", bytes([(i % 4) << 1]) + text)
write("entry_cleaning", "utf16-lone", bytes([1]) + "\\\\a".encode("utf-16-le") + b"\x00\xdc")

# page_address: choice (bit 0: second site; bit 1: raw UTF-16; bit 2: clean first), entry.
addresses = [b"1.2.3.4", b"www.example.com", b"example.com/path?x=1#frag", b"../../etc/passwd", b"..",
             b"a/./b", b"a b\tc", b"%2e%2e/x", b"\\..\\x", "bücher.de".encode(), b"http://www.x.org/",
             b"...", b"a/../", b"//host/x", b"@evil.com", b"x:80", b"\x00\x7f"]
for i, text in enumerate(addresses):
    write("page_address", f"entry-{i}", bytes([i % 2 | (4 if i % 3 == 0 else 0)]) + text)
write("page_address", "utf16-lone", bytes([2]) + "a/".encode("utf-16-le") + b"\x00\xd8" + "/..".encode("utf-16-le"))

# results_text: columns byte (b % 6), rows byte (b % 12), one tick byte per row, cells split at U+001F.
def table(columns, ticks, cells):
    return bytes([columns, len(ticks)]) + bytes(ticks) + "\x1f".join(cells).encode()


write("results_text", "five", table(5, [1, 0, 1], ["1.2.3.4", "Completed", "Germany", "DE", "Europe",
                                                    "x", "Failed", "", "", "", "longer entry", "Retrieving..."]))
write("results_text", "trailing-blanks", table(3, [1, 1], ["a  ", "", "b ", " ", "c", ""]))
write("results_text", "tabs", table(2, [1], ["a\tb", "c\r\nd"]))
write("results_text", "no-columns", table(0, [1, 1], ["a"]))
write("results_text", "wide", table(4, [0, 1, 0, 1, 1], ["😀" * 5, "é", "", "x" * 40] * 5))

# row_writers: rows byte (b % 12), one tick byte per row, cells split at U+001F (five per row).
def rows(count, cells):
    return bytes([count]) + bytes([1] * count) + "\x1f".join(cells).encode()


write("row_writers", "plain", rows(2, ["1.2.3.4", "Completed", "Germany", "DE", "Europe", "a", "Failed", "", "", ""]))
write("row_writers", "quotes", rows(1, ["a,\"b\"", "c\r\nd", "\"", ",", "\n"]))
write("row_writers", "json-escapes", rows(1, ["\\", "\x01\x1e", "\t\b\f", "😀/é", "\u2028\u2029"]))
write("row_writers", "empty-cells", rows(3, []))
write("row_writers", "none", rows(0, []))

# offline_table: choice (bit 0: make the checksum match), the table file, made by the build's own builder.
table_bytes = runpy.run_path(str(here.parents[2] / "scripts" / "offline-table.py"), run_name="offline_table")["table_bytes"]
v4_rows = [(0, 255, "AD"), (16777216, 16777471, "AU"), (16777472, 16778239, "CN"), (3238002688, 3238008831, "NL"),
           (3238004992, 3238005247, "DE"), (4294967040, 4294967295, "AQ")]
v6_rows = [(0x20010200 << 96, (0x20010201 << 96) - 1, "JP"), ((0x2a00 << 112) + 1, (0x2a00 << 112) + 1, "FR")]
good = table_bytes(v4_rows, v6_rows, "seed", "1", "2026-01-01")
write("offline_table", "valid", bytes([0]) + good)
write("offline_table", "truncated", bytes([0]) + good[: len(good) // 2])
write("offline_table", "header-only", bytes([1]) + good[:256])
unordered = bytearray(good)
unordered[256 + 4 * 2 + 3] ^= 0xFF
write("offline_table", "out-of-order-resealed", bytes([1]) + bytes(unordered))
write("offline_table", "empty", b"")

# ip_address: choice (bit 0: raw UTF-16), text.
for i, text in enumerate(["1.2.3.4", "0.0.0.0", "255.255.255.255", "01.2.3.4", "2001:db8::1", "::", "::ffff:1.2.3.4",
                          "[2001:db8::]", " 64:ff9b::808:808\t", "1:2:3:4:5:6:7:8", "1::", "1:2:3:4:5:6:1.2.3.4",
                          "2001:DB8:0:0:1:0:0:1", "1:::2", "12345::", "example.com"]):
    write("ip_address", f"text-{i}", bytes([0]) + text.encode())
write("ip_address", "utf16", bytes([1]) + "::1".encode("utf-16-le") + b"\x00\xd8")
# network_block: choice (bit 0: raw UTF-16; bit 1: the address is IPv4, from the last 4 of its 16 bytes),
# 16 address bytes (big-endian), record text.
def v4(a, b, c, d):
    return bytes([2]) + bytes(12) + bytes([a, b, c, d])


def v6(text):
    import ipaddress
    return bytes([0]) + ipaddress.IPv6Address(text).packed


blocks = {
    "ripe": v4(192, 0, 2, 77) + b"inetnum:        192.0.2.0 - 192.0.2.255\r\nnetname: X\r\ncountry:        DE\r\n",
    "arin-cidrs": v4(198, 51, 102, 9) + b"NetRange: 198.51.100.0 - 198.51.103.255\r\nCIDR: 198.51.100.0/23, 198.51.102.0/24\r\n",
    "lacnic": v4(200, 165, 1, 1) + b"inetnum:     200.160/12\r\ncountry: BR",
    "routes": v4(203, 0, 113, 70) + b"route: 203.0.113.64/26\r\ninetnum: 203.0.112.0 - 203.0.115.255\r\n",
    "ipv6": v6("2001:db8:1234::1") + b"inet6num: 2001:db8::/32\r\nroute6: 2001:db8:1000::/36\r\n",
    "ipv6-range": v6("2001:db8::5") + b"NetRange: 2001:db8:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff\r\n",
    "bad": v4(10, 1, 1, 1) + b"inetnum: 10.0.0.300 - 10.0.0.1\r\nCIDR: 10.0.0.0/33,,/,10/\r\nroute: -\r\n",
    "name": v4(0, 0, 0, 0) + "mail.bücher.co.uk.".encode(),
}
for name, content in blocks.items():
    write("network_block", name, content)
# rdap_reader: choice (bit 0: four bytes of an IPv4 address asked follow), body (an answer or a bootstrap file).
rdap = here.parent.parent / "data" / "rdap"
for f in sorted(rdap.glob("*.json")):
    body = f.read_bytes().replace(b"{BASE}", b"https://rdap.example")
    write("rdap_reader", f.stem, bytes([0]) + body)
    write("rdap_reader", f.stem + "-asked", bytes([1, 192, 0, 2, 9]) + body)
shipped = here.parent.parent.parent / "data" / "rdap"
for f in sorted(shipped.glob("*.json")):
    write("rdap_reader", "bootstrap-" + f.stem, bytes([0]) + f.read_bytes())
write("rdap_reader", "bootstrap-mixed", bytes([1, 10, 1, 2, 3]) + b'{"services": [[["10.0.0.0/8", "2001:db8::/32", '
      b'"1-99", "com"], ["http://a/", "https://b/x"]], [["10.1.0.0/16"], ["https://c/"]]]}')
write("rdap_reader", "deep", bytes([0]) + b'{"entities": ' + b'[{"entities": ' * 2000 + b'[]' + b'}]' * 2000 + b'}')
write("rdap_reader", "entities-deep", bytes([0]) + b'{"objectClassName": "domain", "entities": [' +
      b'{"roles": ["tech"], "entities": [' * 40 + b'{"roles": ["registrant"], "vcardArray": ["vcard", [["adr", '
      b'{"cc": "DE"}, "text", ["", "", "", "", "", "", ""]]]]}' + b']}' * 40 + b']}')
write("rdap_reader", "vcard-odd", bytes([0]) + b'{"objectClassName": "ip network", "entities": [{"roles": '
      b'["REGISTRANT"], "vcardArray": ["vcard", [["adr", {"cc": ["de", "fr"], "label": 7}, "text", '
      b'[["", ""], "", "", "", "", "", ["Germany", "DE"]]], ["adr"], 5, ["fn", {}, "text", null]]]}]}')
write("rdap_reader", "cidr-odd", bytes([1, 192, 0, 2, 200]) + b'{"startAddress": "192.0.2.255", "endAddress": '
      b'"192.0.2.0", "cidr0_cidrs": [{"v4prefix": "192.0.2.0", "length": 99}, {"v6prefix": "::", "length": -1}]}')
write("rdap_reader", "autnum-odd", bytes([0]) + b'{"objectClassName": "autnum", "startAutnum": 4294967296, '
      b'"endAutnum": -5, "country": "\\u00e9\\u00e9"}')
write("rdap_reader", "not-json", bytes([0]) + b"<html><body>429 Too Many Requests</body></html>")
write("rdap_reader", "empty", bytes([0]))
