#include "SafeXml.h"

#include <QXmlStreamReader>

namespace vq {

const XmlElement *XmlElement::child(const QString &localName, const QString *nameSpace) const
{
    for (const XmlElement &c : children) {
        if (c.name == localName && (!nameSpace || c.ns == *nameSpace))
            return &c;
    }
    return nullptr;
}

XmlElement ParseXmlSafely(const QByteArray &document, const XmlLimits &limits)
{
    if (document.size() > limits.maxBytes)
        throw EXmlRefused(QStringLiteral("The document is larger than %1 bytes.").arg(limits.maxBytes));

    QXmlStreamReader reader(document);
    XmlElement root;
    bool haveRoot = false;
    // The chain of open elements; the tree is built without recursion, so a hostile depth
    // costs nothing before the cap refuses it.
    std::vector<XmlElement *> open;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            throw EXmlRefused(QStringLiteral("The document carries a document type declaration, which is not accepted."));
        case QXmlStreamReader::ProcessingInstruction:
            throw EXmlRefused(QStringLiteral("The document carries a processing instruction, which is not accepted."));
        case QXmlStreamReader::EntityReference:
            throw EXmlRefused(QStringLiteral("The document refers to an undeclared entity."));
        case QXmlStreamReader::StartElement: {
            if (int(open.size()) >= limits.maxDepth)
                throw EXmlRefused(QStringLiteral("The document is nested deeper than %1 elements.").arg(limits.maxDepth));
            XmlElement *element;
            if (open.empty()) {
                if (haveRoot)
                    throw EXmlRefused(QStringLiteral("The document has more than one root element."));
                haveRoot = true;
                element = &root;
            } else {
                open.back()->children.emplace_back();
                element = &open.back()->children.back();
            }
            element->ns = reader.namespaceUri().toString();
            element->name = reader.name().toString();
            element->attributes = reader.attributes();
            open.push_back(element);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.empty())
                open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back()->text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw EXmlRefused(QStringLiteral("The document is not well-formed XML (line %1, column %2: %3).")
                              .arg(reader.lineNumber())
                              .arg(reader.columnNumber())
                              .arg(reader.errorString()));
    if (!haveRoot)
        throw EXmlRefused(QStringLiteral("The document is empty."));
    return root;
}

} // namespace vq
