// An RDAP answer is written by a stranger (or by whoever sits between us and the registry): any bytes, as an
// answer about any address, and as a bootstrap file.
#include "fuzz/FuzzInput.h"
#include "rdap/Bootstrap.h"
#include "rdap/RdapReader.h"

#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    QHostAddress asked;
    if (choice & 1) {
        const QByteArray v4 = in.bytes(4).leftJustified(4, '\0');
        asked = QHostAddress(quint32(quint8(v4[0])) << 24 | quint32(quint8(v4[1])) << 16 | quint32(quint8(v4[2])) << 8 |
                             quint32(quint8(v4[3])));
    }
    const QByteArray body = in.rest();

    const rdap::Reading r = rdap::readAnswer(body, asked);
    if (!r.ok) {
        FUZZ_CHECK(!r.problem.isEmpty() && r.country.isEmpty() && r.network.isEmpty());
    } else {
        // A code is two ASCII letters or nothing, and it never comes with a withheld country or a name.
        FUZZ_CHECK(r.country.isEmpty() ||
                   (r.country.size() == 2 && r.country[0].unicode() < 128 && r.country[1].unicode() < 128 &&
                    r.country[0].isLetter() && r.country[1].isLetter()));
        FUZZ_CHECK(r.country.isEmpty() || (r.countryName.isEmpty() && !r.redacted));
        FUZZ_CHECK(!r.redacted || r.countryName.isEmpty());
        FUZZ_CHECK(r.related.isEmpty() ||
                   (r.kind == rdap::Reading::Kind::Domain && !r.hasRegistrant &&
                    (r.related.scheme() == QLatin1String("https") || r.related.scheme() == QLatin1String("http"))));
        // Texts are short whatever the answer holds.
        FUZZ_CHECK(r.handle.size() <= 255 && r.countryName.size() <= 255 && r.network.size() <= 255);
    }

    // The same bytes as a bootstrap file: refused whole, or every question gets an HTTP(S) base URL or none.
    rdap::Bootstrap bootstrap;
    if (!bootstrap.add(body)) {
        for (const rdap::Registry registry : rdap::AllRegistries)
            FUZZ_CHECK(!bootstrap.covers(registry));
    } else {
        for (const QUrl& url :
             {bootstrap.serviceForAddress(asked.isNull() ? QHostAddress(QHostAddress::LocalHost) : asked),
              bootstrap.serviceForAsn(quint32(choice) * 1000),
              bootstrap.serviceForDomain(QStringLiteral("a.example.com"))})
            FUZZ_CHECK(url.isEmpty() || (url.isValid() && url.path().endsWith(QLatin1Char('/'))));
    }
    return 0;
}
