#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamAttributes>

#include <vector>

namespace vq {

// A document that SafeXml refused: not well formed, or carrying something a SOAP message or one
// of our data files may not carry (a DTD, processing instructions, too much nesting, too many
// bytes).
class EXmlRefused : public Error
{
public:
    using Error::Error;
};

struct XmlLimits {
    qint64 maxBytes = 32 * 1024 * 1024;
    int maxDepth = 256;
};

// One element of a parsed document: its namespace, local name, attributes, the character data
// directly inside it, and its child elements in document order.
struct XmlElement {
    QString ns;
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    std::vector<XmlElement> children;

    // First child with this local name (and namespace, when one is given).
    const XmlElement *child(const QString &localName, const QString *nameSpace = nullptr) const;
    QString attribute(const QString &localName) const { return attributes.value(localName).toString(); }
};

// Parses a whole document into a tree, refusing any DTD (so no entity is ever expanded), any
// processing instruction other than the XML declaration, nesting deeper than limits.maxDepth
// and documents longer than limits.maxBytes. Throws EXmlRefused with the reason.
XmlElement ParseXmlSafely(const QByteArray &document, const XmlLimits &limits = XmlLimits());

} // namespace vq
