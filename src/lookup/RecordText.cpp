#include "lookup/RecordText.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/encoding.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace lookup {

namespace {

// How an element takes part in the rendered text.
enum class Kind : unsigned char {
    Inline,
    Hidden,    // not rendered: neither it nor its content
    Block,     // starts and ends a line
    Paragraph, // starts and ends a line and leaves an empty one
    Break,     // br
    Cell,      // td, th: separated by a tab
    Pre,       // block with preserved white space
    PreInline  // textarea: inline with preserved white space
};

struct NamedKind
{
    std::string_view name;
    Kind kind;
};

// Sorted by name for the binary search.
constexpr std::array Kinds{
    NamedKind{"address", Kind::Block},    NamedKind{"article", Kind::Block},      NamedKind{"aside", Kind::Block},
    NamedKind{"blockquote", Kind::Block}, NamedKind{"body", Kind::Block},         NamedKind{"br", Kind::Break},
    NamedKind{"caption", Kind::Block},    NamedKind{"center", Kind::Block},       NamedKind{"datalist", Kind::Hidden},
    NamedKind{"dd", Kind::Block},         NamedKind{"details", Kind::Block},      NamedKind{"dialog", Kind::Block},
    NamedKind{"dir", Kind::Block},        NamedKind{"div", Kind::Block},          NamedKind{"dl", Kind::Block},
    NamedKind{"dt", Kind::Block},         NamedKind{"fieldset", Kind::Block},     NamedKind{"figcaption", Kind::Block},
    NamedKind{"figure", Kind::Block},     NamedKind{"footer", Kind::Block},       NamedKind{"form", Kind::Block},
    NamedKind{"h1", Kind::Block},         NamedKind{"h2", Kind::Block},           NamedKind{"h3", Kind::Block},
    NamedKind{"h4", Kind::Block},         NamedKind{"h5", Kind::Block},           NamedKind{"h6", Kind::Block},
    NamedKind{"head", Kind::Hidden},      NamedKind{"header", Kind::Block},       NamedKind{"hgroup", Kind::Block},
    NamedKind{"hr", Kind::Block},         NamedKind{"html", Kind::Block},         NamedKind{"legend", Kind::Block},
    NamedKind{"li", Kind::Block},         NamedKind{"link", Kind::Hidden},        NamedKind{"listing", Kind::Pre},
    NamedKind{"main", Kind::Block},       NamedKind{"menu", Kind::Block},         NamedKind{"meta", Kind::Hidden},
    NamedKind{"nav", Kind::Block},        NamedKind{"noscript", Kind::Hidden},    NamedKind{"ol", Kind::Block},
    NamedKind{"p", Kind::Paragraph},      NamedKind{"plaintext", Kind::Pre},      NamedKind{"pre", Kind::Pre},
    NamedKind{"script", Kind::Hidden},    NamedKind{"section", Kind::Block},      NamedKind{"style", Kind::Hidden},
    NamedKind{"summary", Kind::Block},    NamedKind{"table", Kind::Block},        NamedKind{"td", Kind::Cell},
    NamedKind{"template", Kind::Hidden},  NamedKind{"textarea", Kind::PreInline}, NamedKind{"th", Kind::Cell},
    NamedKind{"title", Kind::Hidden},     NamedKind{"tr", Kind::Block},           NamedKind{"ul", Kind::Block},
    NamedKind{"xmp", Kind::Pre},
};

Kind kindOf(const xmlNode* node)
{
    const std::string_view name(reinterpret_cast<const char*>(node->name));
    const auto it = std::lower_bound(Kinds.begin(), Kinds.end(), name,
                                     [](const NamedKind& k, std::string_view n) { return k.name < n; });
    Kind kind = (it != Kinds.end() && it->name == name) ? it->kind : Kind::Inline;
    if (kind != Kind::Hidden)
        for (const xmlAttr* attr = node->properties; attr; attr = attr->next)
            if (std::strcmp(reinterpret_cast<const char*>(attr->name), "hidden") == 0)
                return Kind::Hidden;
    return kind;
}

bool isPreformatted(Kind kind)
{
    return kind == Kind::Pre || kind == Kind::PreInline;
}

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Writes rendered text as UTF-8. Line breaks that blocks ask for are held back and merged (the
// larger request wins) until text follows, so none lead or trail; white space outside preformatted
// text collapses to one blank that is dropped at a line start and before a break.
class TextWriter
{
public:
    void requireBreaks(int count)
    {
        m_required = std::max(m_required, count);
        m_pendingSpace = false;
    }

    void lineBreak()
    {
        flushBreaks();
        m_out += "\r\n";
        m_atLineStart = true;
        m_pendingSpace = false;
    }

    void tab()
    {
        flushBreaks();
        m_out += '\t';
        m_atLineStart = false;
        m_pendingSpace = false;
    }

    void collapsedText(const char* text, size_t length)
    {
        size_t i = 0;
        while (i < length) {
            if (isHtmlSpace(text[i])) {
                m_pendingSpace = m_pendingSpace || m_required == 0;
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end < length && !isHtmlSpace(text[end]))
                ++end;
            appendRun(text + i, end - i);
            i = end;
        }
    }

    void preformattedText(const char* text, size_t length)
    {
        size_t i = 0;
        while (i < length) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                lineBreak();
                i += (c == '\r' && i + 1 < length && text[i + 1] == '\n') ? 2 : 1;
                continue;
            }
            size_t end = i + 1;
            while (end < length && text[end] != '\r' && text[end] != '\n')
                ++end;
            appendRun(text + i, end - i);
            i = end;
        }
    }

