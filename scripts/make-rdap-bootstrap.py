#!/usr/bin/env python3
"""Write the shipped RDAP bootstrap snapshot (RFC 9224) for IP addresses from IANA's own registries.

Usage: python3 scripts/make-rdap-bootstrap.py IPV4_XML IPV6_XML OUT_DIR

IPV4_XML is IANA's "IPv4 Address Space" registry (ipv4-address-space.xml) and IPV6_XML its "IPv6 Global
Unicast Address Assignments" (ipv6-unicast-address-assignments.xml); both name the RDAP service of every
block a regional registry serves, which is what IANA's ipv4.json and ipv6.json are made from. The copies
used for data/rdap come with Debian's python3-netaddr 0.8.0-2 (netaddr/ip/ in the package; registries
updated 2019-12-27 and 2019-11-06):

    apt-get download python3-netaddr=0.8.0-2 && dpkg -x python3-netaddr_0.8.0-2_all.deb netaddr
    python3 scripts/make-rdap-bootstrap.py netaddr/usr/lib/python3/dist-packages/netaddr/ip/ipv4-address-space.xml \
        netaddr/usr/lib/python3/dist-packages/netaddr/ip/ipv6-unicast-address-assignments.xml data/rdap

The files are written in a fixed order, so the same registries always give the same bytes.
"""

import ipaddress
import json
import pathlib
import sys
import xml.etree.ElementTree as ET

NS = {"iana": "http://www.iana.org/assignments"}


def services(path, parse_prefix):
    root = ET.parse(path).getroot()
    updated = root.findtext("iana:updated", namespaces=NS)
    by_urls = {}
    for record in root.findall("iana:record", NS):
        urls = [s.text.strip() for s in record.findall("iana:rdap/iana:server", NS) if s.text]
        if not urls:
            continue
        # RFC 9224: base URLs end with "/".
        urls = tuple(u if u.endswith("/") else u + "/" for u in urls)
        prefix = parse_prefix(record.findtext("iana:prefix", namespaces=NS).strip())
        by_urls.setdefault(urls, []).append(prefix)
    result = []
    for urls in sorted(by_urls):
        prefixes = sorted(by_urls[urls], key=lambda p: (p.network_address, p.prefixlen))
        result.append([[str(p) for p in prefixes], list(urls)])
    return updated, result


def ipv4_prefix(text):
    # "001/8" in the registry stands for 1.0.0.0/8.
    first, length = text.split("/")
    return ipaddress.IPv4Network(f"{int(first)}.0.0.0/{length}")


def write(out_dir, name, description, updated, service_list):
    document = {
        "version": "1.0",
        "publication": f"{updated}T00:00:00Z",
        "description": description,
        "services": service_list,
    }
    text = json.dumps(document, indent=2) + "\n"
    (pathlib.Path(out_dir) / name).write_text(text, encoding="utf-8")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    ipv4_xml, ipv6_xml, out_dir = sys.argv[1:]
    updated, v4 = services(ipv4_xml, ipv4_prefix)
    write(out_dir, "ipv4.json",
          f"RDAP bootstrap file for IPv4 address allocations, made from IANA's IPv4 Address Space registry "
          f"of {updated}", updated, v4)
    updated, v6 = services(ipv6_xml, ipaddress.IPv6Network)
    write(out_dir, "ipv6.json",
          f"RDAP bootstrap file for IPv6 address allocations, made from IANA's IPv6 Global Unicast Address "
          f"Assignments registry of {updated}", updated, v6)


if __name__ == "__main__":
    main()
