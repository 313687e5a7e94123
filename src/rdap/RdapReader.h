#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUrl>

namespace rdap {

// What one RDAP answer (RFC 9083) says about where the object asked for is registered.
struct Reading
{
    enum class Kind { Network, Domain, Autnum, Entity, Error, Other };

    bool ok = false; // a JSON object that reads as an RDAP answer
    QString problem; // why it does not (not JSON, too large, nested too deeply, not an object)
    Kind kind = Kind::Other;
    QString handle;
    // A two-letter code: the object's own "country", else the registrant's address ("cc" of its vCard adr).
    QString country;
    // The registrant's country as a name, when the address gives no code: the adr's country-name element,
    // else the last line of its label.
    QString countryName;
    // What the answer covers: an IP network's block ("192.0.2.0/24", or "192.0.2.0 - 192.0.2.130" when no
    // one prefix spans it), a domain's name, an AS number or range ("AS64500", "AS64496-AS64511").
    QString network;
    bool hasRegistrant = false;
    // The registrant's country is withheld: an RFC 9537 "redacted" member names it (or the whole
    // registrant), or its place holds a placeholder such as "REDACTED FOR PRIVACY".
    bool redacted = false;
    // A domain answer's link to the same domain at the registrar's RDAP service (rel "related"), which
    // thin registries give instead of the registrant.
    QUrl related;
    int errorCode = 0; // an error answer's "errorCode"
    QString errorTitle;
};

// Larger answers are refused unread; real ones are a few kilobytes, the largest networks some hundreds.
constexpr qsizetype MaxAnswerBytes = qsizetype(4) * 1024 * 1024;

// Reads an answer's body. `asked` is the address the question was about, when it was one: of several
// prefixes a network names, the one that holds it is the block. Never throws; a body that is not a
// readable RDAP answer (not JSON, not UTF-8, nested more than 1024 deep, too large) comes back with ok false
// and the reason. Answers are parsed with simdjson (one parser per thread, reused): Qt's QJsonDocument
// reads a 10 KB answer some twenty times slower, too slow for a stream of answers at -j 256.
Reading readAnswer(const QByteArray& body, const QHostAddress& asked = QHostAddress());

// True for the texts registries put where registrant data is withheld ("REDACTED FOR PRIVACY",
// "Data Protected", "Not Disclosed", ...).
bool isPlaceholder(const QString& text);

} // namespace rdap