    QString finish()
    {
        std::string_view text(m_out);
        while (text.starts_with("\r\n"))
            text.remove_prefix(2);
        while (text.ends_with("\r\n"))
            text.remove_suffix(2);
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

private:
    // Text without line breaks, after any breaks and the blank that are due before it.
    void appendRun(const char* run, size_t length)
    {
        flushBreaks();
        if (m_pendingSpace && !m_atLineStart)
            m_out += ' ';
        m_pendingSpace = false;
        m_out.append(run, length);
        m_atLineStart = false;
    }

    void flushBreaks()
    {
        if (m_required == 0)
            return;
        if (!m_out.empty()) {
            for (int i = 0; i < m_required; ++i)
                m_out += "\r\n";
            m_atLineStart = true;
        }
        m_required = 0;
    }

    std::string m_out;
    int m_required = 0;
    bool m_pendingSpace = false;
    bool m_atLineStart = true;
};

void enter(TextWriter& out, const xmlNode* node, Kind kind, int& preDepth)
{
    switch (kind) {
    case Kind::Block:
    case Kind::Pre:
        out.requireBreaks(1);
        break;
    case Kind::Paragraph:
        out.requireBreaks(2);
        break;
    case Kind::Break:
        out.lineBreak();
        break;
    case Kind::Cell:
        for (const xmlNode* before = node->prev; before; before = before->prev)
            if (before->type == XML_ELEMENT_NODE) {
                const Kind k = kindOf(before);
                if (k == Kind::Cell)
                    out.tab();
                break;
            }
        break;
    default:
        break;
    }
    if (isPreformatted(kind))
        ++preDepth;
}

void leave(TextWriter& out, Kind kind, int& preDepth)
{
    if (kind == Kind::Block || kind == Kind::Pre)
        out.requireBreaks(1);
    else if (kind == Kind::Paragraph)
        out.requireBreaks(2);
    if (isPreformatted(kind))
        --preDepth;
}

void text(TextWriter& out, const xmlNode* node, int preDepth)
{
    const char* content = reinterpret_cast<const char*>(node->content);
    if (!content)
        return;
    size_t length = std::strlen(content);
    if (preDepth > 0) {
        // A newline right after the start tag of preformatted text is not part of its content.
        const xmlNode* parent = node->parent;
        if (!node->prev && parent && parent->type == XML_ELEMENT_NODE && isPreformatted(kindOf(parent))) {
            if (length >= 2 && content[0] == '\r' && content[1] == '\n') {
                content += 2;
                length -= 2;
            } else if (length >= 1 && (content[0] == '\n' || content[0] == '\r')) {
                ++content;
                --length;
            }
        }
        out.preformattedText(content, length);
    } else {
        out.collapsedText(content, length);
    }
}

// The walk goes down through first children and along siblings and climbs back through parents,
// so a page nested 100,000 deep costs no stack.
QString renderedText(const xmlNode* root)
{
    TextWriter out;
    int preDepth = isPreformatted(kindOf(root)) ? 1 : 0;
    const xmlNode* node = root->children;
    while (node) {
        bool descend = false;
        if (node->type == XML_ELEMENT_NODE) {
            const Kind kind = kindOf(node);
            if (kind != Kind::Hidden) {
                enter(out, node, kind, preDepth);
                if (node->children)
                    descend = true;
                else
                    leave(out, kind, preDepth);
            }
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            text(out, node, preDepth);
        }
        if (descend) {
            node = node->children;
            continue;
        }
        while (node != root && !node->next) {
            node = node->parent;
            if (node != root)
                leave(out, kindOf(node), preDepth);
        }
        node = node == root ? nullptr : node->next;
    }
    return out.finish();
}

// A browser running scripts reads noscript content as plain text, and template content is not part
// of the document: neither holds elements to find.
bool holdsNoElements(const xmlNode* node)
{
    const char* name = reinterpret_cast<const char*>(node->name);
    return std::strcmp(name, "noscript") == 0 || std::strcmp(name, "template") == 0;
}

// Document order, without recursion, as for the rendered text.
template <class Match> const xmlNode* findElement(const xmlNode* top, Match&& match)
{
    const xmlNode* node = top;
    while (node) {
        if (node->type == XML_ELEMENT_NODE && match(node))
            return node;
        if (node->children && node->type == XML_ELEMENT_NODE && !holdsNoElements(node)) {
            node = node->children;
            continue;
        }
        while (node && !node->next)
            node = node->parent && node->parent->type == XML_ELEMENT_NODE ? node->parent : nullptr;
        if (node)
            node = node->next;
    }
    return nullptr;
}

QByteArray charsetParameter(QByteArrayView text)
{
    const QByteArray lower = text.toByteArray().toLower();
    const qsizetype at = lower.indexOf("charset");
    if (at < 0)
        return {};
    qsizetype i = at + 7;
    while (i < lower.size() && isHtmlSpace(lower[i]))
        ++i;
    if (i >= lower.size() || lower[i] != '=')
        return {};
    ++i;
    while (i < lower.size() && (isHtmlSpace(lower[i]) || lower[i] == '"' || lower[i] == '\''))
        ++i;
    qsizetype end = i;
    while (end < lower.size() && !isHtmlSpace(lower[end]) && lower[end] != '"' && lower[end] != '\'' &&
           lower[end] != ';' && lower[end] != '>' && lower[end] != '/')
        ++end;
    return lower.mid(i, end - i);
}

// A meta charset declaration near the start of the page, as browsers look for it.
QByteArray metaCharset(const QByteArray& body)
{
    constexpr qsizetype PrescanBytes = 4096;
    const QByteArrayView head = QByteArrayView(body).first(std::min(body.size(), PrescanBytes));
    qsizetype from = 0;
    while (true) {
        qsizetype meta = -1;
        for (qsizetype i = from; i + 5 <= head.size(); ++i)
            if (head[i] == '<' && qstrnicmp(head.data() + i + 1, "meta", 4) == 0) {
                meta = i;
                break;
            }
        if (meta < 0)
            return {};
        const qsizetype close = head.indexOf('>', meta);
        const QByteArrayView tag = head.sliced(meta, (close < 0 ? head.size() : close + 1) - meta);
        QByteArray charset = charsetParameter(tag);
        if (!charset.isEmpty())
            return charset;
        if (close < 0)
            return {};
        from = close + 1;
    }
}

bool knownEncoding(const QByteArray& name)
{
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(name.constData());
    if (!handler)
        return false;
    xmlCharEncCloseFunc(handler);
    return true;
}

struct DocFree
{
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

} // namespace

QByteArray pageCharset(const QByteArray& body, const QByteArray& contentType)
{
    for (const QByteArray& candidate : {charsetParameter(contentType), metaCharset(body)})
        if (!candidate.isEmpty() && knownEncoding(candidate))
            return candidate;
    return "utf-8";
}

namespace {

RecordPage parseRecordPage(const QByteArray& body, const QByteArray& contentType, RecordElement element,
                           const QByteArray& name, bool withTitle)
{
    RecordPage read;
    if (body.isEmpty())
        return read;
    // Pages may be parsed on several threads at once; libxml2 must be set up once before that.
    [[maybe_unused]] static const bool parserReady = (xmlInitParser(), true);
    const QByteArray charset = pageCharset(body, contentType);
    // HUGE lifts the parser's depth cap, which would drop the rest of a deeply nested page; our walk
    // has no depth limit of its own. IGNORE_ENC keeps the charset chosen above.
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        XML_PARSE_HUGE | HTML_PARSE_IGNORE_ENC;
    std::unique_ptr<xmlDoc, DocFree> doc(
        htmlReadMemory(body.constData(), int(body.size()), nullptr, charset.constData(), options));
    if (!doc)
        return read;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    const auto byTag = [](const QByteArray& tag) {
        return [tag](const xmlNode* n) {
            return std::strcmp(reinterpret_cast<const char*>(n->name), tag.constData()) == 0;
        };
    };
    const xmlNode* found = nullptr;
    if (element == RecordElement::FirstByTag) {
        found = findElement(root, byTag(name.toLower()));
    } else {
        found = findElement(root, [&](const xmlNode* n) {
            for (const xmlAttr* attr = n->properties; attr; attr = attr->next)
                if (std::strcmp(reinterpret_cast<const char*>(attr->name), "id") == 0 && attr->children &&
                    attr->children->content &&
                    std::strcmp(reinterpret_cast<const char*>(attr->children->content), name.constData()) == 0)
                    return true;
            return false;
        });
    }
    read.hasRecordElement = found != nullptr;
    if (found)
        read.text = renderedText(found);
    if (withTitle)
        if (const xmlNode* title = findElement(root, byTag("title"))) {
            xmlChar* content = xmlNodeGetContent(title);
            read.title = QString::fromUtf8(reinterpret_cast<const char*>(content)).simplified();
            xmlFree(content);
        }
    return read;
}

} // namespace

QString extractRecordText(const QByteArray& body, const QByteArray& contentType, RecordElement element,
                          const QByteArray& name)
{
    return parseRecordPage(body, contentType, element, name, false).text;
}

QString recordText(const WhoisSite& site, const Page& page)
{
    if (!page.loaded)
        return {};
    return extractRecordText(page.body, page.contentType, site.element, site.elementName);
}

RecordPage readRecordPage(const WhoisSite& site, const Page& page)
{
    if (!page.loaded)
        return {};
    return parseRecordPage(page.body, page.contentType, site.element, site.elementName, true);
}

} // namespace lookup
